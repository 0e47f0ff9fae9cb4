#pragma once

// A ByteStream over a POSIX TCP socket, and the connector that opens one.

#include <memory>
#include <string>

#include "transport/ByteStream.h"

namespace corvanteer {

// Owns one connected socket (close-on-exec, TCP_NODELAY). Reads and writes block in recv
// and send themselves, bounded by the socket's receive and send time-outs, which are set to
// the time-out of the call (and only when it changes), so a reply costs one system call.
// Sends use MSG_NOSIGNAL so a vanished peer never raises SIGPIPE.
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
    // Sets SO_RCVTIMEO or SO_SNDTIMEO to timeoutMs (> 0) unless current already says so.
    bool SetTimeout(int option, int timeoutMs, int& current);

    int fd_ = -1;
    int receiveTimeoutMs_ = -1;  // as last set on the socket; -1: not set
    int sendTimeoutMs_ = -1;
};

// Opens TCP connections over IPv4 or IPv6. A dotted IPv4 address is used as it stands, an
// IPv6 literal (with or without brackets) is taken numerically, anything else is resolved
// with getaddrinfo and each address is tried in turn.
class TcpConnector : public StreamConnector {
public:
    std::unique_ptr<ByteStream> Open(const std::string& host, int port, int timeoutMs) override;
};

}  // namespace corvanteer
