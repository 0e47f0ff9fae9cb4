#include "app/UpdateCheck.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <thread>

#include "common/TempDir.h"
#include "support/Files.h"
#include "transport/CurlHttpClient.h"

namespace corvanteer::testing {
namespace {

using Responses = std::map<std::string, std::string>;

// A minimal HTTP/1.0 server on a loopback port picked by the system: answers each GET from a
// table of path -> full response, 404 for anything else.
class LoopbackHttpServer {
public:
    explicit LoopbackHttpServer(std::map<std::string, std::string> responses)
        : responses_(std::move(responses)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof(address);
        if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listen_, 8) != 0 ||
            ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackHttpServer() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    void Serve() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                continue;
            }
            int client = ::accept(listen_, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                pollfd c{client, POLLIN, 0};
                if (::poll(&c, 1, 2000) <= 0) {
                    break;
                }
                ssize_t n = ::read(client, buffer, sizeof(buffer));
                if (n <= 0) {
                    break;
                }
                request.append(buffer, static_cast<size_t>(n));
            }
            std::string path = request.substr(4, request.find(' ', 4) - 4);
            auto it = responses_.find(path);
            std::string response = it != responses_.end()
                                       ? it->second
                                       : "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n";
            ssize_t ignored = ::write(client, response.data(), response.size());
            (void)ignored;
            ::close(client);
        }
    }

    std::map<std::string, std::string> responses_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

std::string Ok(const std::string& body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(VersionListTest, FirstLineOfTheProductWins) {
    EXPECT_EQ(PublishedVersion({"otherapp 9.9", "  CORVANTEER  1.6 ", "corvanteer 2.0"}), "1.6");
    EXPECT_EQ(PublishedVersion({"otherapp 9.9", ""}), "unknown");
    EXPECT_EQ(PublishedVersion({}), "unknown");
    EXPECT_EQ(PublishedVersion({"corvanteer"}), "");
}

TEST(VersionCompareTest, ComparesAsManyPartsAsThePublishedVersionHas) {
    EXPECT_TRUE(IsNewerVersion("1.6", "1.5.2.55"));
    EXPECT_FALSE(IsNewerVersion("1.5.2", "1.5.2.55"));
    EXPECT_FALSE(IsNewerVersion("1.5.2.x", "1.5.2.0"));
    EXPECT_TRUE(IsNewerVersion("1.5.2.x", "1.5.1.9"));
    EXPECT_FALSE(IsNewerVersion("1.5.2.55", "1.5.2.55"));
    EXPECT_FALSE(IsNewerVersion("1.4.9", "1.5.0"));
    EXPECT_TRUE(IsNewerVersion("1.5.2.56", "1.5.2"));  // a missing current part counts 0
    EXPECT_TRUE(IsNewerVersion("10.0", "9.9"));        // numbers, not text
    EXPECT_FALSE(IsNewerVersion("unknown", "1.0"));
    EXPECT_FALSE(IsNewerVersion("", "1.0"));
    EXPECT_FALSE(IsNewerVersion("2.0", ""));
}

TEST(UpdateMessageTest, Texts) {
    EXPECT_EQ(UpdateMessage("1.6", true), "A newer version has been found (v1.6)");
    EXPECT_EQ(UpdateMessage("1.0.0.1", false),
              "The latest version is 1.0.0.1.\r\nYou already have the latest version.");
    EXPECT_EQ(UpdateMessage("unknown", false), "The latest version is unknown.");
    EXPECT_EQ(WhatsNewUrl("http://example.test/"), "http://example.test/corvant/whatsnew.shtml");
}

class UpdateCheckTest : public ::testing::Test {
protected:
    TempDir dir;
    AppPaths paths = AppPaths::ForDirectory(dir.Path());
    CurlHttpClient http;
};

TEST_F(UpdateCheckTest, NewerEqualAndMissing) {
    LoopbackHttpServer server(Responses{{"/upgrades.txt", Ok("other 3.0\r\ncorvanteer 1.6\r\n")}});
    UpdateCheckResult newer = CheckForUpdate(http, paths, "1.5.2.55", server.Base(), 5000);
    EXPECT_EQ(newer.fetchError, "");
    EXPECT_EQ(newer.published, "1.6");
    EXPECT_TRUE(newer.newer);
    EXPECT_EQ(newer.message, "A newer version has been found (v1.6)");
    EXPECT_FALSE(FileExists(paths.appDir + "temp.txt"));

    UpdateCheckResult same = CheckForUpdate(http, paths, "1.6", server.Base(), 5000);
    EXPECT_FALSE(same.newer);
    EXPECT_EQ(same.message, "The latest version is 1.6.\r\nYou already have the latest version.");
}

TEST_F(UpdateCheckTest, RedirectsAreFollowed) {
    LoopbackHttpServer server(Responses{{"/upgrades.txt",
                                         "HTTP/1.0 302 Found\r\nLocation: /v2/upgrades.txt\r\n"
                                         "Content-Length: 0\r\n\r\n"},
                                        {"/v2/upgrades.txt", Ok("corvanteer 9.0\n")}});
    UpdateCheckResult result = CheckForUpdate(http, paths, "1.0.0.1", server.Base(), 5000);
    EXPECT_EQ(result.published, "9.0");
    EXPECT_TRUE(result.newer);
}

TEST_F(UpdateCheckTest, ErrorsGiveUnknown) {
    // A 404 page that happens to name the product is no version list.
    LoopbackHttpServer server(Responses{{"/upgrades.txt",
                                         "HTTP/1.0 404 Not Found\r\nContent-Length: 15"
                                         "\r\n\r\ncorvanteer 9.9\n"}});
    UpdateCheckResult notFound = CheckForUpdate(http, paths, "1.0.0.1", server.Base(), 5000);
    EXPECT_EQ(notFound.published, "unknown");
    EXPECT_EQ(notFound.message, "The latest version is unknown.");
    EXPECT_THAT(notFound.fetchError, ::testing::HasSubstr("404"));
    EXPECT_FALSE(FileExists(paths.appDir + "temp.txt"));

    LoopbackHttpServer other(Responses{{"/upgrades.txt", Ok("otherapp 2.0\r\n")}});
    EXPECT_EQ(CheckForUpdate(http, paths, "1.0.0.1", other.Base(), 5000).message,
              "The latest version is unknown.");

    // Nothing listens on port 1 of the loopback: the connection is refused at once.
    UpdateCheckResult refused = CheckForUpdate(http, paths, "1.0.0.1", "http://127.0.0.1:1", 5000);
    EXPECT_EQ(refused.published, "unknown");
    EXPECT_FALSE(refused.fetchError.empty());
}

}  // namespace
}  // namespace corvanteer::testing
