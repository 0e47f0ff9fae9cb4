// The whole-reply bounds of ReplyReader (size, total time, slow trickle), read from an
// in-memory stream whose every read moves a fake clock on.

#include "transport/ReplyReader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {
namespace {

bool EndsDot(std::string_view text) {
    return text.size() >= 5 && text.substr(text.size() - 5) == "\r\n.\r\n";
}

// Hands out pieces in order, then the last one for ever; each read takes secondsPerRead on
// the clock. An empty piece is a read that timed out.
class ScriptedStream final : public ByteStream {
public:
    ScriptedStream(FakeClock& clock, std::vector<std::string> pieces, int secondsPerRead)
        : clock_(clock), pieces_(std::move(pieces)), secondsPerRead_(secondsPerRead) {}

    bool WriteAll(std::string_view, int) override { return true; }
    ReadResult ReadSome(char* buffer, std::size_t size, int timeoutMs) override {
        waits.push_back(timeoutMs);
        clock_.AdvanceSeconds(secondsPerRead_);
        const std::string& piece = pieces_[std::min(next_++, pieces_.size() - 1)];
        if (piece.empty()) {
            return {ReadStatus::TimedOut, 0};
        }
        const std::size_t count = std::min(size, piece.size());
        piece.copy(buffer, count);
        return {ReadStatus::Data, count};
    }
    bool WaitReadable(int) override { return true; }
    void Close() override {}

    std::vector<int> waits;

private:
    FakeClock& clock_;
    std::vector<std::string> pieces_;
    int secondsPerRead_;
    std::size_t next_ = 0;
};

TEST(ReplyReader, WholeReplyBounds) {
    const std::string kilo(1024, 'x');
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
        int secondsPerRead;
        std::size_t maxBytes;
        bool withClock;
        ReplyStatus expected;
        std::size_t maxKept;  // bytes left in text at most
    };
    const std::vector<Case> cases = {
        // Endless and fast: the total time ends it (600 s at 10 s a read: 60 reads).
        {"endless", {"+OK\r\n", kilo}, 10, 0, true, ReplyStatus::TooSlow, 61 * 1024},
        // Endless and fast, with a size limit: cut off just past it.
        {"endless capped", {"+OK\r\n", kilo}, 1, 8 * 1024, true, ReplyStatus::TooLong, 9 * 1024},
        // One byte every 7 s: the first 60 s bring less than 1 KB.
        {"trickle", {"+OK\r\n", "x"}, 7, 0, true, ReplyStatus::TooSlow, 64},
        // 2 KB every 30 s is slow but steady, and ends before the total time.
        {"steady",
         {"+OK\r\n", kilo + kilo, kilo + kilo, kilo + kilo, "\r\n.\r\n"},
         30,
         0,
         true,
         ReplyStatus::Complete,
         7 * 1024},
        // Without a clock only the read time-outs apply.
        {"no clock", {"+OK\r\n", "x", "x", "\r\n.\r\n"}, 100, 0, false, ReplyStatus::Complete, 64},
        // A read that times out mid-reply is a stall, as before.
        {"stall", {"+OK\r\n", ""}, 1, 0, true, ReplyStatus::Stalled, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeClock clock;
        ScriptedStream stream(clock, c.pieces, c.secondsPerRead);
        ReplyLimits limits{50000, 5000, c.maxBytes};
        if (c.withClock) {
            limits.clock = &clock;
            limits.totalMs = 600000;
            limits.windowMs = 60000;
            limits.windowMinBytes = 1024;
        }
        ReplyReader reader;
        std::string text;
        EXPECT_EQ(reader.Read(stream, limits, EndsDot, text), c.expected);
        EXPECT_LE(text.size(), c.maxKept);
        EXPECT_LE(stream.waits.size(), 70u);
    }
}

// No read waits past the total time: the first-byte wait and the read time-out are cut to
// what is left of it.
TEST(ReplyReader, WaitsAreCutToTheTotalTime) {
    FakeClock clock;
    ScriptedStream stream(clock, {"+OK\r\n", "x"}, 4);
    ReplyLimits limits{50000, 5000, 0};
    limits.clock = &clock;
    limits.totalMs = 10000;
    ReplyReader reader;
    std::string text;
    EXPECT_EQ(reader.Read(stream, limits, EndsDot, text), ReplyStatus::TooSlow);
    // 10 s left at the start, 6 s after the first read, 2 s after the second.
    EXPECT_EQ(stream.waits, (std::vector<int>{10000, 5000, 2000}));
}

}  // namespace
}  // namespace corvanteer
