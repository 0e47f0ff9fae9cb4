#include "common/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <memory>
#include <stdexcept>

namespace corvanteer::testing {

namespace {

struct Free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* cert) const { X509_free(cert); }
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Free>;
using CertPtr = std::unique_ptr<X509, Free>;
using BioPtr = std::unique_ptr<BIO, Free>;

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("test certificate: ") + what + " failed");
    }
}

KeyPtr NewKey() {
    KeyPtr key(EVP_EC_gen("P-256"));
    Require(key != nullptr, "key generation");
    return key;
}

std::string PemOf(X509* cert) {
    BioPtr out(BIO_new(BIO_s_mem()));
    Require(out && PEM_write_bio_X509(out.get(), cert) == 1, "PEM of certificate");
    char* data = nullptr;
    long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string PemOf(EVP_PKEY* key) {
    BioPtr out(BIO_new(BIO_s_mem()));
    Require(
        out && PEM_write_bio_PrivateKey(out.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "PEM of key");
    char* data = nullptr;
    long size = BIO_get_mem_data(out.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string FingerprintOf(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    Require(X509_digest(cert, EVP_sha256(), digest, &size) == 1, "digest");
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < size; ++i) {
        text += (i == 0 ? "" : ":");
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 0x0F];
    }
    return text;
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    Require(extension != nullptr, "extension");
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

// Signed by issuerKey; issuerCert null means self-signed.
TestIdentity Make(const CertificateRequest& request, bool isCa, X509* issuerCert,
                  EVP_PKEY* issuerKey) {
    static std::atomic<long> serial{1000};
    KeyPtr key = NewKey();
    CertPtr cert(X509_new());
    Require(cert != nullptr, "certificate");
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), long{request.validFromDays} * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), long{request.validToDays} * 86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Corvanteer tests"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(request.commonName.c_str()),
                               -1, -1, 0);
    X509* issuer = issuerCert != nullptr ? issuerCert : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(issuer));
    if (isCa) {
        AddExtension(cert.get(), issuer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), issuer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(cert.get(), issuer, NID_basic_constraints, "CA:FALSE");
        AddExtension(cert.get(), issuer, NID_ext_key_usage, "serverAuth");
    }
    AddExtension(cert.get(), issuer, NID_subject_key_identifier, "hash");
    std::string names;
    for (const std::string& dns : request.dnsNames) {
        names += (names.empty() ? "" : ",") + std::string("DNS:") + dns;
    }
    for (const std::string& ip : request.ipAddresses) {
        names += (names.empty() ? "" : ",") + std::string("IP:") + ip;
    }
    if (!names.empty()) {
        AddExtension(cert.get(), issuer, NID_subject_alt_name, names);
    }
    Require(X509_sign(cert.get(), issuerKey != nullptr ? issuerKey : key.get(), EVP_sha256()) > 0,
            "signature");
    return TestIdentity{PemOf(cert.get()), PemOf(key.get()), FingerprintOf(cert.get())};
}

}  // namespace

TestCa::TestCa(const std::string& commonName) {
    CertificateRequest request;
    request.commonName = commonName;
    request.validToDays = 3650;
    identity_ = Make(request, true, nullptr, nullptr);
}

TestIdentity TestCa::Issue(const CertificateRequest& request) const {
    const std::string pem = identity_.Pem();
    BioPtr in(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    CertPtr caCert(PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr));
    KeyPtr caKey(PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr));
    Require(caCert && caKey, "reading the CA");
    return Make(request, false, caCert.get(), caKey.get());
}

TestIdentity SelfSigned(const CertificateRequest& request) {
    return Make(request, false, nullptr, nullptr);
}

}  // namespace corvanteer::testing
