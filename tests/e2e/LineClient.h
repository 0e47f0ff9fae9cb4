#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace corvanteer::testing {

// A plain TCP client for talking to the test servers line by line in tests, independent of
// the program's own mail clients. Reads are buffered; every wait is bounded by the time-out.
// Failures (refused connection, time-out, connection closed early) throw std::runtime_error
// with a message saying which.
class LineClient {
public:
    explicit LineClient(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~LineClient();
    LineClient(const LineClient&) = delete;
    LineClient& operator=(const LineClient&) = delete;

    // Connects to host (a name or an IPv4/IPv6 address) and port. Throws on failure.
    void Connect(const std::string& host, int port);
    // As Connect, but false instead of throwing.
    bool TryConnect(const std::string& host, int port);
    bool Connected() const { return fd_ >= 0; }
    void Close();

    void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

    // Sends the bytes as they are / the line followed by CR LF.
    void SendRaw(std::string_view bytes);
    void SendLine(std::string_view line);

    // The next line without its CR LF (a lone LF ends a line too).
    std::string ReadLine();
    // SendLine, then ReadLine.
    std::string Command(std::string_view line);

    // An SMTP reply: lines up to the one whose fourth character is not "-", joined by CR LF.
    std::string ReadSmtpReply();
    // SendLine, then ReadSmtpReply.
    std::string SmtpCommand(std::string_view line);

    // The lines of a POP3 multi-line answer up to the lone ".", with the leading dot of
    // stuffed lines removed, each followed by CR LF: the message as the server stores it.
    std::string ReadDotTerminated();

    // True when the server closes the connection within the time-out without sending more.
    bool WaitForClose();

private:
    // Appends what the socket has to the buffer; false at end of stream. Throws on time-out.
    bool Fill();

    int fd_ = -1;
    std::chrono::milliseconds timeout_;
    std::string buffer_;
    size_t start_ = 0;  // first unread byte of buffer_
};

}  // namespace corvanteer::testing
