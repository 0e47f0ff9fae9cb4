#pragma once

// How a connection to a mail server is protected, and the text forms of the settings that
// say so: the security mode and a pinned certificate fingerprint.

#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

enum class SecurityMode {
    Auto,      // by the port: 995 and 465 Tls, 587 StartTls, any other None
    Tls,       // TLS from the first byte (implicit TLS)
    StartTls,  // plain first, then POP3 STLS or SMTP STARTTLS; never goes on in plain text
    None,      // plain text throughout
};

// The setting's values, as stored: "auto", "tls", "starttls", "none".
const char* SecurityName(SecurityMode security);
// Reads a stored value, any case, blanks around it ignored; nullopt for anything else.
std::optional<SecurityMode> ParseSecurity(std::string_view text);
// Auto made concrete for the port; the other modes stay as they are.
SecurityMode ResolveSecurity(SecurityMode security, int port);

// A SHA-256 fingerprint as typed: 64 hex digits, any case, with or without colons (or
// blanks) between them. Gives the 64 digits in lower case; nullopt when it is no such
// fingerprint. The empty text (no pin) is not a fingerprint either.
std::optional<std::string> ParseFingerprint(std::string_view text);
// Digest bytes as upper-case hex pairs joined by colons ("3A:0F:..."), the form tools print.
std::string FormatFingerprint(std::string_view digest);

}  // namespace corvanteer
