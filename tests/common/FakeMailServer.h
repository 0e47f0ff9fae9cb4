#pragma once

// A scriptable POP3/SMTP server for tests. It listens on a loopback port of its own, serves
// one script per connection in order on a thread of its own, and records every byte it
// receives. Every wait is bounded, and the destructor stops it promptly, so a client that
// misbehaves makes a test fail, never hang.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ssl_ctx_st;  // OpenSSL's SSL_CTX

namespace corvanteer::testing {

// What the server does on one connection, step by step. After the last step it keeps
// reading (and recording) until the client closes, then closes its side; only then does it
// accept the next connection.
class ServerScript {
public:
    enum class Kind {
        Send,
        SendEndlessly,
        Expect,
        ExpectAnyLine,
        ExpectData,
        Pause,
        Silence,
        Close,
        Reset,
        StartTls
    };
    struct Step {
        Kind kind;
        std::string text;  // bytes to send, or the line expected (without CR LF)
        int ms = 0;        // Pause and Silence; the longest SendEndlessly
        int pauseMs = 0;   // between the sends of SendEndlessly
    };

    // Sends bytes as they are / a line followed by CR LF.
    ServerScript& Send(std::string bytes);
    ServerScript& SendLine(std::string_view line);
    // Sends piece again and again, pausing pauseMs between sends, until the client closes
    // the connection or stops reading: an endless or trickling reply. A client still reading
    // after maxMs or 32 MB is noted as a problem (and the sending stops).
    ServerScript& SendEndlessly(std::string piece, int pauseMs = 0, int maxMs = 5000);
    // Sends nothing for ms milliseconds.
    ServerScript& Pause(int ms);
    // Sends each piece in its own packet, pausing pauseMs between them.
    ServerScript& SendInPackets(const std::vector<std::string>& pieces, int pauseMs = 20);
    // Reads one line and checks it equals line (without its CR LF); a mismatch is recorded
    // as a problem and ends the connection.
    ServerScript& Expect(std::string line);
    ServerScript& ExpectAnyLine();
    // Reads SMTP message data up to and including the line ".".
    ServerScript& ExpectData();
    // Expect(line), then SendLine(reply).
    ServerScript& Reply(std::string line, std::string_view reply);
    // Sends nothing until the client closes the connection (at most maxMs).
    ServerScript& Silence(int maxMs = 5000);
    // Closes the connection in an orderly way / abortively (the client sees a reset).
    ServerScript& Close();
    ServerScript& Reset();
    // The server side of a TLS handshake with this certificate (PEM of certificate and key);
    // later steps go over TLS, and Received shows kTlsMarker where it began. maxVersion
    // (an OpenSSL TLS1_x_VERSION) caps the versions offered; 0 leaves OpenSSL's range. A
    // failed handshake is a problem and ends the connection.
    ServerScript& StartTls(std::string pem, int maxVersion = 0);

    const std::vector<Step>& Steps() const { return steps_; }

private:
    std::vector<Step> steps_;
};

// Put into Received where a StartTls step's handshake succeeded; what follows it was sent
// over TLS.
inline constexpr const char* kTlsMarker = "[TLS]";

class FakeMailServer {
public:
    enum class Family { IPv4, IPv6 };

    // Starts listening on 127.0.0.1 (or ::1) and serves the scripts, one connection each.
    // Once all have run, further connections are refused.
    explicit FakeMailServer(std::vector<ServerScript> scripts, Family family = Family::IPv4);
    ~FakeMailServer();
    FakeMailServer(const FakeMailServer&) = delete;
    FakeMailServer& operator=(const FakeMailServer&) = delete;

    // False when the loopback socket could not be opened (no IPv6 on this machine).
    bool Listening() const { return listening_; }
    std::string Host() const { return family_ == Family::IPv6 ? "::1" : "127.0.0.1"; }
    int Port() const { return port_; }

    // Every byte received on connection index (0-based). Waits (at most 5 s) for that
    // connection to end, so close the client first.
    std::string Received(std::size_t index);
    // Mismatched lines, missing connections and the like, in the order they happened.
    std::vector<std::string> Problems();
    // Number of connections accepted so far.
    std::size_t Connections();

private:
    struct Link;  // the connection: its socket and, after StartTls, its TLS state
    void Serve();
    void RunScript(std::size_t index, int fd);
    int AcceptOne();
    // Waits for bytes until deadlineMs from now; records them and adds them to pending.
    // Returns the count, 0 at end of stream, -1 on time-out, stop or error.
    long ReadMore(std::size_t index, Link& link, int deadlineMs, std::string& pending);
    void NoteProblem(std::string text);

    std::vector<ServerScript> scripts_;
    Family family_;
    int listenFd_ = -1;  // owned by the serving thread once it runs
    bool listening_ = false;
    int port_ = 0;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> received_;
    std::vector<bool> ended_;
    std::vector<std::string> problems_;
    std::size_t accepted_ = 0;
    std::atomic<bool> stop_{false};
    std::map<std::string, ::ssl_ctx_st*> contexts_;  // the serving thread's, by certificate

    std::thread thread_;
};

}  // namespace corvanteer::testing
