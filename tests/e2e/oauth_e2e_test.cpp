// OAuth 2.0 end to end: corvanteer-cli's commands, run in this process, against a fake
// authorization server (oauth_server.py: device, authorize and token endpoints over HTTPS,
// token introspection over HTTP), Dovecot with its oauth2 passdb asking that server, and the
// SMTP server checking XOAUTH2 and OAUTHBEARER tokens with it. Every connection is TLS.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "cli/Cli.h"
#include "common/TempDir.h"
#include "e2e/ChildProcess.h"
#include "e2e/MailServers.h"
#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::testing {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        throw std::runtime_error("no free port");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

// One plain HTTP GET to the fake server's control port; the answer's body.
std::string HttpGet(int port, const std::string& path) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("cannot reach the fake authorization server");
    }
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
        throw std::runtime_error("cannot ask the fake authorization server");
    }
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        answer.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    const size_t body = answer.find("\r\n\r\n");
    return body == std::string::npos ? "" : answer.substr(body + 4);
}

class OAuthE2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        config_ = std::make_unique<TempDir>();
        httpPort_ = FreePort();
        const std::string oauthConf = config_->File("dovecot-oauth2.conf.ext");
        std::ofstream(oauthConf) << "introspection_url = http://127.0.0.1:" << httpPort_
                                 << "/introspect\n"
                                    "introspection_mode = post\n"
                                    "force_introspection = yes\n"
                                    "username_attribute = username\n"
                                    "active_attribute = active\n"
                                    "active_value = true\n";
        MailServerOptions options;
        options.tls = true;
        options.extraDovecotConfig =
            "auth_mechanisms = plain login xoauth2 oauthbearer\n"
            "passdb {\n"
            "  driver = oauth2\n"
            "  mechanisms = xoauth2 oauthbearer\n"
            "  args = " +
            oauthConf + "\n}\n";
        servers_ = std::make_unique<MailServers>(options);
        servers_->Start();
        for (const char* user : {"lists", "news", "alice", "bob", "carol", "dave"}) {
            servers_->AddUser(user, "unused-password");
        }
        servers_->SetSmtpOAuth("http://127.0.0.1:" + std::to_string(httpPort_) + "/introspect");
        servers_->RequireSmtpAuth(true);

        const std::string tls = servers_->Root() + "/tls/";
        const std::string ready = config_->File("oauth-ready");
        authServer_ = std::make_unique<ChildProcess>();
        authServer_->Start(
            {"/usr/bin/python3", CORVANTEER_E2E_OAUTH_SCRIPT, "--cert", tls + "good.crt", "--key",
             tls + "good.key", "--ready-file", ready, "--http-port", std::to_string(httpPort_)},
            config_->File("oauth-server.log"));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!ReadFileIfExists(ready) && authServer_->Running() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a process starting
        }
        const std::optional<std::string> ports = ReadFileIfExists(ready);
        if (!ports) {
            throw std::runtime_error(
                "the fake authorization server did not start: " +
                ReadFileIfExists(config_->File("oauth-server.log")).value_or(""));
        }
        httpsPort_ = std::stoi(*ports);

        // A browser for the loopback sign-in: fetches the address and follows the redirect.
        const std::string browser = config_->File("xdg-open");
        std::ofstream(browser) << "#!/usr/bin/python3\n"
                                  "import ssl, sys, urllib.request\n"
                                  "context = ssl.create_default_context(cafile='"
                               << servers_->CaFile()
                               << "')\n"
                                  "urllib.request.urlopen(sys.argv[1], context=context, "
                                  "timeout=20).read()\n";
        std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
    }
    static void TearDownTestSuite() {
        authServer_.reset();
        servers_.reset();
        config_.reset();
    }

    MailServers& Servers() { return *servers_; }
    static std::string Control(const std::string& what) {
        return HttpGet(httpPort_, "/control/" + what);
    }

    CliRun Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"corvanteer-cli", "--home", dir.Path()});
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        CliRun run;
        run.status = cli::RunCli(args, {in, out, err});
        run.out = out.str();
        run.err = err.str();
        everything_ += run.out + run.err;
        return run;
    }
    void Set(const std::string& name, const std::string& value, const std::string& list = "") {
        std::vector<std::string> args{"config", "set", name, value};
        if (!list.empty()) {
            args.insert(args.end(), {"--list", list});
        }
        const CliRun run = Cli(args);
        ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    }
    // Signs the account in as user with the device grant (the fake approves at once).
    void SignIn(const std::string& account, const std::string& user) {
        Control("user?name=" + user);
        const CliRun run = Cli({"oauth", "login", account});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(Contains(run.out, "WDJB-MJHT")) << run.out;
    }

    // The List Server mailbox over STLS, the list's over TLS from the first byte, SMTP over
    // STARTTLS; all three with OAuth 2.0 at the fake provider.
    void Configure() {
        const std::string host = Servers().Host();
        const std::string base = "https://127.0.0.1:" + std::to_string(httpsPort_);
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"ListServerAddress", MailServers::Address("lists")},
                 {"ListServerHost", host},
                 {"ListServerPort", std::to_string(Servers().Pop3Port())},
                 {"ListServerSecurity", "starttls"},
                 {"ListServerUserID", "lists"},
                 {"ListServerAuth", "oauth2"},
                 {"SMTPHost", host},
                 {"SMTPPort", std::to_string(Servers().SmtpPort())},
                 {"SMTPSecurity", "starttls"},
                 {"SmtpUser", "sender"},
                 {"SMTPAuth", "oauth2"},
                 {"TlsCAFile", Servers().CaFile()},
                 {"OAuthProvider", "custom"},
                 {"OAuthClientId", "corvanteer-e2e"},
                 {"OAuthDeviceUrl", base + "/device"},
                 {"OAuthAuthorizeUrl", base + "/authorize"},
                 {"OAuthTokenUrl", base + "/token"},
                 {"OAuthScopes", "mail offline_access"}}) {
            Set(name, value);
        }
        ASSERT_EQ(Cli({"lists", "add", "news"}).status, 0);
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"Pop3Host", host},
                 {"Pop3Port", std::to_string(Servers().Pop3sPort())},
                 {"Pop3Security", "tls"},
                 {"Pop3User", "news"},
                 {"Pop3Auth", "oauth2"},
                 {"AllowPostBy", "1"},
                 {"ListPostingAddress", MailServers::Address("news")}}) {
            Set(name, value, "news");
        }
        for (const char* member : {"alice", "bob", "carol"}) {
            ASSERT_EQ(Cli({"members", "add", "news", MailServers::Address(member)}).status, 0);
        }
    }
    void SignInAll() {
        SignIn("listserver", "lists");
        SignIn("news", "news");
        SignIn("smtp", "sender");
    }

    void PutPosting(const std::string& subject) {
        Servers().PutMessage("news", "From: " + MailServers::Address("alice") +
                                         "\r\nSubject: " + subject + "\r\n\r\nWith tokens.\r\n");
    }
    size_t Received(const std::string& user, const std::string& subject) {
        size_t count = 0;
        for (const std::string& message : Servers().ReadMailbox(user)) {
            count += Contains(message, "Subject: " + subject + "\r\n") ? 1 : 0;
        }
        return count;
    }
    std::string Log() { return ReadFileIfExists(dir.File("Corvanteer.log")).value_or(""); }
    // The fake's tokens all begin so; none may show anywhere the operator can read.
    void ExpectNoTokenShown() {
        for (const std::string& text : {everything_, Log()}) {
            EXPECT_FALSE(Contains(text, "AT-")) << text;
            EXPECT_FALSE(Contains(text, "RT-")) << text;
        }
    }

    TempDir dir;
    static std::unique_ptr<TempDir> config_;  // the suite's files: configuration, browser

