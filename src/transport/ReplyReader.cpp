#include "transport/ReplyReader.h"

namespace corvanteer {
namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

}  // namespace

ReplyReader::ReplyReader() : buffer_(kBufferSize) {}

ReplyStatus ReplyReader::Read(ByteStream& stream, const ReplyLimits& limits, ReplyEnd isEnd,
                              std::string& text) {
    text.clear();
    int wait = limits.firstByteMs;
    for (;;) {
        ReadResult got = stream.ReadSome(buffer_.data(), buffer_.size(), wait);
        if (got.status == ReadStatus::TimedOut) {
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
        wait = limits.readMs;
    }
}

}  // namespace corvanteer
