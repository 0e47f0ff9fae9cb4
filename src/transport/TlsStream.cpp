#include "transport/TlsStream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <map>
#include <vector>

#include "support/ConnectionSecurity.h"
#include "support/Text.h"
#include "transport/HostNames.h"

namespace corvanteer {

namespace {

using SteadyClock = std::chrono::steady_clock;

struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
    void operator()(SSL_SESSION* session) const { SSL_SESSION_free(session); }
    void operator()(X509* cert) const { X509_free(cert); }
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using SslPtr = std::unique_ptr<SSL, SslFree>;
using CtxPtr = std::unique_ptr<SSL_CTX, SslFree>;
using SessionPtr = std::unique_ptr<SSL_SESSION, SslFree>;
using X509Ptr = std::unique_ptr<X509, SslFree>;
using BioPtr = std::unique_ptr<BIO, SslFree>;

int MillisecondsLeft(SteadyClock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// The reason of the oldest error OpenSSL queued ("wrong version number"), the queue emptied.
std::string OpenSslReason() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "";
    }
    const char* reason = ERR_reason_error_string(code);
    return reason != nullptr ? reason : "error " + std::to_string(ERR_GET_REASON(code));
}

std::string NameText(const X509_NAME* name) {
    BioPtr out(BIO_new(BIO_s_mem()));
    if (!out || X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253) < 0) {
        return "";
    }
    char* data = nullptr;
    long size = BIO_get_mem_data(out.get(), &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return "";
    }
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::string Sha256Of(X509* cert) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(cert, EVP_sha256(), digest, &size) != 1) {
        return "";
    }
    return std::string(reinterpret_cast<const char*>(digest), size);
}

// What the certificate must name: an IP address literal, or a host name without a final
// dot. A dotted IPv4 address in the clients' own form ("010.0.0.1" is ten) is written the
// way the connection reads it.
struct PeerName {
    bool isAddress = false;
    std::string text;
};

PeerName PeerNameOf(const std::string& host) {
    if (IsIPAddress(host)) {
        SplitResult parts = SplitString(host, ".");
        std::string dotted;
        for (const std::string& part : parts.parts) {
            dotted += (dotted.empty() ? "" : ".") + std::to_string(StrToIntDef(part, 0));
        }
        return {true, dotted};
    }
    if (host.find(':') != std::string::npos) {
        std::string address = host;
        if (address.size() >= 2 && address.front() == '[' && address.back() == ']') {
            address = address.substr(1, address.size() - 2);
        }
        return {true, address};
    }
    std::string name = host;
    if (!name.empty() && name.back() == '.') {
        name.pop_back();
    }
    return {false, name};
}

// The verification errors of one handshake, in the words an operator reads.
struct VerifyNotes {
    bool unknownIssuer = false;
    bool expired = false;
    bool notYetValid = false;
    bool nameMismatch = false;
    std::vector<std::string> other;

    void Note(int error) {
        switch (error) {
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
            case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
                unknownIssuer = true;
                return;
            case X509_V_ERR_CERT_HAS_EXPIRED:
                expired = true;
                return;
            case X509_V_ERR_CERT_NOT_YET_VALID:
                notYetValid = true;
                return;
            case X509_V_ERR_HOSTNAME_MISMATCH:
            case X509_V_ERR_IP_ADDRESS_MISMATCH:
                nameMismatch = true;
                return;
            default: {
                std::string text = X509_verify_cert_error_string(error);
                for (const std::string& seen : other) {
                    if (seen == text) {
                        return;
                    }
                }
                other.push_back(std::move(text));
            }
        }
    }
    bool Any() const {
        return unknownIssuer || expired || notYetValid || nameMismatch || !other.empty();
    }
    std::string Text() const {
        std::vector<std::string> parts;
        if (unknownIssuer) {
            parts.push_back("unknown issuer");
        }
        if (expired) {
            parts.push_back("expired");
        }
        if (notYetValid) {
            parts.push_back("not yet valid");
        }
        if (nameMismatch) {
            parts.push_back("name mismatch");
        }
        parts.insert(parts.end(), other.begin(), other.end());
        std::string text;
        for (const std::string& part : parts) {
            text += (text.empty() ? "" : ", ") + part;
        }
        return text;
    }
};

int VerifyNotesIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Notes every problem and lets the handshake go on: whether the certificate is accepted is
// decided once it is known whole, against the pin or these notes, before any byte of ours.
int NoteVerifyError(int preverifyOk, X509_STORE_CTX* store) {
    if (preverifyOk == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* notes = ssl != nullptr
                          ? static_cast<VerifyNotes*>(SSL_get_ex_data(ssl, VerifyNotesIndex()))
                          : nullptr;
        if (notes != nullptr) {
            notes->Note(X509_STORE_CTX_get_error(store));
        }
    }
    return 1;
}

using SessionMap = std::map<std::string, SessionPtr>;

// Ties a connection to its client's session cache: a session the server hands out is kept
// only once the certificate was accepted.
struct SessionLink {
    SessionMap* sessions = nullptr;
    std::string key;
    bool accepted = false;
    SessionPtr pending;

    void Keep(SessionPtr session) {
        if (accepted) {
            (*sessions)[key] = std::move(session);
        } else {
            pending = std::move(session);
        }
    }
    void Accept() {
        accepted = true;
        if (pending) {
            (*sessions)[key] = std::move(pending);
        }
    }
};

int SessionLinkIndex() {
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int KeepNewSession(SSL* ssl, SSL_SESSION* session) {
    auto* link = static_cast<SessionLink*>(SSL_get_ex_data(ssl, SessionLinkIndex()));
    if (link == nullptr || SSL_SESSION_is_resumable(session) != 1) {
        return 0;  // OpenSSL keeps its reference
    }
    link->Keep(SessionPtr(session));
    return 1;  // the reference is ours now
}

std::string HexOf(std::string_view digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

// The ByteStream of a TLS connection: OpenSSL reads and writes through a BIO that calls
// the plain stream with what is left of the current call's time-out.
class TlsStream : public ByteStream {
public:
    explicit TlsStream(std::unique_ptr<ByteStream> inner) : inner_(std::move(inner)) {}
    ~TlsStream() override { Close(); }

    // Creates the connection object; false when OpenSSL cannot.
    bool Attach(SSL_CTX* ctx);
    SSL* Ssl() { return ssl_.get(); }
    // The link lives as long as the connection: session tickets may come with any read.
    void Link(std::unique_ptr<SessionLink> link) {
        link_ = std::move(link);
        SSL_set_ex_data(ssl_.get(), SessionLinkIndex(), link_.get());
    }
    SessionLink& LinkOf() { return *link_; }

    // The handshake within timeoutMs. False with error set.
    bool Handshake(int timeoutMs, int writeTimeoutMs, const std::string& where, MailError& error);

    bool WriteAll(std::string_view bytes, int timeoutMs) override;
    ReadResult ReadSome(char* buffer, std::size_t size, int timeoutMs) override;
    bool WaitReadable(int timeoutMs) override;
    void Close() override;
    // Closes without the closing alert (a refused server gets nothing more).
    void Drop();

    static BIO_METHOD* Method();

private:
    static int BioWrite(BIO* bio, const char* data, int size);
    static int BioRead(BIO* bio, char* data, int size);
    static long BioCtrl(BIO* bio, int command, long number, void* pointer);
    static int BioCreate(BIO* bio);

    std::unique_ptr<ByteStream> inner_;
    std::unique_ptr<SessionLink> link_;  // declared before ssl_, so it outlives it
    SslPtr ssl_;
    SteadyClock::time_point readDeadline_{};
    int writeTimeoutMs_ = 0;
    bool innerClosed_ = false;  // the plain stream ended or failed
    bool broken_ = false;       // a fatal TLS error: no closing alert, no further use
};

BIO_METHOD* TlsStream::Method() {
    // Built once and never changed: a table of function pointers shared by every stream.
    static BIO_METHOD* method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "byte stream");
        if (m != nullptr) {
            BIO_meth_set_write(m, BioWrite);
            BIO_meth_set_read(m, BioRead);
            BIO_meth_set_ctrl(m, BioCtrl);
            BIO_meth_set_create(m, BioCreate);
        }
        return m;
    }();
    return method;
}

