#pragma once

// The POP3 client: one blocking connection per mailbox, USER/PASS login, STAT, TOP, RETR,
// DELE and QUIT; in plain text, over TLS from the first byte, or upgraded by STLS.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "support/Clock.h"
#include "transport/ByteStream.h"
#include "transport/MailClients.h"
#include "transport/ReplyReader.h"
#include "transport/TlsStream.h"

namespace corvanteer {

class TPop3Client : public Pop3Client {
public:
    // Connects over TCP.
    TPop3Client();
    // Connects through the given connector (a TLS one, or a test's).
    explicit TPop3Client(std::unique_ptr<StreamConnector> connector);
    ~TPop3Client() override;
    TPop3Client(const TPop3Client&) = delete;
    TPop3Client& operator=(const TPop3Client&) = delete;

    // Time-outs in milliseconds. A response that has not begun within FirstByteTimeoutMs,
    // or stops arriving for the read time-out before its end, counts as empty (negative)
    // and ends the connection. So does a TOP or RETR response that has not ended within
    // MultiLineTotalMs of its command, or that brings fewer than SlowReplyMinBytes in any
    // SlowReplyWindowMs counted from its command (a server trickling bytes). Any other
    // response must end within ReplyTotalMs of its command, however it trickles.
    int ConnectTimeoutMs = 60000;       // each connection attempt
    int FirstByteTimeoutMs = 50000;     // first byte of any response
    int ReadTimeoutMs = 60000;          // further bytes of a one-line response
    int MultiLineReadTimeoutMs = 5000;  // further bytes of a TOP or RETR response
    int SendTimeoutMs = 60000;          // a send that makes no progress
    int64_t MultiLineTotalMs = 600000;
    int64_t ReplyTotalMs = 300000;
    int64_t SlowReplyWindowMs = 60000;
    std::size_t SlowReplyMinBytes = 1024;

    // The clock the whole-response bounds are measured with (the system's by default). It
    // must outlive the client.
    void UseClock(const Clock& clock) { clock_ = &clock; }

    // Connects, reads the greeting, sends USER and PASS, then Stat (its result ignored).
    // False when no connection could be made or the greeting, USER or PASS was refused;
    // the connection then stays as it is for Quit. LastError says why. With Auth OAuth2 the
    // token is had first (no connection is made without one), CAPA is asked for, and AUTH
    // takes the place of USER and PASS.
    //
    // Security.Mode: none is the plain conversation exactly; tls runs the handshake before
    // the greeting; starttls reads the greeting, asks for CAPA, sends STLS only when the
    // server lists it, runs the handshake and asks for CAPA again. No user name or password
    // is sent before the handshake succeeded, and a server without STLS, or one that
    // refuses it, ends the attempt. auto is tls on port 995; on any other port it asks for
    // CAPA and upgrades as starttls does when STLS is listed; without it the login goes on
    // in plain text only to a loopback host (never with a token) and is refused otherwise
    // (Tls, naming Security.Setting). A host, user or password holding a control character,
    // or a port outside 1-65535, is refused before connecting (Settings).
    bool Login() override;
    // STAT; on "+OK" sets MessageCount and MailboxSize from the reply (0 for what is not a
    // number) and returns true; otherwise both keep their values.
    bool Stat() override;
    // TOP number TopLines. Positive: Header is the header lines plus one empty line, Body
    // the lines after the first empty line (without it); text without an empty line is all
    // header. Negative: Header holds the raw response lines, Body keeps its content. A
    // response over MaxMessageSize is cut off: LastMessageTooBig, Header empty.
    void Top(int number) override;
    // RETR number. Positive: Body is the message after the first empty line, dot-unstuffed
    // (empty when there is none). Negative: Body holds the raw response lines. With a
    // MaxMessageSize, "LIST number" comes first: a message LIST sizes over the limit is not
    // fetched (LastMessageTooBig, Body empty, the connection kept); a RETR response that
    // grows past the limit (and 64 KB for the status line and dot-stuffing) is cut off.
    void Retrieve(int number) override;
    // DELE number; true on "+OK".
    bool Delete(int number) override;
    // QUIT, its reply read and ignored, then the connection closed. Never fails.
    void Quit() override;
    bool Connected() const override { return stream_ != nullptr; }
    // Connects as Login does, asks for CAPA (after the handshake with starttls), logs in,
    // STAT, QUIT.
    ProbeReport Probe() override;

    // Reads one response: one line, or (multiLine) up to the line "." or a "-" line. Empty
    // when it did not arrive whole; the connection is then closed.
    void ReadResponse(bool multiLine, std::string& response);

private:
    // Connection, TLS as the mode asks, greeting. capabilities, when given, receives the
    // CAPA lines (asked for only then, or for STLS). False with error set.
    bool Connect(MailError& error, Lines* capabilities);
    bool UpgradeToTls(MailError& error);
    // CAPA; the capability lines, or nullopt when refused or failed.
    std::optional<Lines> Capabilities();
    bool SendCredentials(MailError& error);
    // AUTH XOAUTH2 or OAUTHBEARER (as CAPA's SASL line offers, XOAUTH2 first) in the form of
    // RFC 5034: the initial response on the AUTH line when that stays within 255 octets,
    // else after the server's empty challenge.
    bool SendToken(const Lines& capabilities, const std::string& token, MailError& error);
    // The access token of an OAuth login (before connecting); true at once for a password.
    bool TokenFirst(std::string& token, MailError& error);
    // The login as Auth asks, on a connection Connect made (capabilities asked for OAuth).
    bool LogIn(const Lines& capabilities, const std::string& token, MailError& error);
    // Why a response was empty or negative: the read's failure or the server's reply.
    MailError Failed(const std::string& what, const std::string& response) const;
    std::string Where() const;
    // ReadResponse, giving how the read ended.
    ReplyStatus Receive(bool multiLine, std::string& response);
    // Sends the command and reads its response; empty when the send failed.
    std::string Exchange(std::string_view command, bool multiLine);
    // A TOP or RETR exchange: the response's lines; sets LastReplyPositive and, for a
    // response cut off at the size limit, LastMessageTooBig and LastMessageSize.
    Lines FetchMessage(const std::string& command);
    // LIST number: true when the server gives a size over MaxMessageSize (then noted in
    // LastMessageSize). A refusal or an unreadable size lets RETR go ahead.
    bool ListedTooBig(int number);
    void CloseConnection();

    std::unique_ptr<StreamConnector> connector_;
    TlsClient tls_;  // before stream_: a TLS stream refers to it while it lives
    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    ReplyStatus lastStatus_ = ReplyStatus::Complete;  // of the last response read
    bool sendFailed_ = false;                         // the last exchange could not send
    TlsInfo tlsInfo_;                                 // of the open connection
    std::string securityUsed_;  // "tls", "starttls", "none"; "auto" while undecided
    SystemClock systemClock_;
    const Clock* clock_ = &systemClock_;
};

}  // namespace corvanteer
