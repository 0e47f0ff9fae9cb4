#pragma once

// The byte stream the mail clients talk through, and the connector that opens one. The TCP
// stream is the one in use; a TLS stream can take its place later, and tests can hand in
// their own connector.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace corvanteer {

enum class ReadStatus {
    Data,      // count bytes were read
    TimedOut,  // nothing arrived within the time-out; the stream is still usable
    Closed,    // the peer closed the connection, or the connection failed
};

struct ReadResult {
    ReadStatus status = ReadStatus::Closed;
    std::size_t count = 0;
};

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Writes every byte. Gives up when no byte could be written for timeoutMs, or on any
    // error (reset, broken pipe); never raises a signal. False means the stream is unusable.
    virtual bool WriteAll(std::string_view bytes, int timeoutMs) = 0;

    // Waits up to timeoutMs for data, then reads what is there, at most size bytes.
    virtual ReadResult ReadSome(char* buffer, std::size_t size, int timeoutMs) = 0;

    // True when a read would not block (data, end of stream or an error is pending).
    virtual bool WaitReadable(int timeoutMs) = 0;

    // Ends the connection; later calls fail. Safe to call more than once.
    virtual void Close() = 0;
};

class StreamConnector {
public:
    virtual ~StreamConnector() = default;

    // Opens a stream to host and port. host is a dotted IPv4 address (as IsIPAddress
    // decides), an IPv6 literal or a host name. timeoutMs bounds each connection attempt.
    // Returns null when no connection could be made.
    virtual std::unique_ptr<ByteStream> Open(const std::string& host, int port, int timeoutMs) = 0;
};

}  // namespace corvanteer
