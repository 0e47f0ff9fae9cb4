#include "transport/TcpStream.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
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

// Connects without blocking beyond timeoutMs; the connected socket is left blocking.
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
    // From here on reads and writes block in the system call itself, bounded by the socket's
    // time-outs: one recv per reply instead of a poll and a recv.
    int off = 0;
    if (result != 0 || ioctl(fd, FIONBIO, &off) != 0) {
        close(fd);
        return -1;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

int MillisecondsLeft(SteadyClock::time_point deadline) {
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
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

bool TcpStream::SetTimeout(int option, int timeoutMs, int& current) {
    if (timeoutMs == current) {
        return true;
    }
    timeval wait{};
    wait.tv_sec = timeoutMs / 1000;
    wait.tv_usec = static_cast<suseconds_t>(timeoutMs % 1000) * 1000;
    if (setsockopt(fd_, SOL_SOCKET, option, &wait, sizeof wait) != 0) {
        current = -1;
        return false;
    }
    current = timeoutMs;
    return true;
}

bool TcpStream::WriteAll(std::string_view bytes, int timeoutMs) {
    // A send that moves no byte for the send time-out fails with EAGAIN; one that moves some
    // returns what it moved, and the rest gets the whole time-out again.
    int flags = MSG_NOSIGNAL;
    if (timeoutMs <= 0) {
        flags |= MSG_DONTWAIT;
    }
    while (!bytes.empty()) {
        if (fd_ < 0 || (timeoutMs > 0 && !SetTimeout(SO_SNDTIMEO, timeoutMs, sendTimeoutMs_))) {
            return false;
        }
        ssize_t sent = send(fd_, bytes.data(), bytes.size(), flags);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
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
    int wait = timeoutMs;
    for (;;) {
        int flags = 0;
        if (wait <= 0) {
            flags = MSG_DONTWAIT;  // a receive time-out of 0 would mean no limit at all
        } else if (!SetTimeout(SO_RCVTIMEO, wait, receiveTimeoutMs_)) {
            return {ReadStatus::Closed, 0};
        }
        ssize_t got = recv(fd_, buffer, size, flags);
        if (got > 0) {
            return {ReadStatus::Data, static_cast<std::size_t>(got)};
        }
        if (got < 0 && errno == EINTR) {
            wait = MillisecondsLeft(deadline);  // a signal: wait for the rest of the time-out
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return {ReadStatus::TimedOut, 0};
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
