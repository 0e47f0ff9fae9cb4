#pragma once

// TLS on OpenSSL 3 over any ByteStream: the handshake, the check of the server's
// certificate, and a ByteStream that carries the protected bytes. Used for implicit TLS
// (right after the connection opens) and for POP3 STLS and SMTP STARTTLS.

#include <memory>
#include <string>

#include "transport/ByteStream.h"
#include "transport/ConnectionInfo.h"
#include "transport/MailError.h"

namespace corvanteer {

// Whom the server must prove to be.
struct TlsPeer {
    // The host as configured. A name is sent as SNI and must be named by the certificate (a
    // DNS subject alternative name, "*" only as the whole left-most label; never the common
    // name); an IPv4 or IPv6 literal must be one of its IP address names.
    std::string host;
    int port = 0;             // with host, names the cached session to resume
    std::string fingerprint;  // pinned SHA-256 as typed (ParseFingerprint); empty: no pin
    std::string caFile;       // PEM certificates trusted besides the system's; empty: none
};

// Makes TLS connections for one client. Keeps the OpenSSL context (system CA store plus
// the CA file, TLS 1.2 at least, no renegotiation) and the last session of each server, to resume
// it on the next connection. Not thread-safe: one client, one thread.
class TlsClient {
public:
    TlsClient();
    ~TlsClient();
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // Checks what can be checked before connecting: the pin's form and the CA file, which is
    // loaded (again when it changed). False with a Settings (or Tls) error.
    bool Prepare(const TlsPeer& peer, MailError& error);

    // Runs the handshake over plain, which must hold no unread bytes of the server's (a
    // STARTTLS reply is read whole). Each wait for the server is bounded by what is left of
    // timeoutMs, each write by writeTimeoutMs. The certificate is accepted when a pin is set
    // and its SHA-256 is that pin, or when no pin is set and it verifies against the trusted
    // CAs and names peer.host. Returns the protected stream, or null with error set
    // (Settings, Tls, Certificate, Timeout or Connection) and plain closed. info is filled
    // as far as the handshake got (the certificate of a refused server included).
    std::unique_ptr<ByteStream> Start(std::unique_ptr<ByteStream> plain, const TlsPeer& peer,
                                      int timeoutMs, int writeTimeoutMs, TlsInfo& info,
                                      MailError& error);

    // Forgets every cached session (the next handshakes are full ones).
    void ForgetSessions();

private:
    struct Context;
    std::unique_ptr<Context> context_;
};

}  // namespace corvanteer
