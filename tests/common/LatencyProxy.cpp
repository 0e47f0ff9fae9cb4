#include "LatencyProxy.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string_view>

namespace corvanteer::testing {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 20;  // how often waits look at the stop flag

int ConnectTo(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        return -1;
    }
    int fd = -1;
    for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd >= 0 && connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

void NoDelay(int fd) {
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

LatencyProxy::LatencyProxy(const std::string& targetHost, int targetPort, int delayMs)
    : targetHost_(targetHost), targetPort_(targetPort), delayMs_(delayMs) {
    if (targetHost != "127.0.0.1" && targetHost != "::1" && targetHost != "localhost") {
        std::abort();
    }
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::abort();
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
}

LatencyProxy::~LatencyProxy() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& carrier : carriers_) {
        carrier.join();
    }
    close(listenFd_);
}

void LatencyProxy::Accept() {
    while (!stop_) {
        pollfd wait{listenFd_, POLLIN, 0};
        if (poll(&wait, 1, kSliceMs) <= 0) {
            continue;
        }
        const int client = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        const int server = ConnectTo(targetHost_, targetPort_);
        if (server < 0) {
            close(client);
            continue;
        }
        NoDelay(client);
        NoDelay(server);
        // Each side's socket is closed by the carrier that reads from it, once both are done:
        // the pair shares the two descriptors through a counted holder.
        auto pair = std::shared_ptr<int[]>(new int[2]{client, server}, [](int* fds) {
            close(fds[0]);
            close(fds[1]);
            delete[] fds;
        });
        std::lock_guard<std::mutex> lock(mutex_);
        carriers_.emplace_back([this, pair] { Carry(pair[0], pair[1], true); });
        carriers_.emplace_back([this, pair] { Carry(pair[1], pair[0], false); });
    }
}

void LatencyProxy::Carry(int from, int to, bool fromClient) {
    struct Piece {
        Clock::time_point due;
        std::string bytes;
    };
    std::deque<Piece> queue;
    bool ended = false;
    char buffer[65536];
    while (!stop_ && (!ended || !queue.empty())) {
        int waitMs = kSliceMs;
        const auto now = Clock::now();
        while (!queue.empty() && queue.front().due <= now) {
            std::string_view rest = queue.front().bytes;
            while (!rest.empty()) {
                const ssize_t sent = send(to, rest.data(), rest.size(), MSG_NOSIGNAL);
                if (sent < 0 && errno == EINTR) {
                    continue;
                }
                if (sent <= 0) {
                    shutdown(from, SHUT_RDWR);
                    return;
                }
                rest.remove_prefix(static_cast<std::size_t>(sent));
            }
            queue.pop_front();
        }
        if (!queue.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                queue.front().due - Clock::now());
            waitMs = std::max<int>(0, std::min<int>(waitMs, static_cast<int>(left.count()) + 1));
        }
        if (ended) {
            std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
            continue;
        }
        pollfd wait{from, POLLIN, 0};
        if (poll(&wait, 1, waitMs) <= 0) {
            continue;
        }
        const ssize_t got = recv(from, buffer, sizeof buffer, 0);
        if (got <= 0) {
            ended = true;
            continue;
        }
        std::string bytes(buffer, static_cast<std::size_t>(got));
        const std::size_t firstEnd = bytes.find("\r\n");
        if (fromClient && firstEnd != std::string::npos && firstEnd + 2 < bytes.size()) {
            ++pipelined_;
        }
        queue.push_back({Clock::now() + std::chrono::milliseconds(delayMs_), std::move(bytes)});
    }
    shutdown(to, SHUT_WR);
}

}  // namespace corvanteer::testing
