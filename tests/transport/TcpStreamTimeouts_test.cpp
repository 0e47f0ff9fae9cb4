// The time-outs of TcpStream's blocking reads and writes: each call gets its own, a
// time-out of 0 never blocks, and a peer that stops reading cannot hold a write forever.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A loopback listener whose connections are accepted on demand and never read from unless
// the test says so.
class SilentPeer {
public:
    SilentPeer() {
        listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
            listen(listener_, 4) == 0 &&
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~SilentPeer() {
        if (peer_ >= 0) {
            close(peer_);
        }
        close(listener_);
    }
    SilentPeer(const SilentPeer&) = delete;
    SilentPeer& operator=(const SilentPeer&) = delete;

    int Port() const { return port_; }
    bool Accept() {
        peer_ = accept(listener_, nullptr, nullptr);
        return peer_ >= 0;
    }
    bool Send(const std::string& bytes) {
        return send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

private:
    int listener_ = -1;
    int peer_ = -1;
    int port_ = 0;
};

long long MillisecondsSince(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start)
        .count();
}

TEST(TcpStreamTimeouts, EachReadWaitsItsOwnTimeOut) {
    SilentPeer peer;
    ASSERT_NE(0, peer.Port());
    TcpConnector connector;
    auto stream = connector.Open("127.0.0.1", peer.Port(), 2000);
    ASSERT_NE(nullptr, stream);
    ASSERT_TRUE(peer.Accept());
    char buffer[64];

    // A zero time-out looks and returns; it must not wait without limit.
    auto start = SteadyClock::now();
    EXPECT_EQ(ReadStatus::TimedOut, stream->ReadSome(buffer, sizeof buffer, 0).status);
    EXPECT_LT(MillisecondsSince(start), 1000);

    start = SteadyClock::now();
    EXPECT_EQ(ReadStatus::TimedOut, stream->ReadSome(buffer, sizeof buffer, 300).status);
    EXPECT_GE(MillisecondsSince(start), 250);

    // A shorter time-out after a longer one is the shorter one.
    start = SteadyClock::now();
    EXPECT_EQ(ReadStatus::TimedOut, stream->ReadSome(buffer, sizeof buffer, 30).status);
    EXPECT_LT(MillisecondsSince(start), 250);

    ASSERT_TRUE(peer.Send("+OK\r\n"));
    ReadResult got = stream->ReadSome(buffer, sizeof buffer, 2000);
    ASSERT_EQ(ReadStatus::Data, got.status);
    EXPECT_EQ("+OK\r\n", std::string(buffer, got.count));
    // Data already there is read even with a zero time-out.
    ASSERT_TRUE(peer.Send("more"));
    ASSERT_TRUE(stream->WaitReadable(2000));
    got = stream->ReadSome(buffer, sizeof buffer, 0);
    ASSERT_EQ(ReadStatus::Data, got.status);
    EXPECT_EQ("more", std::string(buffer, got.count));
}

TEST(TcpStreamTimeouts, WriteToAPeerThatStopsReadingGivesUp) {
    SilentPeer peer;
    ASSERT_NE(0, peer.Port());
    TcpConnector connector;
    auto stream = connector.Open("127.0.0.1", peer.Port(), 2000);
    ASSERT_NE(nullptr, stream);
    ASSERT_TRUE(peer.Accept());

    // Far more than both sockets' buffers hold; the peer never reads.
    const std::string block(64 << 20, 'x');
    const auto start = SteadyClock::now();
    EXPECT_FALSE(stream->WriteAll(block, 200));
    EXPECT_LT(MillisecondsSince(start), 10000);
    // A zero time-out does not block either.
    EXPECT_FALSE(stream->WriteAll(block, 0));
}

}  // namespace
}  // namespace corvanteer
