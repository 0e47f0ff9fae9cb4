#include "transport/TcpStream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "support/Text.h"
#include "transport/HostNames.h"

namespace corvanteer {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Polls one descriptor for the given events until they occur or timeoutMs has passed,
// resuming after signals. Returns the revents, 0 on time-out, -1 on a poll failure.
int PollFor(int fd, short events, int timeoutMs) {
    const auto deadline =
        SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        int wait = left.count() < 0 ? 0 : static_cast<int>(left.count());
        pollfd entry{fd, events, 0};
        int ready = poll(&entry, 1, wait);
        if (ready > 0) {
            return entry.revents;
        }
        if (ready == 0) {
            return 0;
        }
        if (errno != EINTR) {
            return -1;
        }
    }
}

// Starts a non-blocking connect and waits for it; the socket stays non-blocking.
int ConnectTo(const sockaddr* address, socklen_t length, int timeoutMs) {
    int fd = socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        return -1;
    }
    int result = connect(fd, address, length);
    if (result != 0 && errno == EINPROGRESS) {
        int events = PollFor(fd, POLLOUT, timeoutMs);
        int error = 0;
        socklen_t size = sizeof error;
        if (events > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
            result = 0;
        }
    }
    if (result != 0) {
        close(fd);
        return -1;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int ConnectIPv4(const std::string& dotted, int port, int timeoutMs) {
    // IsIPAddress has already checked four decimal parts 0..255; they are taken as
    // decimal numbers, so "010" is ten and never octal as inet_aton would read it.
    SplitResult parts = SplitString(dotted, ".");
    uint32_t value = 0;
    for (const std::string& part : parts.parts) {
        value = (value << 8) | static_cast<uint32_t>(StrToIntDef(part, 0) & 0xFF);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(value);
    return ConnectTo(reinterpret_cast<const sockaddr*>(&address), sizeof address, timeoutMs);
}

int ConnectResolved(std::string host, int port, int timeoutMs) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host.find(':') != std::string::npos) {
        hints.ai_flags |= AI_NUMERICHOST;
    }
    std::string service = std::to_string(port);
    addrinfo* found = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) {
        return -1;
    }
    int fd = -1;
    for (addrinfo* entry = found; entry != nullptr && fd < 0; entry = entry->ai_next) {
        fd = ConnectTo(entry->ai_addr, entry->ai_addrlen, timeoutMs);
    }
    freeaddrinfo(found);
    return fd;
}

}  // namespace

TcpStream::~TcpStream() {
    Close();
}

bool TcpStream::WriteAll(std::string_view bytes, int timeoutMs) {
    while (!bytes.empty()) {
        if (fd_ < 0) {
            return false;
        }
        ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // POLLERR or POLLHUP also wake us; the next send then reports the error.
            if (PollFor(fd_, POLLOUT, timeoutMs) > 0) {
                continue;
            }
        }
        return false;
    }
    return true;
}

ReadResult TcpStream::ReadSome(char* buffer, std::size_t size, int timeoutMs) {
    if (fd_ < 0) {
        return {ReadStatus::Closed, 0};
    }
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        int events = PollFor(fd_, POLLIN, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (events == 0) {
            return {ReadStatus::TimedOut, 0};
        }
        if (events < 0) {
            return {ReadStatus::Closed, 0};
        }
        ssize_t got = recv(fd_, buffer, size, 0);
        if (got > 0) {
            return {ReadStatus::Data, static_cast<std::size_t>(got)};
        }
        if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
            continue;  // woken without data after all; wait for the rest of the time-out
        }
        return {ReadStatus::Closed, 0};
    }
}

bool TcpStream::WaitReadable(int timeoutMs) {
    return fd_ >= 0 && PollFor(fd_, POLLIN, timeoutMs) > 0;
}

void TcpStream::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

std::unique_ptr<ByteStream> TcpConnector::Open(const std::string& host, int port, int timeoutMs) {
    if (port < 0 || port > 65535) {
        return nullptr;
    }
    int fd = IsIPAddress(host) ? ConnectIPv4(host, port, timeoutMs)
                               : ConnectResolved(host, port, timeoutMs);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<TcpStream>(fd);
}

}  // namespace corvanteer
