#pragma once

// How a connection to a mail server is protected, and the text forms of the settings that
// say so: the security mode and a pinned certificate fingerprint.

#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

enum class SecurityMode {
    Auto,      // by the port: 995 and 465 Tls, 587 StartTls; any other: STLS or STARTTLS when
               // the server offers it, plain text only where DecidePlain allows it
    Tls,       // TLS from the first byte (implicit TLS)
    StartTls,  // plain first, then POP3 STLS or SMTP STARTTLS; never goes on in plain text
    None,      // plain text throughout
};

// The setting's values, as stored: "auto", "tls", "starttls", "none".
const char* SecurityName(SecurityMode security);
// Reads a stored value, any case, blanks around it ignored; nullopt for anything else.
std::optional<SecurityMode> ParseSecurity(std::string_view text);
// Auto made concrete for the port (995 and 465 Tls, 587 StartTls); on any other port Auto
// stays, to be decided by DecidePlain once the server has said what it offers. The other
// modes stay as they are.
SecurityMode ResolveSecurity(SecurityMode security, int port);

// What the login of a connection would send.
enum class LoginSecret {
    None,      // nothing secret (SMTP without authentication)
    Password,  // a password (USER/PASS, AUTH LOGIN or PLAIN)
    Token,     // an OAuth 2.0 access token, which never travels unencrypted
};

// What a client does on a connection that began in plain text, once it knows whether the
// server offers STLS (POP3) or STARTTLS (SMTP).
enum class PlainStep {
    Upgrade,           // send STLS or STARTTLS; a failed handshake ends the attempt
    StayPlain,         // go on in plain text
    RefuseNoTls,       // starttls was asked for and the server does not offer it
    RefuseClearLogin,  // the secret would travel unencrypted where nobody chose that
};

// security: ResolveSecurity's result other than Tls (None, StartTls or Auto). None is plain
// text throughout, by the operator's choice. Auto upgrades whenever the server offers it,
// and without the offer goes on in plain text only when nothing secret is sent, or a
// password goes to a loopback address; a token never goes in plain text.
PlainStep DecidePlain(SecurityMode security, bool offered, LoginSecret secret, bool loopback);

// True for a host that is this machine by its form alone: "localhost", an IPv4 address of
// 127.0.0.0/8 (in the clients' dotted form), "::1" (with or without brackets) or the IPv4
// loopback mapped into IPv6. Names are never resolved for it.
bool IsLoopbackHost(std::string_view host);

// A SHA-256 fingerprint as typed: 64 hex digits, any case, with or without colons (or
// blanks) between them. Gives the 64 digits in lower case; nullopt when it is no such
// fingerprint. The empty text (no pin) is not a fingerprint either.
std::optional<std::string> ParseFingerprint(std::string_view text);
// Digest bytes as upper-case hex pairs joined by colons ("3A:0F:..."), the form tools print.
std::string FormatFingerprint(std::string_view digest);

}  // namespace corvanteer
