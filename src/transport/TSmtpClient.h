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

    // Runs one session with the envelope. Accepted only when the end of the data was answered
    // with 250. A sender or recipient holding CR, LF, "<" or ">" is refused before connecting
    // (Input). Once connected, QUIT is always sent, its reply not read. The message goes out
    // dot-stuffed, every line break as CR LF.
    //
    // Server.security.Mode (auto by the port: 465 tls, 587 starttls, any other none):
    // - none: the described conversation byte for byte: HELO, or EHLO and AUTH LOGIN when
    //   requireAuthentication;
    // - tls: the handshake first, then as none, except that AUTH uses PLAIN when the EHLO
    //   reply offers it, else LOGIN when offered; a server offering neither is not sent
    //   the credentials (Auth);
    // - starttls: EHLO; STARTTLS only when offered (else Tls, nothing more sent); the
    //   handshake; EHLO again, whose reply alone counts; AUTH as with tls when required.
    // No credential is sent before the handshake succeeded.
    SmtpResult Submit(const Envelope& envelope) override;
    // One message of a session (see SmtpClient). The connection phase is Submit's; a
    // session of more than one message (SessionMessages) greets with EHLO in mode none as
    // well, and HELO only when EHLO is refused with a 5xx reply. When the EHLO reply offers
    // PIPELINING, MAIL FROM, the RCPT TOs and DATA go out in one write (DATA on its own
    // after the replies when a refused recipient must fail the whole message) and their
    // replies are read in order; otherwise command by command.
    SmtpTransaction Transact(const Envelope& envelope, bool partial) override;
    bool SessionOpen() const override;
    void EndSession() override;
    // Greeting, EHLO (HELO when EHLO is refused without authentication required),
    // STARTTLS with starttls, AUTH when requireAuthentication, QUIT.
    ProbeReport Probe() override;

    // True while the open connection uses PIPELINING.
    bool Pipelining() const { return pipelining_; }

    // Reads one reply, possibly of several lines, and gives its last line.
    void ReadReply(std::string& reply);

private:
    // The connection phase: connection, TLS as the mode asks, greeting, HELO or EHLO,
    // STARTTLS, login. Leaves the connection ready for a transaction when it succeeds;
    // probe: fills report.
    SmtpResult OpenSession(ProbeReport* report);
    // MAIL FROM, RCPT TO, DATA and the data of the message on the ready connection.
    void Transaction(const Envelope& envelope, bool partial, SmtpTransaction& tx);
    // The envelope up to the 354 for DATA, command by command / pipelined. False with
    // tx.result set when the message cannot go.
    bool SendEnvelope(const Envelope& envelope, bool partial, SmtpTransaction& tx);
    bool SendEnvelopePipelined(const Envelope& envelope, bool partial, SmtpTransaction& tx);
    // The next reply of a pipelined group: taken from what arrived before, else read.
    void NextReply(std::string& reply);
    // Connection and TLS as the mode asks. False with error set.
    bool Connect(SecurityMode security, MailError& error, TlsInfo& tls);
    // EHLO; its keywords into capabilities. False with result set.
    bool Ehlo(Lines& capabilities, SmtpResult& result);
    bool StartTls(const Lines& capabilities, Lines& after, TlsInfo& tls, SmtpResult& result);
    // AUTH with the mechanism the login method and the EHLO reply call for: with OAuth2,
    // XOAUTH2 when offered, else OAUTHBEARER (never a password mechanism).
    bool Authenticate(SecurityMode security, const Lines& capabilities, const std::string& token,
                      SmtpResult& result);
    // Sends line + CR LF, reads the reply and checks its code. False with result set: the
    // reply kept as the server's, kind for a refusal, and what names the step.
    bool Step(const std::string& line, std::string_view code, MailFailure kind,
              const std::string& what, SmtpResult& result);
    bool Check(std::string_view code, MailFailure kind, const std::string& what,
               SmtpResult& result);
    // The dot-stuffed message and the final ".", in large writes; every line break goes out
    // as CR LF, and a last line without one gets it.
    bool SendData(std::string_view message);
    bool Write(std::string_view bytes);
    std::string Where() const;
    void CloseConnection();

    std::unique_ptr<StreamConnector> connector_;
    TlsClient tls_;  // before stream_: a TLS stream refers to it while it lives
    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    std::string replyText_;
    ReplyStatus lastStatus_ = ReplyStatus::Complete;
    bool ready_ = false;       // the connection phase succeeded on the open connection
    bool closing_ = false;     // the server answered 421: it closes the connection
    bool rsetDue_ = false;     // a transaction was left unfinished
    bool pipelining_ = false;  // the EHLO reply offered PIPELINING
    std::string pending_;      // replies of a pipelined group read but not yet taken
    std::size_t pendingAt_ = 0;
};

}  // namespace corvanteer
