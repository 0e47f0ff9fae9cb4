#pragma once

// Reads one server reply from a byte stream: what the stream has, a buffer at a time, until
// the reply's own end condition holds. Replies of pipelined commands follow each other in the
// stream; ReadInto keeps what a read brought past one reply's end for the next.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/Clock.h"
#include "transport/ByteStream.h"

namespace corvanteer {

// The longest any one reply may take, one-line or multi-line, greeting included, from the
// start of its read to its end: the idle time-outs alone let a server that sends a byte now
// and then hold a scan for hours. One bound for POP3 and SMTP.
inline constexpr int64_t kReplyDeadlineMs = 5 * 60 * 1000;

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

// Takes the bytes of one reply as they arrive, for ReadInto: it decides where the reply ends
// and what it keeps of it.
class ReplySink {
public:
    enum class State {
        More,     // the reply goes on
        Done,     // the reply ended
        TooLong,  // the reply grew past what the sink takes; the rest is not read
    };
    virtual ~ReplySink() = default;
    // Takes the next bytes of the stream and gives how many belong to the reply: all of them
    // while it goes on, fewer once it ended (or grew too long) within them.
    virtual std::size_t Take(std::string_view bytes) = 0;
    virtual State Now() const = 0;
};

class ReplyReader {
public:
    ReplyReader();

    // Appends the reply's bytes to text (emptied first). Anything but Complete leaves
    // whatever arrived in text (for TooLong: more than maxBytes, at most one buffer more);
    // callers treat such a reply as negative. The bounds are checked after every read, and
    // no read waits past the total time, so a reply ends at most readMs after its window.
    ReplyStatus Read(ByteStream& stream, const ReplyLimits& limits, ReplyEnd isEnd,
                     std::string& text);

    // Hands one reply to sink: first the bytes an earlier ReadInto read past its reply's end,
    // then what the stream brings, under the same bounds as Read (maxBytes is the sink's to
    // keep). Bytes past this reply's end are kept for the next ReadInto. Anything but
    // Complete leaves the stream in the middle of a reply: the caller closes the connection.
    ReplyStatus ReadInto(ByteStream& stream, const ReplyLimits& limits, ReplySink& sink);
    // Forgets the bytes kept from earlier reads (the connection they came on has ended).
    void Forget() { keptAt_ = keptEnd_ = 0; }
    // True while bytes of a reply not yet asked for are kept.
    bool Holding() const { return keptAt_ < keptEnd_; }

private:
    std::vector<char> buffer_;
    std::size_t keptAt_ = 0;  // bytes read past a reply's end: buffer_[keptAt_, keptEnd_)
    std::size_t keptEnd_ = 0;
};

}  // namespace corvanteer
