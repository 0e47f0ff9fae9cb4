#include "e2e/LineClient.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace corvanteer::testing {

namespace {

// Waits until fd is ready for events or the time-out passes; false on time-out.
bool WaitFor(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            throw std::runtime_error(std::string("poll failed: ") + ::strerror(errno));
        }
        return ready > 0;
    }
}

// A connected socket, or -1 with reason set.
int ConnectOne(const addrinfo& address, std::chrono::milliseconds timeout, std::string& reason) {
    const int fd = ::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            address.ai_protocol);
    if (fd < 0) {
        reason = ::strerror(errno);
        return -1;
    }
    int error = 0;
    if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = errno;
        if (error == EINPROGRESS) {
            if (!WaitFor(fd, POLLOUT, timeout)) {
                error = ETIMEDOUT;
            } else {
                socklen_t length = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
            }
        }
    }
    if (error != 0) {
        reason = ::strerror(error);
        ::close(fd);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

LineClient::LineClient(std::chrono::milliseconds timeout) : timeout_(timeout) {}

LineClient::~LineClient() {
    Close();
}

bool LineClient::TryConnect(const std::string& host, int port) {
    try {
        Connect(host, port);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

void LineClient::Connect(const std::string& host, int port) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (status != 0) {
        throw std::runtime_error("cannot resolve " + host + ": " + ::gai_strerror(status));
    }
    std::string reason = "no address";
    for (addrinfo* address = found; address != nullptr; address = address->ai_next) {
        fd_ = ConnectOne(*address, timeout_, reason);
        if (fd_ >= 0) {
            break;
        }
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) {
        throw std::runtime_error("cannot connect to " + host + ":" + service + ": " + reason);
    }
}

void LineClient::Close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
    start_ = 0;
}

void LineClient::SendRaw(std::string_view bytes) {
    if (fd_ < 0) {
        throw std::runtime_error("LineClient: not connected");
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EAGAIN) {
            if (!WaitFor(fd_, POLLOUT, timeout_)) {
                throw std::runtime_error("LineClient: time-out while sending");
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            throw std::runtime_error(std::string("LineClient: send failed: ") + ::strerror(errno));
        }
        done += static_cast<size_t>(n);
    }
}

void LineClient::SendLine(std::string_view line) {
    std::string data(line);
    data += "\r\n";
    SendRaw(data);
}

bool LineClient::Fill() {
    if (fd_ < 0) {
        throw std::runtime_error("LineClient: not connected");
    }
    // Drop what has been read before the buffer grows again.
    if (start_ > 0 && start_ * 2 >= buffer_.size()) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            buffer_.append(chunk, static_cast<size_t>(n));
            return true;
        }
        if (n == 0) {
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN) {
            throw std::runtime_error(std::string("LineClient: receive failed: ") +
                                     ::strerror(errno));
        }
        if (!WaitFor(fd_, POLLIN, timeout_)) {
            throw std::runtime_error("LineClient: no answer within " +
                                     std::to_string(timeout_.count()) + " ms");
        }
    }
}

std::string LineClient::ReadLine() {
    size_t searched = 0;  // bytes after start_ known to hold no line feed
    for (;;) {
        const size_t end = buffer_.find('\n', start_ + searched);
        if (end != std::string::npos) {
            size_t lineEnd = end;
            if (lineEnd > start_ && buffer_[lineEnd - 1] == '\r') {
                --lineEnd;
            }
            std::string line = buffer_.substr(start_, lineEnd - start_);
            start_ = end + 1;
            return line;
        }
        searched = buffer_.size() - start_;
        if (!Fill()) {
            throw std::runtime_error("LineClient: connection closed; partial line \"" +
                                     buffer_.substr(start_) + "\"");
        }
    }
}

std::string LineClient::Command(std::string_view line) {
    SendLine(line);
    return ReadLine();
}

std::string LineClient::ReadSmtpReply() {
    std::string reply;
    for (;;) {
        std::string line = ReadLine();
        const bool more = line.size() > 3 && line[3] == '-';
        reply += line;
        if (!more) {
            return reply;
        }
        reply += "\r\n";
    }
}

std::string LineClient::SmtpCommand(std::string_view line) {
    SendLine(line);
    return ReadSmtpReply();
}

std::string LineClient::ReadDotTerminated() {
    std::string text;
    for (;;) {
        std::string line = ReadLine();
        if (line == ".") {
            return text;
        }
        if (!line.empty() && line[0] == '.') {
            line.erase(0, 1);
        }
        text += line;
        text += "\r\n";
    }
}

bool LineClient::WaitForClose() {
    if (fd_ < 0) {
        throw std::runtime_error("LineClient: not connected");
    }
    if (start_ < buffer_.size() || !WaitFor(fd_, POLLIN, timeout_)) {
        return false;
    }
    char chunk[4096];
    ssize_t n = 0;
    do {
        n = ::recv(fd_, chunk, sizeof chunk, 0);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        buffer_.append(chunk, static_cast<size_t>(n));
        return false;
    }
    return n == 0 || errno == ECONNRESET;
}

}  // namespace corvanteer::testing
