#include "transport/TcpStream.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/FakeMailServer.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

// A loopback port that nothing listens on (bound, then released).
int UnusedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

std::string ReadAll(ByteStream& stream, std::size_t want) {
    std::string text;
    char buffer[256];
    while (text.size() < want) {
        ReadResult got = stream.ReadSome(buffer, sizeof buffer, 2000);
        if (got.status != ReadStatus::Data) {
            break;
        }
        text.append(buffer, got.count);
    }
    return text;
}

TEST(TcpConnector, ConnectsByNumberByNameAndOverIPv6) {
    FakeMailServer v4({ServerScript().SendLine("hello4"), ServerScript().SendLine("hello4")});
    FakeMailServer v6({ServerScript().SendLine("hello6"), ServerScript().SendLine("hello6")},
                      FakeMailServer::Family::IPv6);
    ASSERT_TRUE(v4.Listening());
    TcpConnector connector;
    auto byNumber = connector.Open("127.0.0.1", v4.Port(), 2000);
    ASSERT_NE(byNumber, nullptr);
    EXPECT_EQ(ReadAll(*byNumber, 8), "hello4\r\n");
    byNumber.reset();  // the server serves its connections one after the other
    // "localhost" may resolve to ::1 first, where nothing listens on this port: the next
    // address must be tried.
    auto byName = connector.Open("localhost", v4.Port(), 2000);
    ASSERT_NE(byName, nullptr);
    EXPECT_EQ(ReadAll(*byName, 8), "hello4\r\n");
    if (!v6.Listening()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    for (const char* host : {"::1", "[::1]"}) {
        auto stream = connector.Open(host, v6.Port(), 2000);
        ASSERT_NE(stream, nullptr) << host;
        EXPECT_EQ(ReadAll(*stream, 8), "hello6\r\n");
    }
}

TEST(TcpConnector, RefusedAndUnknownGiveNoStream) {
    TcpConnector connector;
    EXPECT_EQ(connector.Open("127.0.0.1", UnusedPort(), 2000), nullptr);
    EXPECT_EQ(connector.Open("no-such-host.invalid", 110, 2000), nullptr);
    EXPECT_EQ(connector.Open("", 110, 2000), nullptr);
    EXPECT_EQ(connector.Open("127.0.0.1", 70000, 2000), nullptr);
}

TEST(TcpStream, TimeOutThenEndOfStream) {
    FakeMailServer server({ServerScript().Expect("go").Close()});
    TcpConnector connector;
    auto stream = connector.Open("127.0.0.1", server.Port(), 2000);
    ASSERT_NE(stream, nullptr);
    char buffer[16];
    EXPECT_EQ(stream->ReadSome(buffer, sizeof buffer, 50).status, ReadStatus::TimedOut);
    EXPECT_FALSE(stream->WaitReadable(10));
    ASSERT_TRUE(stream->WriteAll("go\r\n", 2000));
    EXPECT_TRUE(stream->WaitReadable(2000));
    EXPECT_EQ(stream->ReadSome(buffer, sizeof buffer, 2000).status, ReadStatus::Closed);
    stream->Close();
    EXPECT_FALSE(stream->WriteAll("more", 100));
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TcpStream, WritingToAResetPeerFailsWithoutSignal) {
    FakeMailServer server({ServerScript().Expect("hello").Reset()});
    TcpConnector connector;
    auto stream = connector.Open("127.0.0.1", server.Port(), 2000);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->WriteAll("hello\r\n", 2000));
    server.Received(0);  // the server has reset the connection
    // SIGPIPE would end this test program here.
    std::string block(1 << 20, 'x');
    bool written = true;
    for (int i = 0; i < 8 && written; ++i) {
        written = stream->WriteAll(block, 2000);
    }
    EXPECT_FALSE(written);
}

}  // namespace
}  // namespace corvanteer
