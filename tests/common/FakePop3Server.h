#pragma once

// A POP3 server that keeps a mailbox, for tests of the client and of whole scans against a
// server that takes commands as they come (pipelined or not). It listens on a loopback port
// of its own and serves one connection at a time on a thread of its own; faults are chosen
// per test: replies split into pieces and sent late, a connection dropped after so many
// replies, DELE carried out at once, sizes that LIST gets wrong.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvanteer::testing {

class FakePop3Server {
public:
    struct Options {
        std::string user = "alice";
        std::string password = "secret";
        bool pipelining = true;  // announced in CAPA (pipelined commands are taken anyway)
        bool uidl = true;        // UIDL answered, else refused
        // DELE removes the message for good at once, as servers do that delete on DELE (or on
        // download) instead of at QUIT.
        bool deleteAtOnce = false;
        // The first connection is closed after this many replies to TOP, RETR and DELE (the
        // reply itself sent whole); -1: never.
        int dropAfter = -1;
        // Replies go out in pieces of 1 to this many bytes cut at random places, each piece
        // after pauseMs; 0: whole. seed makes the cuts the same on every run.
        std::size_t pieceBytes = 0;
        int pauseMs = 0;
        unsigned seed = 1;
        // What LIST says of a message instead of its size, by message number (1-based).
        std::map<int, int64_t> listedSizes;
    };

    // The mailbox holds the messages (raw text, lines ended by CR LF), oldest first.
    FakePop3Server(std::vector<std::string> messages, Options options);
    ~FakePop3Server();
    FakePop3Server(const FakePop3Server&) = delete;
    FakePop3Server& operator=(const FakePop3Server&) = delete;

    std::string Host() const { return "127.0.0.1"; }
    int Port() const { return port_; }

    // The messages the mailbox holds now, oldest first.
    std::vector<std::string> Messages();
    // Every command line received, in order, over all connections; "CONNECT" where each
    // connection began.
    std::vector<std::string> Commands();
    // Commands that came while the reply to an earlier one was still owed: more than zero
    // means the client pipelined.
    int CommandsAhead();

private:
    struct Stored {
        std::string text;
        std::string uid;
        bool gone = false;
    };
    void Serve();
    void Session(int fd, bool first);
    // The reply to one command line, and whether the connection ends after it.
    std::string Answer(const std::string& line, std::vector<std::size_t>& view,
                       std::vector<bool>& marked, bool& authorised, bool& quit);
    bool SendReply(int fd, const std::string& reply);

    Options options_;
    int listenFd_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<Stored> mailbox_;
    std::vector<std::string> commands_;
    int ahead_ = 0;
    unsigned random_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace corvanteer::testing
