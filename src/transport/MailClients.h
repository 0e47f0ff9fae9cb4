#pragma once

// What the rest of the program sees of the POP3 and SMTP clients. TPop3Client and
// TSmtpClient are the real ones; tests hand in fakes with the same members.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/LoginMethod.h"
#include "support/Text.h"
#include "transport/ConnectionInfo.h"
#include "transport/MailError.h"
#include "transport/TokenSource.h"

namespace corvanteer {

class Pop3Client {
public:
    virtual ~Pop3Client() = default;

    std::string HostAddress;
    int Port = 0;
    std::string User;
    std::string Password;
    // How the connection is protected; the default, auto, is plain text on port 110.
    ServerSecurity Security;
    int32_t TopLines = 0;
    Lines Header;  // after Top: the header lines followed by one empty line
    Lines Body;    // after Top (TopLines body lines) or Retrieve (the body)
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
    // for before connecting. OAuth2 needs TLS (security tls or starttls).
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
    // How the connection is protected; the default, auto, is plain text on port 25.
    ServerSecurity security;
    bool requireAuthentication = false;
    std::string user;
    std::string password;
    // How the login proves who it is: AUTH with password, or (OAuth2) AUTH XOAUTH2 or
    // OAUTHBEARER with an access token that the client's token source gives for tokenAccount
    // and user, asked for before connecting; OAuth2 always logs in, whatever
    // requireAuthentication says, and needs TLS (security tls or starttls).
    LoginMethod auth = LoginMethod::Password;
    std::string tokenAccount;
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
