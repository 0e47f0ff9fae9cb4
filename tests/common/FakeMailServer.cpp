#include "FakeMailServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <utility>

namespace corvanteer::testing {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kSliceMs = 20;      // how often waits look at the stop flag
constexpr int kStepMs = 5000;     // longest wait for an expected line or the data
constexpr int kAcceptMs = 10000;  // longest wait for the next connection
constexpr int kDrainMs = 5000;    // longest wait for the client to close after a script
constexpr std::size_t kEndlessBytes = 32 * 1024 * 1024;  // the most an endless reply sends

bool SendPlain(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// The server's TLS context for one certificate; null when the PEM or OpenSSL fails.
SSL_CTX* ServerContext(const std::string& pem, int maxVersion) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    BIO* in = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* cert = in != nullptr ? PEM_read_bio_X509(in, nullptr, nullptr, nullptr) : nullptr;
    EVP_PKEY* key =
        cert != nullptr ? PEM_read_bio_PrivateKey(in, nullptr, nullptr, nullptr) : nullptr;
    bool ok = ctx != nullptr && key != nullptr && SSL_CTX_use_certificate(ctx, cert) == 1 &&
              SSL_CTX_use_PrivateKey(ctx, key) == 1;
    if (ok && maxVersion != 0) {
        // Old versions need the lowest security level to be offered at all.
        SSL_CTX_set_security_level(ctx, 0);
        ok = SSL_CTX_set_min_proto_version(ctx, TLS1_VERSION) == 1 &&
             SSL_CTX_set_max_proto_version(ctx, maxVersion) == 1 &&
             SSL_CTX_set_cipher_list(ctx, "DEFAULT:@SECLEVEL=0") == 1;
    }
    X509_free(cert);
    EVP_PKEY_free(key);
    BIO_free(in);
    if (!ok) {
        SSL_CTX_free(ctx);
        ERR_clear_error();
        return nullptr;
    }
    return ctx;
}

}  // namespace

struct FakeMailServer::Link {
    int fd = -1;
    SSL* ssl = nullptr;

    ~Link() { SSL_free(ssl); }
    bool Send(std::string_view bytes) {
        if (ssl == nullptr) {
            return SendPlain(fd, bytes);
        }
        std::size_t written = 0;
        while (!bytes.empty()) {
            if (SSL_write_ex(ssl, bytes.data(), bytes.size(), &written) != 1) {
                ERR_clear_error();
                return false;
            }
            bytes.remove_prefix(written);
        }
        return true;
    }
};

ServerScript& ServerScript::StartTls(std::string pem, int maxVersion) {
    steps_.push_back({Kind::StartTls, std::move(pem), maxVersion});
    return *this;
}

ServerScript& ServerScript::Send(std::string bytes) {
    steps_.push_back({Kind::Send, std::move(bytes)});
    return *this;
}

ServerScript& ServerScript::SendLine(std::string_view line) {
    return Send(std::string(line) + "\r\n");
}

ServerScript& ServerScript::SendEndlessly(std::string piece, int pauseMs, int maxMs) {
    steps_.push_back({Kind::SendEndlessly, std::move(piece), maxMs, pauseMs});
    return *this;
}

ServerScript& ServerScript::Pause(int ms) {
    steps_.push_back({Kind::Pause, {}, ms});
    return *this;
}

ServerScript& ServerScript::SendInPackets(const std::vector<std::string>& pieces, int pauseMs) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            steps_.push_back({Kind::Pause, {}, pauseMs});
        }
        Send(pieces[i]);
    }
    return *this;
}

ServerScript& ServerScript::Expect(std::string line) {
    steps_.push_back({Kind::Expect, std::move(line)});
    return *this;
}

ServerScript& ServerScript::ExpectAnyLine() {
    steps_.push_back({Kind::ExpectAnyLine, {}});
    return *this;
}

ServerScript& ServerScript::ExpectData() {
    steps_.push_back({Kind::ExpectData, {}});
    return *this;
}

ServerScript& ServerScript::Reply(std::string line, std::string_view reply) {
    return Expect(std::move(line)).SendLine(reply);
}

ServerScript& ServerScript::Silence(int maxMs) {
    steps_.push_back({Kind::Silence, {}, maxMs});
    return *this;
}

ServerScript& ServerScript::Close() {
    steps_.push_back({Kind::Close, {}});
    return *this;
}