int TlsStream::BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

long TlsStream::BioCtrl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int TlsStream::BioWrite(BIO* bio, const char* data, int size) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (self->innerClosed_ || size < 0 ||
        !self->inner_->WriteAll(std::string_view(data, static_cast<std::size_t>(size)),
                                self->writeTimeoutMs_)) {
        self->innerClosed_ = true;
        return -1;
    }
    return size;
}

int TlsStream::BioRead(BIO* bio, char* data, int size) {
    auto* self = static_cast<TlsStream*>(BIO_get_data(bio));
    BIO_clear_retry_flags(bio);
    if (self->innerClosed_ || size <= 0) {
        return 0;
    }
    ReadResult got = self->inner_->ReadSome(data, static_cast<std::size_t>(size),
                                            MillisecondsLeft(self->readDeadline_));
    if (got.status == ReadStatus::Data) {
        return static_cast<int>(got.count);
    }
    if (got.status == ReadStatus::TimedOut) {
        BIO_set_retry_read(bio);  // the TLS state stays as it is; the call may be repeated
        return -1;
    }
    self->innerClosed_ = true;
    return 0;
}

bool TlsStream::Attach(SSL_CTX* ctx) {
    ssl_.reset(SSL_new(ctx));
    BIO* bio = Method() != nullptr ? BIO_new(Method()) : nullptr;
    if (!ssl_ || bio == nullptr) {
        BIO_free(bio);
        return false;
    }
    BIO_set_data(bio, this);
    SSL_set_bio(ssl_.get(), bio, bio);
    return true;
}

bool TlsStream::Handshake(int timeoutMs, int writeTimeoutMs, const std::string& where,
                          MailError& error) {
    readDeadline_ = SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    writeTimeoutMs_ = writeTimeoutMs;
    for (;;) {
        ERR_clear_error();
        const int result = SSL_connect(ssl_.get());
        if (result == 1) {
            return true;
        }
        const int code = SSL_get_error(ssl_.get(), result);
        if (code == SSL_ERROR_WANT_READ && MillisecondsLeft(readDeadline_) > 0) {
            continue;
        }
        broken_ = true;
        if (code == SSL_ERROR_WANT_READ) {
            error = Fail(MailFailure::Timeout, "no TLS handshake with " + where + " within " +
                                                   std::to_string(timeoutMs / 1000) + " s");
            return false;
        }
        const std::string reason = OpenSslReason();
        if (reason.empty() || innerClosed_) {
            error = Fail(MailFailure::Connection,
                         where + " closed the connection during the TLS handshake" +
                             (reason.empty() ? "" : " (" + reason + ")"));
        } else {
            error = Fail(MailFailure::Tls, "TLS handshake with " + where + " failed: " + reason);
        }
        return false;
    }
}

