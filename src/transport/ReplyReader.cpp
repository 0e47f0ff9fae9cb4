#include "transport/ReplyReader.h"

#include <algorithm>

namespace corvanteer {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

// Tracks the whole-reply bounds of ReplyLimits; without a clock nothing is ever over.
class ReplyPace {
public:
    explicit ReplyPace(const ReplyLimits& limits)
        : limits_(limits), start_(limits.clock ? limits.clock->MonotonicMs() : 0) {
        windowEnd_ = start_ + limits.windowMs;
    }

    // The wait for the next read: wait, cut to what is left of the total time (at least 1
    // ms, so a read still looks at what has arrived).
    int Wait(int wait) const {
        if (limits_.clock == nullptr || limits_.totalMs <= 0) {
            return wait;
        }
        const int64_t left = start_ + limits_.totalMs - limits_.clock->MonotonicMs();
        return static_cast<int>(std::clamp<int64_t>(left, 1, wait));
    }

    // Counts bytes that arrived; true when the reply has overrun its time or came too slowly.
    bool Over(std::size_t bytes) {
        if (limits_.clock == nullptr) {
            return false;
        }
        windowBytes_ += bytes;
        const int64_t now = limits_.clock->MonotonicMs();
        if (limits_.totalMs > 0 && now - start_ >= limits_.totalMs) {
            return true;
        }
        if (limits_.windowMs > 0) {
            while (now >= windowEnd_) {
                if (windowBytes_ < limits_.windowMinBytes) {
                    return true;
                }
                windowBytes_ = 0;
                windowEnd_ += limits_.windowMs;
            }
        }
        return false;
    }

private:
    const ReplyLimits& limits_;
    int64_t start_;
    int64_t windowEnd_ = 0;
    std::size_t windowBytes_ = 0;
};

}  // namespace

ReplyReader::ReplyReader() : buffer_(kBufferSize) {}

ReplyStatus ReplyReader::ReadInto(ByteStream& stream, const ReplyLimits& limits, ReplySink& sink) {
    ReplyPace pace(limits);
    bool any = false;
    if (keptAt_ < keptEnd_) {
        any = true;
        keptAt_ += sink.Take(std::string_view(buffer_.data() + keptAt_, keptEnd_ - keptAt_));
        if (sink.Now() == ReplySink::State::Done) {
            return ReplyStatus::Complete;
        }
        if (sink.Now() == ReplySink::State::TooLong) {
            Forget();
            return ReplyStatus::TooLong;
        }
    }
    Forget();
    int wait = any ? limits.readMs : limits.firstByteMs;
    for (;;) {
        ReadResult got = stream.ReadSome(buffer_.data(), buffer_.size(), pace.Wait(wait));
        if (got.status == ReadStatus::TimedOut) {
            if (pace.Over(0)) {
                return ReplyStatus::TooSlow;
            }
            return any ? ReplyStatus::Stalled : ReplyStatus::NoData;
        }
        if (got.status == ReadStatus::Closed) {
            return ReplyStatus::Closed;
        }
        any = true;
        const std::size_t taken = sink.Take(std::string_view(buffer_.data(), got.count));
        const ReplySink::State state = sink.Now();
        if (state == ReplySink::State::Done) {
            keptAt_ = taken;
            keptEnd_ = got.count;
            return ReplyStatus::Complete;
        }
        if (state == ReplySink::State::TooLong) {
            return ReplyStatus::TooLong;
        }
        if (pace.Over(got.count)) {
            return ReplyStatus::TooSlow;
        }
        wait = limits.readMs;
    }
}

ReplyStatus ReplyReader::Read(ByteStream& stream, const ReplyLimits& limits, ReplyEnd isEnd,
                              std::string& text) {
    text.clear();
    ReplyPace pace(limits);
    int wait = limits.firstByteMs;
    for (;;) {
        ReadResult got = stream.ReadSome(buffer_.data(), buffer_.size(), pace.Wait(wait));
        if (got.status == ReadStatus::TimedOut) {
            if (pace.Over(0)) {
                return ReplyStatus::TooSlow;
            }
            return text.empty() ? ReplyStatus::NoData : ReplyStatus::Stalled;
        }
        if (got.status == ReadStatus::Closed) {
            return ReplyStatus::Closed;
        }
        text.append(buffer_.data(), got.count);
        if (limits.maxBytes != 0 && text.size() > limits.maxBytes) {
            return ReplyStatus::TooLong;
        }
        if (isEnd(text)) {
            return ReplyStatus::Complete;
        }
        if (pace.Over(got.count)) {
            return ReplyStatus::TooSlow;
        }
        wait = limits.readMs;
    }
}

}  // namespace corvanteer
