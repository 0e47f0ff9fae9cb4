#pragma once

// The SMTP client: one whole session per Submit (greeting, HELO or EHLO with AUTH, MAIL FROM,
// RCPT TO per recipient, DATA, QUIT); in plain text, over TLS from the first byte, or
// upgraded by STARTTLS.

#include <memory>
#include <string>
#include <string_view>

#include "support/ConnectionSecurity.h"
#include "transport/ByteStream.h"
#include "transport/MailClients.h"
#include "transport/ReplyReader.h"
#include "transport/Sasl.h"
#include "transport/TlsStream.h"

namespace corvanteer {

class TSmtpClient : public SmtpClient {
public:
    // Connects over TCP.
    TSmtpClient();
    // Connects through the given connector (a test's).
    explicit TSmtpClient(std::unique_ptr<StreamConnector> connector);
    ~TSmtpClient() override;
    TSmtpClient(const TSmtpClient&) = delete;
    TSmtpClient& operator=(const TSmtpClient&) = delete;

    // Time-outs in milliseconds. A reply that has not begun within ReplyTimeoutMs, or stops
    // arriving for ReadTimeoutMs before its end, is empty and therefore refused. A TLS
    // handshake must be over within ReplyTimeoutMs.
    int ConnectTimeoutMs = 60000;  // each connection attempt
    int ReplyTimeoutMs = 90000;    // first byte of a reply
    int ReadTimeoutMs = 5000;      // further bytes of a reply
    int SendTimeoutMs = 90000;     // a send that makes no progress

    // Runs one session with From, SendTo and OutMessage. Accepted only when the end of the
    // data was answered with 250. From or a recipient holding CR, LF, "<" or ">" is refused
    // before connecting (Input). Once connected, QUIT is always sent, its reply not read.
    // OutMessage entries holding line breaks go out as several lines, each dot-stuffed.
    //
    // Security.Mode (auto by the port: 465 tls, 587 starttls, any other none):
    // - none: the described conversation byte for byte: HELO, or EHLO and AUTH LOGIN when
    //   RequireAuthentication;
    // - tls: the handshake first, then as none, except that AUTH uses PLAIN when the EHLO
    //   reply offers it, else LOGIN when offered; a server offering neither is not sent
    //   the credentials (Auth);
    // - starttls: EHLO; STARTTLS only when offered (else Tls, nothing more sent); the
    //   handshake; EHLO again, whose reply alone counts; AUTH as with tls when required.
    // No credential is sent before the handshake succeeded.
    SmtpResult Submit() override;
    // Greeting, EHLO (HELO when EHLO is refused without authentication required),
    // STARTTLS with starttls, AUTH when RequireAuthentication, QUIT.
    ProbeReport Probe() override;

    // Reads one reply, possibly of several lines, and gives its last line.
    void ReadReply(std::string& reply);

private:
    // The session up to QUIT; probe: stop after the login, fill report.
    SmtpResult Converse(ProbeReport* report);
    // Connection and TLS as the mode asks. False with error set.
    bool Connect(SecurityMode security, MailError& error, TlsInfo& tls);
    // EHLO; its keywords into capabilities. False with result set.
    bool Ehlo(Lines& capabilities, SmtpResult& result);
    bool StartTls(const Lines& capabilities, Lines& after, TlsInfo& tls, SmtpResult& result);
    bool Authenticate(SecurityMode security, const Lines& capabilities, SmtpResult& result);
    // Sends line + CR LF, reads the reply and checks its code. False with result set: the
    // reply kept as the server's, kind for a refusal, and what names the step.
    bool Step(const std::string& line, std::string_view code, MailFailure kind,
              const std::string& what, SmtpResult& result);
    bool Check(std::string_view code, MailFailure kind, const std::string& what,
               SmtpResult& result);
    // The dot-stuffed message and the final ".", in large writes.
    bool SendData();
    bool Write(std::string_view bytes);
    std::string Where() const;
    void CloseConnection();

    std::unique_ptr<StreamConnector> connector_;
    TlsClient tls_;  // before stream_: a TLS stream refers to it while it lives
    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    std::string replyText_;
    ReplyStatus lastStatus_ = ReplyStatus::Complete;
};

}  // namespace corvanteer
