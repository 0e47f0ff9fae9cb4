#pragma once

// What the rest of the program sees of the POP3 and SMTP clients. TPop3Client and
// TSmtpClient are the real ones; tests hand in fakes with the same members.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "support/LoginMethod.h"
#include "support/Text.h"
#include "transport/ConnectionInfo.h"
#include "transport/MailError.h"
#include "transport/TokenSource.h"

namespace corvanteer {

// The most of a header that is taken apart into lines (what TOP brings, and a downloaded
// message's header when it is processed); whatever a header has beyond it is not looked at.
// Headers that big are not mail but an attack on memory.
inline constexpr std::size_t kMaxHeaderOctets = 1024 * 1024;

// One command of a walk through a mailbox (Pop3Client::Send).
struct Pop3Command {
    enum class Kind { Top, Retrieve, Delete };
    Kind kind = Kind::Top;
    int number = 0;
};

// The reply to one Pop3Command.
struct Pop3Reply {
    Pop3Command command;
    bool positive = false;  // "+OK", and the reply came whole
    // Top or Retrieve: the reply grew past MaxMessageSize and was cut off (which ends the
    // connection); size then holds the octets seen.
    bool tooBig = false;
    int64_t size = 0;
    Lines header;  // Top: the header lines followed by one empty line
    // Retrieve: the whole message, header and body, dot-unstuffed, every line ended by CR LF,
    // in one buffer. Top: the body lines TOP brought, as text. Negative: the server's line.
    std::string message;
    MailError error;  // why the reply is not positive; None when it is
};

// What LIST and UIDL say of one message.
struct Pop3Listing {
    int64_t size = -1;  // octets; -1: not given
    std::string uid;    // empty: not given
};

class Pop3Client {
public:
    virtual ~Pop3Client() = default;

    std::string HostAddress;
    int Port = 0;
    std::string User;
    std::string Password;
    // How the connection is protected; the default, auto, is TLS on port 995 and elsewhere
    // STLS when the server offers it (see TPop3Client::Login).
    ServerSecurity Security;
    int32_t TopLines = 0;
    Lines Header;  // after Top: the header lines followed by one empty line
    // After Top (TopLines body lines) or Retrieve (the body): one buffer, lines ended by CR LF.
    std::string Body;
    bool ResponseDone = false;
    int32_t MessageCount = 0;
    int32_t MailboxSize = 0;
    // Whether the server answered the last Top or Retrieve with +OK (Header or Body then hold
    // the message's lines, not the server's refusal).
    bool LastReplyPositive = false;
    // Largest message Top and Retrieve take in, in octets; 0: no limit. Retrieve asks LIST
    // for the size first, and a reply that grows past the limit is cut off (the connection
    // then ends, as after a time-out).
    int64_t MaxMessageSize = 0;
    // After Top or Retrieve: the message was over MaxMessageSize and was not read.
    // LastMessageSize then holds its size as LIST gave it, or the octets seen before the
    // reply was cut off.
    bool LastMessageTooBig = false;
    int64_t LastMessageSize = 0;
    // Why the last operation failed (Login: why it returned false); None after a success.
    MailError LastError;
    // How Login proves who it is: USER/PASS with Password, or (OAuth2) AUTH XOAUTH2 or
    // OAUTHBEARER with an access token that Tokens gives for TokenAccount and User, asked
    // for before connecting. OAuth2 needs TLS (tls, starttls, or auto where the server has it).
    LoginMethod Auth = LoginMethod::Password;
    std::string TokenAccount;
    OAuthTokenSource* Tokens = nullptr;  // not owned

    // Connects and logs in; True when PASS was accepted (MessageCount then holds STAT's).
    virtual bool Login() = 0;
    virtual bool Stat() = 0;
    virtual void Top(int number) = 0;
    virtual void Retrieve(int number) = 0;
    virtual bool Delete(int number) = 0;
    // Sends QUIT (the server then deletes the messages marked) and closes the connection.
    virtual void Quit() = 0;
    // True while a connection is open: from Login until Quit, or until a failure (a time-out,
    // a reply cut off, a lost connection) has ended it; nothing more can be read then.
    virtual bool Connected() const = 0;
    // The connection check: connects as Login does, asks for CAPA, logs in, STAT, QUIT.
    // Reads and deletes nothing.
    virtual ProbeReport Probe() = 0;

    // A walk through the open mailbox with several commands in flight. Send queues a command;
    // Receive gives the replies in the order the commands were sent, each once, also when the
    // connection ended meanwhile (a failed reply). The caller keeps at most Window() commands
    // in flight: 1 unless the server announced PIPELINING. Top, Retrieve, Delete and Quit may
    // be called in between; the replies they pass over wait for Receive. The default runs each
    // command with Top, Retrieve or Delete when its reply is asked for, so a Retrieve's
    // message is Header's lines followed by Body.
    virtual std::size_t Window() const { return 1; }
    virtual void Send(const Pop3Command& command);
    // False when no command waits for its reply.
    virtual bool Receive(Pop3Reply& reply);
    // What LIST and UIDL say of the messages of the open mailbox, by message number; what the
    // server does not say is left out. The default knows nothing.
    virtual std::unordered_map<int, Pop3Listing> ListMessages() { return {}; }

private:
    std::deque<Pop3Command> queued_;  // the default Send's
};

// The outcome of one SMTP session.
struct SmtpResult {
    MailError error;        // None when the server accepted the message
    std::string lastReply;  // the server's last reply line; empty when the program ended the
                            // session (time-out, refused certificate) or none came

