#include "transport/TSmtpClient.h"

#include <utility>

#include "support/Text.h"
#include "transport/HostNames.h"
#include "transport/TBase64.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

// No real reply comes near this; a server sending more is broken or hostile.
constexpr std::size_t kMaxReply = 64 * 1024;
// The message data is handed to the stream in pieces of about this size.
constexpr std::size_t kDataChunk = 64 * 1024;

// The last line of a text that ends with CR LF, without its line break.
std::string_view LastLine(std::string_view text) {
    std::string_view body = text.substr(0, text.size() - 2);
    std::size_t cut = body.find_last_of("\r\n");
    return cut == std::string_view::npos ? body : body.substr(cut + 1);
}

// A reply ends with a line that is a three-character code alone ("250") or followed by a
// blank ("250 OK"); continuation lines ("250-SIZE") have their first blank later or none.
bool EndsReply(std::string_view text) {
    if (!EndsWith(text, "\r\n")) {
        return false;
    }
    std::string_view last = LastLine(text);
    return last.find(' ') == 3 || (last.size() == 3 && last.find(' ') == std::string_view::npos);
}

bool IsSafeAddress(std::string_view address) {
    return address.find_first_of("\r\n<>") == std::string_view::npos;
}

// Appends one message entry as wire lines. An entry may hold several lines (CR LF, or a
// lone CR or LF); each becomes its own line ending in CR LF, with a dot put in front of
// every line that begins with one.
void AppendStuffed(std::string_view entry, std::string& out) {
    for (;;) {
        std::size_t cut = entry.find_first_of("\r\n");
        std::string_view line = entry.substr(0, cut);
        if (!line.empty() && line.front() == '.') {
            out += '.';
        }
        out.append(line);
        out += "\r\n";
        if (cut == std::string_view::npos) {
            return;
        }
        std::size_t next = cut + 1;
        if (entry[cut] == '\r' && next < entry.size() && entry[next] == '\n') {
            ++next;
        }
        entry.remove_prefix(next);
    }
}

}  // namespace

TSmtpClient::TSmtpClient() : TSmtpClient(std::make_unique<TcpConnector>()) {}

TSmtpClient::TSmtpClient(std::unique_ptr<StreamConnector> connector)
    : connector_(std::move(connector)) {}

TSmtpClient::~TSmtpClient() = default;

void TSmtpClient::CloseConnection() {
    if (stream_) {
        stream_->Close();
        stream_.reset();
    }
}

bool TSmtpClient::Write(std::string_view bytes) {
    if (!stream_ || !stream_->WriteAll(bytes, SendTimeoutMs)) {
        CloseConnection();
        return false;
    }
    return true;
}

void TSmtpClient::ReadReply(std::string& reply) {
    reply.clear();
    if (stream_) {
        ReplyStatus status = reader_.Read(*stream_, {ReplyTimeoutMs, ReadTimeoutMs, kMaxReply},
                                          EndsReply, replyText_);
        if (status == ReplyStatus::Complete) {
            reply = LastLine(replyText_);
        } else {
            CloseConnection();
        }
    }
}

bool TSmtpClient::Step(const std::string& line, std::string_view code, std::string& reply) {
    if (!Write(line + "\r\n")) {
        reply.clear();
        return false;
    }
    ReadReply(reply);
    return StartsWith(reply, code);
}

bool TSmtpClient::SendData() {
    std::string chunk;
    chunk.reserve(kDataChunk + 1024);
    for (const std::string& entry : OutMessage) {
        AppendStuffed(entry, chunk);
        if (chunk.size() >= kDataChunk) {
            if (!Write(chunk)) {
                return false;
            }
            chunk.clear();
        }
    }
    chunk += ".\r\n";
    return Write(chunk);
}

bool TSmtpClient::Converse(std::string& reply) {
    ReadReply(reply);
    if (!StartsWith(reply, "220")) {
        return false;
    }
    const std::string host = LocalHostName();
    if (RequireAuthentication) {
        TBase64 base64;
        std::string user;
        std::string password;
        base64.Encode(User, user);
        base64.Encode(Password, password);
        if (!Step("EHLO " + host, "250", reply) || !Step("AUTH LOGIN", "334", reply) ||
            !Step(user, "334", reply) || !Step(password, "235", reply)) {
            return false;
        }
    } else if (!Step("HELO " + host, "250", reply)) {
        return false;
    }
    if (!Step("MAIL FROM:<" + From + ">", "250", reply)) {
        return false;
    }
    for (const std::string& recipient : SendTo) {
        if (!Step("RCPT TO:<" + recipient + ">", "250", reply)) {
            return false;
        }
    }
    if (!Step("DATA", "354", reply)) {
        return false;
    }
    if (!SendData()) {
        reply.clear();
        return false;
    }
    ReadReply(reply);
    return StartsWith(reply, "250");
}

bool TSmtpClient::Send(std::string& reply) {
    // Addresses come from mail the list received; a line break in one would let its
    // sender append SMTP commands of their own.
    if (!IsSafeAddress(From)) {
        reply = "Sender address refused: it contains a line break or an angle bracket";
        return false;
    }
    for (const std::string& recipient : SendTo) {
        if (!IsSafeAddress(recipient)) {
            reply = "Recipient address refused: it contains a line break or an angle bracket";
            return false;
        }
    }
    CloseConnection();
    stream_ = connector_->Open(HostAddress, Port, ConnectTimeoutMs);
    if (!stream_) {
        return false;
    }
    const bool accepted = Converse(reply);
    if (stream_) {
        stream_->WriteAll("QUIT\r\n", SendTimeoutMs);
    }
    CloseConnection();
    return accepted;
}

}  // namespace corvanteer