ServerScript& ServerScript::Reset() {
    steps_.push_back({Kind::Reset, {}});
    return *this;
}

FakeMailServer::FakeMailServer(std::vector<ServerScript> scripts, Family family)
    : scripts_(std::move(scripts)),
      family_(family),
      received_(scripts_.size()),
      ended_(scripts_.size(), false) {
    const int domain = family == Family::IPv6 ? AF_INET6 : AF_INET;
    listenFd_ = socket(domain, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) {
        return;
    }
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (family == Family::IPv6) {
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    } else {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    }
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
        listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        close(listenFd_);
        listenFd_ = -1;
        return;
    }
    listening_ = true;
    port_ = ntohs(family == Family::IPv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    thread_ = std::thread([this] { Serve(); });
}

FakeMailServer::~FakeMailServer() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    for (auto& [pem, ctx] : contexts_) {
        SSL_CTX_free(ctx);
    }
    if (listenFd_ >= 0) {
        close(listenFd_);
    }
}

void FakeMailServer::NoteProblem(std::string text) {
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.push_back(std::move(text));
}

std::vector<std::string> FakeMailServer::Problems() {
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

std::size_t FakeMailServer::Connections() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
}

std::string FakeMailServer::Received(std::size_t index) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (index >= received_.size()) {
        return {};
    }
    changed_.wait_for(lock, std::chrono::seconds(5), [&] { return ended_[index]; });
    return received_[index];
}

int FakeMailServer::AcceptOne() {
    for (int waited = 0; waited < kAcceptMs && !stop_; waited += kSliceMs) {
        pollfd entry{listenFd_, POLLIN, 0};
        if (poll(&entry, 1, kSliceMs) > 0) {
            int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                int on = 1;
                setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                // A client that stops reading must not hold a send (and the test) forever.
                timeval limit{kStepMs / 1000, 0};
                setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
                return fd;
            }
        }
    }
    return -1;
}

long FakeMailServer::ReadMore(std::size_t index, Link& link, int deadlineMs, std::string& pending) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(deadlineMs);
    while (!stop_ && SteadyClock::now() < deadline) {
        if (link.ssl == nullptr || SSL_pending(link.ssl) == 0) {
            pollfd entry{link.fd, POLLIN, 0};
            if (poll(&entry, 1, kSliceMs) <= 0) {
                continue;
            }
        }
        char buffer[16384];
        ssize_t got = 0;
        if (link.ssl != nullptr) {
            std::size_t read = 0;
            if (SSL_read_ex(link.ssl, buffer, sizeof buffer, &read) == 1) {
                got = static_cast<ssize_t>(read);
            } else {
                const int code = SSL_get_error(link.ssl, 0);
                ERR_clear_error();
                if (code == SSL_ERROR_WANT_READ) {
                    continue;  // a record that was no data, or not whole yet
                }
                return 0;  // closed, or broken for good: the connection is over
            }
        } else {
            got = recv(link.fd, buffer, sizeof buffer, 0);
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got == 0 ? 0 : -1;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        std::lock_guard<std::mutex> lock(mutex_);
        received_[index].append(buffer, static_cast<std::size_t>(got));
        return got;
    }
    return -1;
}