bool TlsStream::WriteAll(std::string_view bytes, int timeoutMs) {
    if (broken_ || !ssl_) {
        return false;
    }
    writeTimeoutMs_ = timeoutMs;
    while (!bytes.empty()) {
        ERR_clear_error();
        std::size_t written = 0;
        if (SSL_write_ex(ssl_.get(), bytes.data(), bytes.size(), &written) != 1) {
            broken_ = true;
            ERR_clear_error();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

ReadResult TlsStream::ReadSome(char* buffer, std::size_t size, int timeoutMs) {
    if (broken_ || !ssl_) {
        return {ReadStatus::Closed, 0};
    }
    readDeadline_ = SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        ERR_clear_error();
        std::size_t got = 0;
        if (SSL_read_ex(ssl_.get(), buffer, size, &got) == 1) {
            return {ReadStatus::Data, got};
        }
        const int code = SSL_get_error(ssl_.get(), 0);
        if (code == SSL_ERROR_WANT_READ) {
            // A record that was no data (a session ticket), or the time-out.
            if (MillisecondsLeft(readDeadline_) > 0 && !innerClosed_) {
                continue;
            }
            if (!innerClosed_) {
                return {ReadStatus::TimedOut, 0};
            }
        }
        if (code != SSL_ERROR_ZERO_RETURN) {
            broken_ = true;
        }
        ERR_clear_error();
        return {ReadStatus::Closed, 0};
    }
}

bool TlsStream::WaitReadable(int timeoutMs) {
    if (broken_ || !ssl_) {
        return false;
    }
    return SSL_pending(ssl_.get()) > 0 || inner_->WaitReadable(timeoutMs);
}

void TlsStream::Drop() {
    broken_ = true;
    Close();
}

void TlsStream::Close() {
    if (ssl_ && !broken_ && !innerClosed_) {
        // The closing alert, if it goes out at once; nobody waits for the server's.
        writeTimeoutMs_ = 0;
        ERR_clear_error();
        SSL_shutdown(ssl_.get());
        ERR_clear_error();
    }
    broken_ = true;
    ssl_.reset();
    if (inner_) {
        inner_->Close();
    }
}

}  // namespace

struct TlsClient::Context {
    CtxPtr ctx;
    std::string caFile;
    long long caStamp = -1;  // modification time and size of the CA file when it was loaded
    SessionMap sessions;

    // The context for this CA file, made again when the file changed. Null with error set.
    SSL_CTX* For(const std::string& file, MailError& error);
};

namespace {

long long FileStamp(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return -1;
    }
    return static_cast<long long>(info.st_mtim.tv_sec) * 1000000007LL +
           info.st_mtim.tv_nsec / 1000 + static_cast<long long>(info.st_size) * 31;
}

}  // namespace

