#pragma once

// A TCP proxy on a loopback port that adds a fixed delay each way between a client and a
// server on this machine: a mailbox "far away" for tests and benches. Bytes keep their order
// and are passed on delayMs after they arrived; the connection to the server is made for each
// client that connects.

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace corvanteer::testing {

class LatencyProxy {
public:
    // targetHost must be a loopback address ("127.0.0.1", "::1" or "localhost"); anything
    // else aborts (this is no tool for reaching other machines).
    LatencyProxy(const std::string& targetHost, int targetPort, int delayMs);
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }
    // How many times a client's bytes came with more than one line in one piece: commands
    // sent without waiting for each one's reply.
    int PipelinedPieces() const { return pipelined_; }

private:
    void Accept();
    // Passes what arrives on from to to, each piece delayMs after it came; then ends to's
    // sending side.
    void Carry(int from, int to, bool fromClient);

    std::string targetHost_;
    int targetPort_;
    int delayMs_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> pipelined_{0};
    std::mutex mutex_;
    std::list<std::thread> carriers_;
    std::thread acceptor_;
};

}  // namespace corvanteer::testing
