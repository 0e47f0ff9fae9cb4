#pragma once

// How a mail client protects its connection, and what it learned about one: the TLS
// parameters and the server's certificate, for the connection check and for error texts.

#include <cstdint>
#include <string>

#include "support/Text.h"
#include "transport/MailError.h"

namespace corvanteer {

// The security settings of one server, as stored: the mode, a pin and extra trusted CAs.
struct ServerSecurity {
    std::string Mode = "auto";  // auto, tls, starttls or none (ParseSecurity); else refused
    std::string Fingerprint;    // pinned SHA-256 of the server's certificate; empty: none
    std::string CAFile;         // PEM file of CAs trusted besides the system's; empty: none
    // The name of the mode's setting ("Pop3Security"), for an error that tells what to change;
    // empty: "the security setting".
    std::string Setting = {};  // (initialised: older brace lists of three stay warning-free)
};

struct CertificateInfo {
    std::string subject;  // RFC 2253 form, "CN=mail.example.org,O=Example"
    std::string issuer;
    std::string notAfter;     // "2027-03-01 12:00:00 UTC"
    std::string fingerprint;  // SHA-256 of the certificate, "3A:0F:..." (FormatFingerprint)
};

// What a TLS handshake established.
struct TlsInfo {
    bool used = false;    // a handshake was made
    std::string version;  // "TLSv1.3"
    std::string cipher;   // "TLS_AES_256_GCM_SHA384"
    CertificateInfo certificate;
    bool verified = false;  // the chain reached a trusted CA and the certificate names the host
    bool pinned = false;    // accepted because its fingerprint is the pinned one
    bool resumed = false;   // an earlier session was resumed (no certificate exchange)
};

enum class LoginOutcome {
    NotTried,     // the conversation ended before
    NotRequired,  // SMTP without authentication
    Accepted,
    Refused,
};

// What a client's Probe saw of its server: connection, TLS, capabilities, login. Nothing
// is read, deleted or sent.
struct ProbeReport {
    // The protection used: "tls", "starttls" or "none"; the mode as set ("auto") when the
    // check ended before that was decided.
    std::string security;
    bool connected = false;
    TlsInfo tls;
    Lines capabilities;  // EHLO keywords (the last EHLO) or CAPA lines, in the server's order
    LoginOutcome login = LoginOutcome::NotTried;
    int32_t messageCount = -1;  // POP3: STAT's count after the login; -1 when not known
    MailError error;            // the first step that failed; None when all passed
};

}  // namespace corvanteer