private:
    std::string everything_;  // every output of the commands run
    static std::unique_ptr<MailServers> servers_;
    static std::unique_ptr<ChildProcess> authServer_;
    static int httpPort_;
    static int httpsPort_;
};

std::unique_ptr<TempDir> OAuthE2eTest::config_;
std::unique_ptr<MailServers> OAuthE2eTest::servers_;
std::unique_ptr<ChildProcess> OAuthE2eTest::authServer_;
int OAuthE2eTest::httpPort_ = 0;
int OAuthE2eTest::httpsPort_ = 0;

TEST_F(OAuthE2eTest, DeviceSignInThenAWholeScanOverTlsWithTokensOnAllThreeServers) {
    Control("lifetime?seconds=3600");
    Configure();
    SignInAll();
    PutPosting("OAuth posting one");
    Servers().PutMessage(
        "lists", "From: " + MailServers::Address("dave") + "\r\nSubject: subscribe news\r\n\r\n");
    const CliRun scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 0) << scan.err;
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "OAuth posting one"), 1u) << member;
    }
    EXPECT_EQ(Servers().ReadMailbox("dave").size(), 1u);  // the verification request
    EXPECT_TRUE(Contains(Servers().SmtpLog(), "auth XOAUTH2 user='sender' ok=True"))
        << Servers().SmtpLog();
    EXPECT_TRUE(Servers().ReadMailbox("lists").empty());
    // Dovecot took the logins through its oauth2 passdb, XOAUTH2 being first choice.
    EXPECT_TRUE(Contains(Servers().DovecotLog(), "user=<news>, method=XOAUTH2"))
        << Servers().DovecotLog();
    const CliRun status = Cli({"oauth", "status"});
    EXPECT_TRUE(Contains(status.out, "smtp: oauth2, sender: signed in")) << status.out;
    EXPECT_TRUE(Contains(status.out, "news: oauth2, news: signed in")) << status.out;
    ExpectNoTokenShown();
}

