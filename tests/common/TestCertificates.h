#pragma once

// Certificates made on the spot for tests of TLS: a test CA and the server certificates it
// signs, with the names, addresses and validity a test asks for. Keys are EC P-256, quick
// to make. Throws std::runtime_error when OpenSSL fails.

#include <string>
#include <vector>

namespace corvanteer::testing {

// A certificate with its private key, both PEM.
struct TestIdentity {
    std::string certPem;
    std::string keyPem;
    std::string fingerprint;  // SHA-256 of the certificate, "3A:0F:..."

    // certPem followed by keyPem, as one file.
    std::string Pem() const { return certPem + keyPem; }
};

struct CertificateRequest {
    std::string commonName;
    std::vector<std::string> dnsNames;     // subject alternative names
    std::vector<std::string> ipAddresses;  // IPv4 or IPv6 literals
    int validFromDays = -1;                // relative to now
    int validToDays = 365;
};

class TestCa {
public:
    explicit TestCa(const std::string& commonName);

    const TestIdentity& Identity() const { return identity_; }
    // A server certificate for the request, signed by this CA.
    TestIdentity Issue(const CertificateRequest& request) const;

private:
    TestIdentity identity_;
};

// A certificate that signs itself (its own issuer, trusted by nobody).
TestIdentity SelfSigned(const CertificateRequest& request);

}  // namespace corvanteer::testing