SSL_CTX* TlsClient::Context::For(const std::string& file, MailError& error) {
    const long long stamp = file.empty() ? 0 : FileStamp(file);
    if (ctx && file == caFile && stamp == caStamp) {
        return ctx.get();
    }
    ctx.reset();
    sessions.clear();
    CtxPtr made(SSL_CTX_new(TLS_client_method()));
    if (!made || SSL_CTX_set_min_proto_version(made.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(made.get()) != 1) {
        error = Fail(MailFailure::Tls, "TLS cannot be set up: " + OpenSslReason());
        return nullptr;
    }
    if (!file.empty() && SSL_CTX_load_verify_locations(made.get(), file.c_str(), nullptr) != 1) {
        const std::string reason = OpenSslReason();
        error = Fail(MailFailure::Settings, "TlsCAFile " + file +
                                                " cannot be read as PEM CA certificates" +
                                                (reason.empty() ? "" : " (" + reason + ")"));
        return nullptr;
    }
    SSL_CTX_set_verify(made.get(), SSL_VERIFY_PEER, NoteVerifyError);
    SSL_CTX_set_read_ahead(made.get(), 1);
    SSL_CTX_set_session_cache_mode(made.get(),
                                   SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(made.get(), KeepNewSession);
    ctx = std::move(made);
    caFile = file;
    caStamp = stamp;
    return ctx.get();
}

TlsClient::TlsClient() : context_(std::make_unique<Context>()) {}

TlsClient::~TlsClient() = default;

void TlsClient::ForgetSessions() {
    context_->sessions.clear();
}

bool TlsClient::Prepare(const TlsPeer& peer, MailError& error) {
    if (!Trim(peer.fingerprint).empty() && !ParseFingerprint(peer.fingerprint)) {
        error = Fail(MailFailure::Settings, "the pinned fingerprint for " + peer.host +
                                                " is not a SHA-256 fingerprint (64 hex digits)");
        return false;
    }
    return context_->For(peer.caFile, error) != nullptr;
}

std::unique_ptr<ByteStream> TlsClient::Start(std::unique_ptr<ByteStream> plain, const TlsPeer& peer,
                                             int timeoutMs, int writeTimeoutMs, TlsInfo& info,
                                             MailError& error) {
    info = TlsInfo{};
    const std::string where = peer.host + ":" + std::to_string(peer.port);
    auto fail = [&](MailError failure) -> std::unique_ptr<ByteStream> {
        error = std::move(failure);
        if (plain) {
            plain->Close();
        }
        return nullptr;
    };
    if (!Prepare(peer, error)) {
        return fail(error);
    }
    const std::optional<std::string> pin = ParseFingerprint(peer.fingerprint);
    SSL_CTX* ctx = context_->ctx.get();

    auto stream = std::make_unique<TlsStream>(std::move(plain));
    if (!stream->Attach(ctx)) {
        error = Fail(MailFailure::Tls, "TLS cannot be set up: " + OpenSslReason());
        stream->Drop();
        return nullptr;
    }
    SSL* ssl = stream->Ssl();
    const PeerName name = PeerNameOf(peer.host);
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    const bool named = name.isAddress
                           ? X509_VERIFY_PARAM_set1_ip_asc(param, name.text.c_str()) == 1
                           : (X509_VERIFY_PARAM_set1_host(param, name.text.c_str(), 0) == 1 &&
                              SSL_ctrl(ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                                       const_cast<char*>(name.text.c_str())) == 1);
    if (!named) {
        ERR_clear_error();
        error = Fail(MailFailure::Settings,
                     "\"" + peer.host + "\" cannot be checked against a certificate");
        stream->Drop();
        return nullptr;
    }
    VerifyNotes notes;
    SSL_set_ex_data(ssl, VerifyNotesIndex(), &notes);
    auto link = std::make_unique<SessionLink>();
    link->sessions = &context_->sessions;
    link->key =
        peer.host + "\n" + std::to_string(peer.port) + "\n" + pin.value_or("") + "\n" + peer.caFile;
    const std::string key = link->key;
    stream->Link(std::move(link));
    auto cached = context_->sessions.find(key);
    if (cached != context_->sessions.end()) {
        SSL_set_session(ssl, cached->second.get());
    }

    const bool shaken = stream->Handshake(timeoutMs, writeTimeoutMs, where, error);
    SSL_set_ex_data(ssl, VerifyNotesIndex(), nullptr);
    X509Ptr cert(shaken ? SSL_get1_peer_certificate(ssl) : nullptr);
    if (!shaken) {
        stream->Drop();
        return nullptr;
    }
    info.used = true;
    info.version = SSL_get_version(ssl);
    info.cipher = SSL_get_cipher_name(ssl);
    info.resumed = SSL_session_reused(ssl) == 1;
    std::string digest;
    if (cert) {
        info.certificate.subject = NameText(X509_get_subject_name(cert.get()));
        info.certificate.issuer = NameText(X509_get_issuer_name(cert.get()));
        info.certificate.notAfter = TimeText(X509_get0_notAfter(cert.get()));
        digest = Sha256Of(cert.get());
        info.certificate.fingerprint = FormatFingerprint(digest);
    }
    // A resumed session was verified when it was made; its result travels with it.
    if (info.resumed && SSL_get_verify_result(ssl) != X509_V_OK) {
        notes.Note(static_cast<int>(SSL_get_verify_result(ssl)));
    }
    info.verified = cert && !notes.Any();
    std::string refusal;
    if (!cert) {
        refusal = "no certificate";
    } else if (pin) {
        info.pinned = HexOf(digest) == *pin;
        if (!info.pinned) {
            refusal = "fingerprint mismatch";
        }
    } else if (!info.verified) {
        refusal = notes.Text();
    }
    if (!refusal.empty()) {
        error = Fail(MailFailure::Certificate,
                     "certificate of " + peer.host + " refused: " + refusal +
                         (info.certificate.fingerprint.empty()
                              ? ""
                              : "; its SHA-256 fingerprint is " + info.certificate.fingerprint));
        stream->Drop();
        return nullptr;
    }
    stream->LinkOf().Accept();
    return stream;
}

}  // namespace corvanteer
