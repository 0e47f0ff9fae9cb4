#pragma once

// A ByteStream over a POSIX TCP socket, and the connector that opens one.

#include <memory>
#include <string>

#include "transport/ByteStream.h"

namespace corvanteer {

// Owns one connected, non-blocking socket (close-on-exec, TCP_NODELAY). Every wait is a
// poll with a time-out; sends use MSG_NOSIGNAL so a vanished peer never raises SIGPIPE.
class TcpStream : public ByteStream {
public:
    explicit TcpStream(int fd) : fd_(fd) {}
    ~TcpStream() override;
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    bool WriteAll(std::string_view bytes, int timeoutMs) override;
    ReadResult ReadSome(char* buffer, std::size_t size, int timeoutMs) override;
    bool WaitReadable(int timeoutMs) override;
    void Close() override;

private:
    int fd_ = -1;
};

// Opens TCP connections over IPv4 or IPv6. A dotted IPv4 address is used as it stands, an
// IPv6 literal (with or without brackets) is taken numerically, anything else is resolved
// with getaddrinfo and each address is tried in turn.
class TcpConnector : public StreamConnector {
public:
    std::unique_ptr<ByteStream> Open(const std::string& host, int port, int timeoutMs) override;
};

}  // namespace corvanteer
