#pragma once

// Reads one server reply from a byte stream: what the stream has, a buffer at a time, until
// the reply's own end condition holds.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/Clock.h"
#include "transport/ByteStream.h"

namespace corvanteer {

enum class ReplyStatus {
    Complete,  // the end condition held
    NoData,    // nothing arrived within the first-byte wait
    Stalled,   // the reply stopped arriving before its end (a read timed out)
    Closed,    // the peer closed the connection before the end, or it failed
    TooLong,   // the reply grew past its size limit
    TooSlow,   // the reply did not end within its total time, or came in too slowly
};

struct ReplyLimits {
    int firstByteMs = 0;       // wait for the first byte of the reply
    int readMs = 0;            // wait for each further piece
    std::size_t maxBytes = 0;  // 0: no limit but memory
    // Bounds on the whole reply, measured on clock from the start of Read (none without a
    // clock): it must end within totalMs (0: no bound), and each period of windowMs counted
    // from the start must bring at least windowMinBytes (windowMs 0: no such floor). A
    // server that trickles bytes, each piece just inside readMs, is stopped by these.
    const Clock* clock = nullptr;
    int64_t totalMs = 0;
    int64_t windowMs = 0;
    std::size_t windowMinBytes = 0;
};

// True when text is a whole reply. Called after every read, so implementations look at the
// tail only and a long reply is never rescanned.
using ReplyEnd = bool (*)(std::string_view text);

class ReplyReader {
public:
    ReplyReader();

    // Appends the reply's bytes to text (emptied first). Anything but Complete leaves
    // whatever arrived in text (for TooLong: more than maxBytes, at most one buffer more);
    // callers treat such a reply as negative. The bounds are checked after every read, and
    // no read waits past the total time, so a reply ends at most readMs after its window.
    ReplyStatus Read(ByteStream& stream, const ReplyLimits& limits, ReplyEnd isEnd,
                     std::string& text);

private:
    std::vector<char> buffer_;
};

}  // namespace corvanteer
