#pragma once

// The SMTP client: one whole session per Send (greeting, HELO or EHLO with AUTH LOGIN,
// MAIL FROM, RCPT TO per recipient, DATA, QUIT).

#include <memory>
#include <string>
#include <string_view>

#include "transport/ByteStream.h"
#include "transport/MailClients.h"
#include "transport/ReplyReader.h"

namespace corvanteer {

class TSmtpClient : public SmtpClient {
public:
    // Connects over TCP.
    TSmtpClient();
    // Connects through the given connector (a TLS one, or a test's).
    explicit TSmtpClient(std::unique_ptr<StreamConnector> connector);
    ~TSmtpClient() override;
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    // Time-outs in milliseconds. A reply that has not begun within ReplyTimeoutMs, or stops
    // arriving for ReadTimeoutMs before its end, is empty and therefore refused.
    int ConnectTimeoutMs = 60000;  // each connection attempt
    int ReplyTimeoutMs = 90000;    // first byte of a reply
    int ReadTimeoutMs = 5000;      // further bytes of a reply
    int SendTimeoutMs = 90000;     // a send that makes no progress

    // Runs one session with From, SendTo and OutMessage. True only when the end of the data
    // was answered with 250. reply receives the last reply line read (empty when the reply
    // did not arrive whole or a send failed); it is left as passed when no connection could
    // be made. From or a recipient holding CR, LF, "<" or ">" is refused before connecting:
    // false, and reply says why. Once connected, QUIT is always sent, its reply not read.
    // OutMessage entries holding line breaks go out as several lines, each dot-stuffed.
    bool Send(std::string& reply) override;

    // Reads one reply, possibly of several lines, and gives its last line.
    void ReadReply(std::string& reply);

private:
    bool Converse(std::string& reply);
    // Sends line + CR LF, reads the reply and checks its code.
    bool Step(const std::string& line, std::string_view code, std::string& reply);
    // The dot-stuffed message and the final ".", in large writes.
    bool SendData();
    bool Write(std::string_view bytes);
    void CloseConnection();

    std::unique_ptr<StreamConnector> connector_;
    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    std::string replyText_;
};

}  // namespace corvanteer
