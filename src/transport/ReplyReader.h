#pragma once

// Reads one server reply from a byte stream: what the stream has, a buffer at a time, until
// the reply's own end condition holds.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "transport/ByteStream.h"

namespace corvanteer {

enum class ReplyStatus {
    Complete,  // the end condition held
    NoData,    // nothing arrived within the first-byte wait
    Stalled,   // the reply stopped arriving before its end (a read timed out)
    Closed,    // the peer closed the connection before the end, or it failed
    TooLong,   // the reply grew past its size limit
};

struct ReplyLimits {
    int firstByteMs = 0;       // wait for the first byte of the reply
    int readMs = 0;            // wait for each further piece
    std::size_t maxBytes = 0;  // 0: no limit but memory
};

// True when text is a whole reply. Called after every read, so implementations look at the
// tail only and a long reply is never rescanned.
using ReplyEnd = bool (*)(std::string_view text);

class ReplyReader {
public:
    ReplyReader();

    // Appends the reply's bytes to text (emptied first). Anything but Complete leaves
    // whatever arrived in text; callers treat such a reply as negative.
    ReplyStatus Read(ByteStream& stream, const ReplyLimits& limits, ReplyEnd isEnd,
                     std::string& text);

private:
    std::vector<char> buffer_;
};

}  // namespace corvanteer