TEST_F(OAuthE2eTest, ShortLivedTokensAreRefreshedAndTheRotatedRefreshTokenKept) {
    // Tokens of a minute are within the five minutes: each login refreshes first, and the
    // fake spends each refresh token once, so the second scan works only with the new one.
    Control("lifetime?seconds=60");
    Configure();
    SignInAll();
    PutPosting("Refreshed one");
    ASSERT_EQ(Cli({"scan"}).status, 0);
    PutPosting("Refreshed two");
    const CliRun second = Cli({"scan"});
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Received("bob", "Refreshed one"), 1u);
    EXPECT_EQ(Received("bob", "Refreshed two"), 1u);
    EXPECT_FALSE(Contains(Control("stats"), "\"refresh_token\": 0,")) << Control("stats");
    ExpectNoTokenShown();
}

TEST_F(OAuthE2eTest, LoopbackSignInWithTheBrowser) {
    Control("lifetime?seconds=3600");
    Configure();
    const std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    ::setenv("PATH", (config_->Path() + ":" + path).c_str(), 1);
    ::setenv("DISPLAY", ":99", 1);
    Control("user?name=lists");
    const CliRun run = Cli({"oauth", "login", "listserver", "--browser"});
    ::setenv("PATH", path.c_str(), 1);
    ::unsetenv("DISPLAY");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "/authorize?response_type=code")) << run.out;
    EXPECT_TRUE(Contains(Control("stats"), "\"authorization_code\": 1")) << Control("stats");
    EXPECT_TRUE(Contains(Cli({"oauth", "status"}).out, "listserver: oauth2, lists: signed in"));
    ExpectNoTokenShown();
}

TEST_F(OAuthE2eTest, ARevokedSignInTellsTheOperatorToSignInAgainAndLosesNothing) {
    Control("lifetime?seconds=60");
    Configure();
    SignInAll();
    Control("revoke?name=lists");
    Control("revoke?name=sender");
    Servers().PutMessage(
        "lists", "From: " + MailServers::Address("dave") + "\r\nSubject: subscribe news\r\n\r\n");
    PutPosting("Revoked posting");
    const CliRun scan = Cli({"scan"});
    EXPECT_NE(scan.status, 0);
    const std::string again =
        "sign in again with: corvanteer-cli --home " + dir.Path() + " oauth login listserver";
    EXPECT_TRUE(Contains(scan.err, again)) << scan.err;
    EXPECT_TRUE(Contains(Log(), again)) << Log();
    EXPECT_EQ(Servers().ReadMailbox("lists").size(), 1u);  // left on the server
    EXPECT_EQ(Received("bob", "Revoked posting"), 0u);
    const CliRun queue = Cli({"queue"});
    EXPECT_FALSE(queue.out.empty());  // one line per message waiting there
    EXPECT_EQ(queue.out.find(" malformed"), std::string::npos) << queue.out;
    EXPECT_TRUE(Contains(Cli({"oauth", "status"}).out, "listserver: oauth2, lists: ")) << "status";
    ExpectNoTokenShown();
}

}  // namespace
}  // namespace corvanteer::testing