void FakeMailServer::RunScript(std::size_t index, int fd) {
    Link link;
    link.fd = fd;
    std::string pending;  // received but not yet consumed by an Expect step
    bool open = true;
    auto fail = [&](const std::string& what) {
        NoteProblem("connection " + std::to_string(index) + ": " + what);
        open = false;
    };
    // Consumes pending up to and including the end marker, reading more as needed.
    auto takeUntil = [&](std::string_view marker, std::string& taken) {
        for (;;) {
            std::size_t at = pending.find(marker);
            if (at != std::string::npos) {
                taken = pending.substr(0, at + marker.size());
                pending.erase(0, at + marker.size());
                return true;
            }
            if (ReadMore(index, link, kStepMs, pending) <= 0) {
                return false;
            }
        }
    };
    for (const ServerScript::Step& step : scripts_[index].Steps()) {
        if (!open || stop_) {
            break;
        }
        std::string taken;
        switch (step.kind) {
            case ServerScript::Kind::Send:
                if (!link.Send(step.text)) {
                    fail("send failed");
                }
                break;
            case ServerScript::Kind::StartTls: {
                // One context per certificate for the server's life, so a client can resume
                // the session of an earlier connection.
                SSL_CTX*& ctx = contexts_[step.text + "\n" + std::to_string(step.ms)];
                if (ctx == nullptr) {
                    ctx = ServerContext(step.text, step.ms);
                }
                link.ssl = ctx != nullptr ? SSL_new(ctx) : nullptr;
                // A client that never answers must not hold the handshake for ever.
                timeval limit{kStepMs / 1000, 0};
                setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
                if (link.ssl == nullptr || SSL_set_fd(link.ssl, fd) != 1 ||
                    SSL_accept(link.ssl) != 1) {
                    ERR_clear_error();
                    fail("TLS handshake failed");
                    break;
                }
                std::lock_guard<std::mutex> lock(mutex_);
                received_[index] += kTlsMarker;
                break;
            }
            case ServerScript::Kind::SendEndlessly: {
                // Ends when a send fails: the client has closed (or stopped reading).
                const auto until = SteadyClock::now() + std::chrono::milliseconds(step.ms);
                std::size_t sent = 0;
                while (link.Send(step.text)) {
                    sent += step.text.size();
                    if (stop_ || SteadyClock::now() >= until || sent >= kEndlessBytes) {
                        fail("the client was still reading the endless reply after " +
                             std::to_string(sent) + " bytes");
                        break;
                    }
                    if (step.pauseMs > 0) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(step.pauseMs));
                    }
                }
                break;
            }
            case ServerScript::Kind::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                break;
            case ServerScript::Kind::Expect:
            case ServerScript::Kind::ExpectAnyLine:
                if (!takeUntil("\n", taken)) {
                    fail("no line came, expected \"" + step.text + "\"");
                } else if (step.kind == ServerScript::Kind::Expect && taken != step.text + "\r\n") {
                    fail("expected \"" + step.text + "\", got \"" + taken + "\"");
                }
                break;
            case ServerScript::Kind::ExpectData: {
                // Data without lines is the final "." alone.
                bool ended = false;
                for (;;) {
                    std::size_t at = pending.find("\r\n.\r\n");
                    if (pending.rfind(".\r\n", 0) == 0 || at != std::string::npos) {
                        pending.erase(0, pending.rfind(".\r\n", 0) == 0 ? 3 : at + 5);
                        ended = true;
                        break;
                    }
                    if (ReadMore(index, link, kStepMs, pending) <= 0) {
                        break;
                    }
                }
                if (!ended) {
                    fail("message data did not end");
                }
                break;
            }
            case ServerScript::Kind::Silence: {
                const auto until = SteadyClock::now() + std::chrono::milliseconds(step.ms);
                while (!stop_ && SteadyClock::now() < until) {
                    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        until - SteadyClock::now());
                    if (ReadMore(index, link, static_cast<int>(left.count()), pending) == 0) {
                        break;  // the client gave up and closed
                    }
                }
                break;
            }
            case ServerScript::Kind::Close:
                open = false;
                break;
            case ServerScript::Kind::Reset: {
                linger abort{1, 0};
                setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
                open = false;
                break;
            }
        }
    }
    if (open) {
        // Keep recording until the client closes, so a test sees everything it sent.
        const auto until = SteadyClock::now() + std::chrono::milliseconds(kDrainMs);
        while (!stop_ && SteadyClock::now() < until) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now());
            if (ReadMore(index, link, static_cast<int>(left.count()), pending) == 0) {
                break;
            }
        }
    }
    close(fd);
}

void FakeMailServer::Serve() {
    // OpenSSL writes to the socket without MSG_NOSIGNAL; a client that hung up must make
    // those writes fail here, not end the test program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    for (std::size_t index = 0; index < scripts_.size() && !stop_; ++index) {
        int fd = AcceptOne();
        if (fd < 0) {
            if (!stop_) {
                NoteProblem("connection " + std::to_string(index) + " never came");
            }
            break;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++accepted_;
        }
        RunScript(index, fd);
        std::lock_guard<std::mutex> lock(mutex_);
        ended_[index] = true;
        changed_.notify_all();
    }
    // No more scripts: refuse further connections.
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < ended_.size(); ++i) {
        ended_[i] = true;
    }
    close(listenFd_);
    listenFd_ = -1;
    changed_.notify_all();
}

}  // namespace corvanteer::testing
