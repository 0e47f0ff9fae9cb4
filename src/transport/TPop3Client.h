#pragma once

// The POP3 client: one blocking connection per mailbox, USER/PASS login, STAT, TOP, RETR,
// DELE and QUIT; in plain text, over TLS from the first byte, or upgraded by STLS. With a
// server that announces PIPELINING, a walk through the mailbox keeps several commands in
// flight (RFC 2449).

#include <cstddef>
#include <deque>
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
    // and ends the connection. So does any response, the greeting included, that has not
    // ended within ReplyTotalMs of the start of its read, and a multi-line one that brings
    // fewer than SlowReplyMinBytes in any SlowReplyWindowMs counted from that start (a server
    // trickling bytes).
    int ConnectTimeoutMs = 60000;       // each connection attempt
    int FirstByteTimeoutMs = 50000;     // first byte of any response
    int ReadTimeoutMs = 60000;          // further bytes of a one-line response
    int MultiLineReadTimeoutMs = 5000;  // further bytes of a multi-line response
    int SendTimeoutMs = 60000;          // a send that makes no progress
    int64_t ReplyTotalMs = kReplyDeadlineMs;
    int64_t SlowReplyWindowMs = 60000;
    std::size_t SlowReplyMinBytes = 1024;
    // Commands a walk keeps in flight when the server takes them pipelined; each is a few
    // octets, so the server never waits for the client to read before it takes the next.
    std::size_t PipelineWindow = 32;

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
    // header. Only the first kMaxHeaderOctets of the response are kept. Negative: Header
    // holds the raw response line, Body keeps its content. A response whose lines pass
    // MaxMessageSize is cut off: LastMessageTooBig, Header empty, the connection ended.
    void Top(int number) override;
    // RETR number. Positive: Body is the message after the first empty line, dot-unstuffed
    // (empty when there is none). Negative: Body holds the raw response line. With a
    // MaxMessageSize, the size comes first (from ListMessages, else "LIST number"): a message
    // over the limit is not fetched (LastMessageTooBig, Body empty, the connection kept); a
    // message that grows past the limit (its own octets, the stuffing not counted) is cut
    // off and the connection ended.
    //
    // Every multi-line response is taken apart as it arrives, into one buffer: lines end with
    // CR LF whatever ended them on the wire (CR LF, a lone LF, a lone CR).
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

    // The walk (see Pop3Client). Commands queued by Send go out together just before a reply
    // is read. Top replies keep kMaxHeaderOctets, Retrieve replies the whole message, both
    // bounded by MaxMessageSize as for Top and Retrieve (but a Retrieve asks no LIST: the
    // caller decides from ListMessages); a reply cut off there ends the connection, and
    // every command still in flight then gets a failed reply.
    std::size_t Window() const override;
    void Send(const Pop3Command& command) override;
    bool Receive(Pop3Reply& reply) override;
    // CAPA (whether the server takes pipelined commands), then LIST and UIDL, pipelined when
    // it does. A refused LIST or UIDL leaves its part unknown.
    std::unordered_map<int, Pop3Listing> ListMessages() override;

private:
    // How a reply in flight is read.
    enum class ReadAs { Line, MultiLine, Top, Retrieve };
    struct InFlight {
        ReadAs read = ReadAs::Line;
        Pop3Command command;  // for Top, Retrieve and Delete
        std::string what;     // the command's verb, for error texts
    };
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
    // Sends the command and reads its response (a multi-line one as its status line, its
    // lines and "."); empty when the send failed.
    std::string Exchange(std::string_view command, bool multiLine);
    // Queues a command to go out with the next read.
    void Queue(std::string_view command, InFlight entry);
    // Reads the reply of the oldest command in flight.
    // statusLine, when given, receives the reply's first line as it came.
    Pop3Reply ReadNext(std::string* statusLine = nullptr);
    // Reads replies until the one of the command queued last, keeping those before it for
    // Receive.
    Pop3Reply Await(std::string* statusLine = nullptr);
    // Drops what a walk left (a new connection, or none).
    void ForgetWalk();
    // One response of the given kind; the status line (or the one line) into status, the
    // lines of a multi-line one into content. Anything but Complete closes the connection.
    ReplyStatus ReadReply(ReadAs read, std::string& status, std::string& content,
                          int64_t reserve = 0);
    // Sets the members the described interface shows from a reply handed out.
    void Show(const Pop3Reply& reply);
    // A TOP or RETR exchange, shown in the members.
    Pop3Reply FetchMessage(Pop3Command::Kind kind, int number);
    // The size of message number over MaxMessageSize (noted in LastMessageSize): from the
    // listing when there is one, else LIST number. A refusal or an unreadable size lets RETR
    // go ahead.
    bool ListedTooBig(int number);
    void CloseConnection();

    std::unique_ptr<StreamConnector> connector_;
    TlsClient tls_;  // before stream_: a TLS stream refers to it while it lives
    std::unique_ptr<ByteStream> stream_;
    ReplyReader reader_;
    ReplyStatus lastStatus_ = ReplyStatus::Complete;  // of the last response read
    bool sendFailed_ = false;                         // the last exchange could not send
    bool pipelining_ = false;                         // the open connection's CAPA said so
    std::string outgoing_;                            // commands queued, not yet written
    std::deque<InFlight> inFlight_;                   // commands whose replies are unread
    std::deque<Pop3Reply> early_;  // replies read ahead of a Top, Retrieve or Delete
    std::unordered_map<int, int64_t> listedSizes_;  // from ListMessages
    TlsInfo tlsInfo_;                               // of the open connection
    std::string securityUsed_;  // "tls", "starttls", "none"; "auto" while undecided
    SystemClock systemClock_;
    const Clock* clock_ = &systemClock_;
};

}  // namespace corvanteer
