#pragma once

// How a conversation with a mail server failed, as a value: a category, the program's own
// reason, and the server's reply kept apart from it, so a log line or a window can say
// whether the server refused something or the program gave up (a certificate it would not
// trust, a time-out, a server that does not offer STARTTLS).

#include <string>

namespace corvanteer {

enum class MailFailure {
    None,
    Settings,     // the connection settings cannot be used (unknown security mode, a
                  // fingerprint that is no SHA-256, an unreadable CA file)
    Input,        // refused before connecting: an address that would break the command
    Connect,      // no connection could be made (name not found, refused, unreachable)
    Tls,          // TLS could not be set up: handshake failed, STARTTLS not offered or refused
    Certificate,  // the server's certificate was not trusted
    Timeout,      // a reply did not begin, or stopped arriving, within its time-out
    Connection,   // the connection broke, or a reply was cut off or too long
    Refused,      // the server refused a command; serverReply says how
    Auth,         // the server refused the login, or offers no way to log in that we have
    Token,        // no OAuth access token could be had for the login (not signed in, the
                  // refresh refused or failed); nothing was sent to the mail server
};

// "settings", "input", "connect", "tls", "certificate", "timeout", "connection", "refused",
// "auth", "token"; "none" for None.
const char* MailFailureName(MailFailure failure);

struct MailError {
    MailFailure kind = MailFailure::None;
    // The program's words: what it was doing and why it stopped ("certificate of
    // mail.example.org refused: unknown issuer (SHA-256 ...)"). Never holds a secret.
    std::string reason;
    // The server's own reply line that ended the conversation ("535 5.7.8 Authentication
    // failed"); empty when the program ended it or no reply came.
    std::string serverReply;

    bool ok() const { return kind == MailFailure::None; }
    // One line for a log or a status bar: the reason, then the server's reply after ": ",
    // each with its control bytes shown as "?" and cut to 300 characters (OneLineText).
    std::string Text() const;
};

// A failure of that kind; serverReply empty.
MailError Fail(MailFailure kind, std::string reason);
// The server refused: kind with its reply line kept.
MailError ServerSaid(MailFailure kind, std::string reason, std::string reply);

}  // namespace corvanteer
