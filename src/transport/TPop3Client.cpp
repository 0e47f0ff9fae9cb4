#include "transport/TPop3Client.h"

#include <charconv>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include "support/Text.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

// A one-line response longer than this is a lying or broken server, not a reply. A TOP or
// RETR response may exceed the message size by as much, for its status line and stuffing.
constexpr std::size_t kMaxLineResponse = 64 * 1024;

// The octets of a "+OK n size" LIST reply; nullopt when there is no number. A size too
// large for the type is as large as it gets (it is over any limit).
std::optional<int64_t> ListedSize(std::string_view response) {
    SplitResult parts = SplitString(response, " ");
    const std::string text = Trim(parts.Part(3));
    int64_t size = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    if (error == std::errc::result_out_of_range) {
        return std::numeric_limits<int64_t>::max();
    }
    if (error != std::errc() || end != text.data() + text.size() || size < 0) {
        return std::nullopt;
    }
    return size;
}

bool IsPositive(std::string_view response) {
    return StartsWith(response, "+OK");
}

bool EndsLine(std::string_view text) {
    return EndsWith(text, "\r\n");
}

bool EndsMultiLine(std::string_view text) {
    return EndsWith(text, "\r\n.\r\n") || (text.front() == '-' && EndsWith(text, "\r\n"));
}

// Where the parts of a positive multi-line response stand: the message lies between the
// status line and the final "." (a complete positive response has both), and its header ends
// at the first empty line (at the message's end when there is none).
struct MessageLayout {
    std::size_t first = 1;
    std::size_t end = 0;
    std::size_t blank = 0;
};

MessageLayout LayOut(const Lines& lines) {
    MessageLayout layout;
    layout.end = lines.size() >= 2 ? lines.size() - 1 : lines.size();
    layout.blank = layout.end;
    for (std::size_t i = layout.first; i < layout.end; ++i) {
        if (lines[i].empty()) {
            layout.blank = i;
            break;
        }
    }
    return layout;
}

// The lines after the header's empty line, moved out of lines.
Lines TakeBody(Lines& lines, const MessageLayout& layout) {
    if (layout.blank >= layout.end) {
        return {};
    }
    return Lines(std::make_move_iterator(lines.begin() + static_cast<long>(layout.blank) + 1),
                 std::make_move_iterator(lines.begin() + static_cast<long>(layout.end)));
}

}  // namespace

TPop3Client::TPop3Client() : TPop3Client(std::make_unique<TcpConnector>()) {}

TPop3Client::TPop3Client(std::unique_ptr<StreamConnector> connector)
    : connector_(std::move(connector)) {}

TPop3Client::~TPop3Client() = default;

void TPop3Client::CloseConnection() {
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
}

void TPop3Client::ReadResponse(bool multiLine, std::string& response) {
    Receive(multiLine, response);
}

ReplyStatus TPop3Client::Receive(bool multiLine, std::string& response) {
    ResponseDone = false;
    response.clear();
    ReplyStatus status = ReplyStatus::Closed;
    if (stream_) {
        ReplyLimits limits{FirstByteTimeoutMs, ReadTimeoutMs, kMaxLineResponse};
        if (multiLine) {
            limits.readMs = MultiLineReadTimeoutMs;
            limits.maxBytes = 0;
            if (MaxMessageSize > 0) {
                limits.maxBytes = static_cast<std::size_t>(MaxMessageSize) + kMaxLineResponse;
            }
            limits.clock = clock_;
            limits.totalMs = MultiLineTotalMs;
            limits.windowMs = SlowReplyWindowMs;
            limits.windowMinBytes = SlowReplyMinBytes;
        }
        status = reader_.Read(*stream_, limits, multiLine ? EndsMultiLine : EndsLine, response);
        if (status != ReplyStatus::Complete) {
            // A partial response must not pass for a positive one, and what is still on
            // its way would be taken for the next command's reply.
            if (status == ReplyStatus::TooLong) {
                LastMessageSize = static_cast<int64_t>(response.size());
            }
            response.clear();
            response.shrink_to_fit();
            CloseConnection();
        }
    }
    ResponseDone = true;
    return status;
}