    bool ok() const { return error.ok(); }
};

// A recipient the server refused while it took the message for others.
struct RecipientRefusal {
    std::string address;
    std::string reply;  // the server's reply to its RCPT TO
};

// The outcome of one message of a session (Transact).
struct SmtpTransaction {
    SmtpResult result;  // as Submit's: None when the server took the message
    // With partial delivery: the recipients left out, in the envelope's order. Empty when the
    // message failed as a whole.
    std::vector<RecipientRefusal> refused;
    // The failure came before the message: no connection, no greeting, HELO or EHLO, TLS or
    // the login failed. Nothing of the message was sent.
    bool connectionPhase = false;
    // The message data went out; a failure after it leaves open whether the server kept it.
    bool dataSent = false;

    bool ok() const { return result.ok(); }
};

// What Send hands back as its reply for this result (see there); reply is left alone when no
// connection could be made.
void TakeDescribedReply(SmtpResult&& result, std::string& reply);

// One message as it travels to the SMTP server: the envelope sender, the recipients and the
// whole message (header lines, an empty line, the body), lines ended by CR LF and not
// dot-stuffed: the client stuffs it while sending. A line break that is a lone CR or LF goes
// out as CR LF, and a last line without its line break gets one.
struct Envelope {
    std::string from;
    std::vector<std::string> recipients;
    std::string message;
};

// The SMTP server a client talks to, and how it logs in (engine/MailConnections.h builds it
// from the settings).
struct SmtpServer {
    std::string host;
    int port = 25;
    // How the connection is protected; the default, auto, is TLS on port 465, STARTTLS on
    // 587, and elsewhere STARTTLS when the server offers it (see TSmtpClient::Submit).
    ServerSecurity security;
    bool requireAuthentication = false;
    std::string user;
    std::string password;
    // How the login proves who it is: AUTH with password, or (OAuth2) AUTH XOAUTH2 or
    // OAUTHBEARER with an access token that the client's token source gives for tokenAccount
    // and user, asked for before connecting; OAuth2 always logs in, whatever
    // requireAuthentication says, and needs TLS (tls, starttls, or auto where the server
    // has it).
    LoginMethod auth = LoginMethod::Password;
    std::string tokenAccount;
};

// A server that could not be reached (SmtpClient::Outage).
struct SmtpOutage {
    std::string server;  // "host:port"; empty: none
    SmtpResult result;   // the failure that showed it
};

// A connection to one SMTP server that carries messages; each message is an argument of
// the call that sends it.
class SmtpClient {
public:
    virtual ~SmtpClient() = default;

    // Where the next connection goes; a change takes effect when the next session opens.
    SmtpServer Server;
    // Gives the access tokens of an OAuth2 login (not owned; set once by the front end).
    OAuthTokenSource* Tokens = nullptr;

    // How many messages the next session is expected to carry. A session of more than one
    // in plain text without authentication greets with EHLO (HELO when that is refused) to
    // learn of PIPELINING; with one, the conversation stays the described HELO one.
    std::size_t SessionMessages = 1;

    // The engine's note, for the length of a scan, of a server that could not be reached (no
    // connection, or no greeting in time): the rest of the scan's mail for it fails untried
    // instead of waiting for it again. The scan clears it when it starts and when it ends.
    SmtpOutage Outage;

    // One whole SMTP session with the envelope: accepted only when the server answered the
    // end of the data with 250. A session left open by Transact is ended first.
    virtual SmtpResult Submit(const Envelope& envelope) = 0;

    // One message of a session: connects, greets and logs in first when no connection is
    // open, and leaves the connection open for the next message (RSET goes first when the
    // previous transaction was refused). partial: a recipient the server refuses is left out
    // (SmtpTransaction::refused) and the message goes to the others; it fails only when none
    // is accepted. Otherwise the first refused recipient fails the message, as in Submit.
    virtual SmtpTransaction Transact(const Envelope& envelope, bool partial) = 0;
    // True while the session's connection can carry another message: false before the first
    // Transact, after EndSession, and once the connection broke or the server said 421.
    virtual bool SessionOpen() const = 0;
    // QUIT (its reply not read) and closes the connection; nothing when none is open.
    virtual void EndSession() = 0;
    // The connection check: connects, EHLO (and STARTTLS), logs in when authentication is
    // required, QUIT. Sends no message.
    virtual ProbeReport Probe() = 0;

    // Submit in the described form: true when accepted. reply receives the server's last
    // reply line; empty when a reply did not come whole or the connection broke; left as
    // passed when no connection could be made; the program's reason when the program
    // refused to go on (an address, the settings, TLS, the certificate, no way to log in).
    bool Send(const Envelope& envelope, std::string& reply);
};

}  // namespace corvanteer