std::string TPop3Client::Exchange(std::string_view command, bool multiLine) {
    std::string response;
    if (!stream_ || !stream_->WriteAll(command, SendTimeoutMs)) {
        CloseConnection();
        return response;
    }
    ReadResponse(multiLine, response);
    return response;
}

bool TPop3Client::Login() {
    CloseConnection();
    stream_ = connector_->Open(HostAddress, Port, ConnectTimeoutMs);
    if (!stream_) {
        return false;
    }
    std::string greeting;
    ReadResponse(false, greeting);
    if (!IsPositive(greeting)) {
        return false;
    }
    if (!IsPositive(Exchange("USER " + User + "\r\n", false))) {
        return false;
    }
    if (!IsPositive(Exchange("PASS " + Password + "\r\n", false))) {
        return false;
    }
    Stat();
    return true;
}

bool TPop3Client::Stat() {
    std::string response = Exchange("STAT\r\n", false);
    if (!IsPositive(response)) {
        return false;
    }
    SplitResult parts = SplitString(response, " ");
    MessageCount = StrToIntDef(Trim(parts.Part(2)), 0);
    MailboxSize = StrToIntDef(Trim(parts.Part(3)), 0);
    return true;
}

Lines TPop3Client::FetchMessage(const std::string& command) {
    LastMessageTooBig = false;
    std::string response;
    if (!stream_ || !stream_->WriteAll(command, SendTimeoutMs)) {
        CloseConnection();
    } else {
        LastMessageTooBig = Receive(true, response) == ReplyStatus::TooLong;
    }
    Lines lines = TextToLines(response);
    LastReplyPositive = !lines.empty() && IsPositive(lines.front());
    return lines;
}

bool TPop3Client::ListedTooBig(int number) {
    const std::string response = Exchange("LIST " + std::to_string(number) + "\r\n", false);
    if (!IsPositive(response)) {
        return false;
    }
    const std::optional<int64_t> size = ListedSize(response);
    if (!size || *size <= MaxMessageSize) {
        return false;
    }
    LastMessageSize = *size;
    return true;
}

void TPop3Client::Top(int number) {
    Lines lines =
        FetchMessage("TOP " + std::to_string(number) + " " + std::to_string(TopLines) + "\r\n");
    if (!LastReplyPositive) {
        Header = std::move(lines);
        return;
    }
    const MessageLayout layout = LayOut(lines);
    Body = TakeBody(lines, layout);
    Lines header(std::make_move_iterator(lines.begin() + static_cast<long>(layout.first)),
                 std::make_move_iterator(lines.begin() + static_cast<long>(layout.blank)));
    header.emplace_back();
    Header = std::move(header);
}

void TPop3Client::Retrieve(int number) {
    if (MaxMessageSize > 0 && ListedTooBig(number)) {
        LastMessageTooBig = true;
        LastReplyPositive = false;
        Body.clear();
        return;
    }
    Lines lines = FetchMessage("RETR " + std::to_string(number) + "\r\n");
    if (!LastReplyPositive) {
        Body = std::move(lines);
        return;
    }
    // Unstuffing never makes a line empty, so the header ends at the same line either way.
    Body = TakeBody(lines, LayOut(lines));
    for (std::string& line : Body) {
        if (StartsWith(line, "..")) {
            line.erase(0, 1);
        }
    }
}

bool TPop3Client::Delete(int number) {
    return IsPositive(Exchange("DELE " + std::to_string(number) + "\r\n", false));
}

void TPop3Client::Quit() {
    if (stream_ && stream_->WriteAll("QUIT\r\n", SendTimeoutMs)) {
        std::string ignored;
        ReadResponse(false, ignored);
    }
    CloseConnection();
}

}  // namespace corvanteer
