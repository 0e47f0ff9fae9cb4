#include "transport/TPop3Client.h"

#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/FakeMailServer.h"
#include "common/TestCertificates.h"
#include "common/TickingClock.h"
#include "support/Text.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

// Time-outs that never fire against a server that answers, and short ones for the cases
// where the server is meant to fall silent.
constexpr int kPatientMs = 3000;
constexpr int kShortMs = 150;

void PointAt(TPop3Client& pop3, const FakeMailServer& server, int timeoutMs = kPatientMs) {
    pop3.HostAddress = server.Host();
    pop3.Port = server.Port();
    // The plain conversation as described; auto has tests of its own.
    pop3.Security.Mode = "none";
    pop3.User = "alice";
    pop3.Password = "secret";
    pop3.ConnectTimeoutMs = kPatientMs;
    pop3.FirstByteTimeoutMs = timeoutMs;
    pop3.ReadTimeoutMs = timeoutMs;
    pop3.MultiLineReadTimeoutMs = timeoutMs;
    pop3.SendTimeoutMs = kPatientMs;
}

// The greeting and a successful login whose STAT reports the given reply.
ServerScript LoggedIn(std::string_view statReply = "+OK 2 300") {
    ServerScript script;
    script.SendLine("+OK POP3 ready")
        .Reply("USER alice", "+OK")
        .Reply("PASS secret", "+OK logged in")
        .Reply("STAT", statReply);
    return script;
}

TEST(TPop3Client, LoginSendsUserPassStatAndQuit) {
    FakeMailServer server({LoggedIn("+OK 3 4711").Reply("QUIT", "+OK bye")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    EXPECT_EQ(pop3.MessageCount, 3);
    EXPECT_EQ(pop3.MailboxSize, 4711);
    EXPECT_TRUE(pop3.ResponseDone);
    pop3.Quit();
    EXPECT_EQ(server.Received(0), "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, RefusedGreetingOrPasswordEndsLoginEarly) {
    FakeMailServer server({
        ServerScript().SendLine("-ERR too busy").Reply("QUIT", "+OK"),
        ServerScript()
            .SendLine("+OK ready")
            .Reply("USER alice", "+OK")
            .Reply("PASS secret", "-ERR wrong password")
            .Reply("QUIT", "+OK"),
    });
    TPop3Client pop3;
    PointAt(pop3, server);
    pop3.MessageCount = 7;
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();  // as the scan does after a failed login
    EXPECT_EQ(server.Received(0), "QUIT\r\n");
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();
    EXPECT_EQ(server.Received(1), "USER alice\r\nPASS secret\r\nQUIT\r\n");
    EXPECT_EQ(pop3.MessageCount, 7);
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, StatReplyParsing) {
    FakeMailServer server({LoggedIn("+OK many bytes")
                               .Reply("STAT", "-ERR not now")
                               .Reply("STAT", "+OK 12 99 extra words")
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    pop3.MessageCount = 5;
    ASSERT_TRUE(pop3.Login());
    EXPECT_EQ(pop3.MessageCount, 0);  // letters count as 0
    EXPECT_EQ(pop3.MailboxSize, 0);
    pop3.MessageCount = 4;
    EXPECT_FALSE(pop3.Stat());
    EXPECT_EQ(pop3.MessageCount, 4);  // kept on a refusal
    EXPECT_TRUE(pop3.Stat());
    EXPECT_EQ(pop3.MessageCount, 12);
    EXPECT_EQ(pop3.MailboxSize, 99);
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, TopSplitsHeaderAndBodyWithoutUnstuffing) {
    FakeMailServer server({LoggedIn()
                               .Reply("TOP 2 0", "+OK\r\nFrom: a@x\r\nSubject: hi\r\n\r\n.")
                               .Reply("TOP 1 3", "+OK\r\nFrom: b@x\r\n\r\none\r\n..dot\r\n\r\n.")
                               .Reply("TOP 3 0", "+OK\r\nFrom: c@x\r\nSubject: no blank\r\n.")
                               .Reply("TOP 9 0", "-ERR no such message")
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.Body = "earlier";
    pop3.Top(2);
    EXPECT_EQ(pop3.Header, (Lines{"From: a@x", "Subject: hi", ""}));
    EXPECT_TRUE(pop3.Body.empty());

    pop3.TopLines = 3;
    pop3.Top(1);
    EXPECT_EQ(pop3.Header, (Lines{"From: b@x", ""}));
    EXPECT_EQ(pop3.Body, "one\r\n..dot\r\n\r\n");

    // No empty line: all of it is header.
    pop3.TopLines = 0;
    pop3.Top(3);
    EXPECT_EQ(pop3.Header, (Lines{"From: c@x", "Subject: no blank", ""}));
    EXPECT_TRUE(pop3.Body.empty());

    pop3.Body = "kept";
    pop3.Top(9);
    EXPECT_EQ(pop3.Header, (Lines{"-ERR no such message"}));
    EXPECT_EQ(pop3.Body, "kept");
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, RetrieveUnstuffsAndDropsTheHeader) {
    FakeMailServer server({LoggedIn()
                               .Reply("RETR 1",
                                      "+OK 90 octets\r\nFrom: a@x\r\n..Odd: header\r\n\r\n"
                                      "first\r\n..\r\n...\r\n..x\r\n\r\nlast\r\n.")
                               .Reply("RETR 2", "+OK\r\nFrom: a@x\r\nSubject: only header\r\n.")
                               .Reply("RETR 3", "+OK\r\n\r\nno header at all\r\n.")
                               .Reply("RETR 4", "-ERR gone")
                               .Reply("DELE 1", "+OK deleted")
                               .Reply("DELE 4", "-ERR no such message")
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.Header = {"From: a@x", ""};
    pop3.Retrieve(1);
    EXPECT_TRUE(pop3.LastReplyPositive);
    EXPECT_EQ(pop3.Body, "first\r\n.\r\n..\r\n.x\r\n\r\nlast\r\n");
    EXPECT_EQ(pop3.Header, (Lines{"From: a@x", ""}));  // untouched by RETR
    pop3.Retrieve(2);
    EXPECT_TRUE(pop3.Body.empty());
    pop3.Retrieve(3);
    EXPECT_EQ(pop3.Body, "no header at all\r\n");
    pop3.Retrieve(4);
    EXPECT_FALSE(pop3.LastReplyPositive);
    EXPECT_EQ(pop3.Body, "-ERR gone\r\n");
    EXPECT_TRUE(pop3.Delete(1));
    EXPECT_FALSE(pop3.Delete(4));
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, RepliesSplitAcrossPackets) {
    FakeMailServer server({ServerScript()
                               .SendInPackets({"+O", "K rea", "dy\r", "\n"})
                               .Reply("USER alice", "+OK")
                               .Reply("PASS secret", "+OK")
                               .Expect("STAT")
                               .SendInPackets({"+OK 1 ", "20\r\n"})
                               .Expect("RETR 1")
                               .SendInPackets({"+OK\r\nA: b\r\n\r\nbody\r", "\n.", "\r", "\n"})
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    EXPECT_EQ(pop3.MessageCount, 1);
    EXPECT_EQ(pop3.MailboxSize, 20);
    pop3.Retrieve(1);
    EXPECT_EQ(pop3.Body, "body\r\n");
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, LargeMessageArrivesWhole) {
    std::string message = "+OK\r\nSubject: big\r\n\r\n";
    for (int i = 0; i < 20000; ++i) {
        message += (i % 100 == 0 ? ".." : "") + std::string("line ") + std::to_string(i) + "\r\n";
    }
    message += ".";
    FakeMailServer server({LoggedIn().Reply("RETR 1", message).Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.Retrieve(1);
    const Lines body = TextToLines(pop3.Body);
    ASSERT_EQ(body.size(), 20000u);
    EXPECT_EQ(body[0], ".line 0");
    EXPECT_EQ(body[19999], "line 19999");
    pop3.Quit();
}

// A response that stops before its end must not pass for a positive one, and the
// connection is not used again.
TEST(TPop3Client, SilenceOrCloseMidResponseIsNegative) {
    FakeMailServer server({
        LoggedIn().Expect("TOP 1 0").Send("+OK\r\nFrom: a@x\r\n").Silence(),
        LoggedIn().Expect("RETR 1").Send("+OK\r\nFrom: a@x\r\n\r\nbo").Close(),
        LoggedIn().Expect("DELE 1").Send("+OK dele").Silence(),
        LoggedIn().Expect("DELE 1").Silence(),
    });
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.MultiLineReadTimeoutMs = kShortMs;
    pop3.Top(1);
    EXPECT_TRUE(pop3.Header.empty());
    EXPECT_FALSE(pop3.Delete(1));  // the connection is gone: nothing more is sent
    pop3.Quit();
    EXPECT_EQ(server.Received(0), "USER alice\r\nPASS secret\r\nSTAT\r\nTOP 1 0\r\n");

    ASSERT_TRUE(pop3.Login());
    pop3.Body = "earlier";
    pop3.Retrieve(1);
    EXPECT_TRUE(pop3.Body.empty());
    pop3.Quit();

    ASSERT_TRUE(pop3.Login());
    pop3.ReadTimeoutMs = kShortMs;
    EXPECT_FALSE(pop3.Delete(1));  // "+OK dele" without its line end
    pop3.Quit();

    ASSERT_TRUE(pop3.Login());
    pop3.FirstByteTimeoutMs = kShortMs;
    EXPECT_FALSE(pop3.Delete(1));  // no reply at all
    EXPECT_TRUE(pop3.ResponseDone);
    pop3.Quit();
    EXPECT_EQ(server.Received(3), "USER alice\r\nPASS secret\r\nSTAT\r\nDELE 1\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, EndlessLineIsCutOffAsNegative) {
    FakeMailServer server(
        {ServerScript().Send("+OK " + std::string(200 * 1024, 'x') + "\r\n").Silence()});
    TPop3Client pop3;
    PointAt(pop3, server);
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();
    EXPECT_EQ(server.Received(0), "");
}

using testing::TickingClock;

// A one-line response that trickles a byte now and then, each just inside the idle
// time-out, ends at its total time with nothing of the login sent.
TEST(TPop3Client, TricklingOneLineResponseEndsAtItsTotalTime) {
    FakeMailServer server({ServerScript().Send("+OK ").SendEndlessly("x", 5)});
    TickingClock clock(2000);
    TPop3Client pop3;
    pop3.UseClock(clock);
    PointAt(pop3, server);
    EXPECT_FALSE(pop3.Login());
    EXPECT_EQ(pop3.LastError.kind, MailFailure::Timeout);
    EXPECT_TRUE(Contains(pop3.LastError.Text(), "did not end in time")) << pop3.LastError.Text();
    pop3.Quit();
    EXPECT_EQ(server.Received(0), "");
    EXPECT_TRUE(server.Problems().empty());
}

// Endless or trickling TOP and RETR replies end the connection, holding at most about the
// size limit in memory; the mailbox's earlier replies are unaffected.
TEST(TPop3Client, EndlessOrTricklingRepliesAreCutOff) {
    const std::string line = std::string(1000, 'x') + "\r\n";
    struct Case {
        const char* name;
        const char* command;
        ServerScript script;
        int64_t maxMessageSize;
        bool tooBig;
        int64_t clockStepMs;  // two looks a read
    };
    std::vector<Case> cases;
    cases.push_back({"endless RETR over the size limit", "RETR 1",
                     LoggedIn()
                         .Expect("LIST 1")
                         .SendLine("+OK 1 300")
                         .Expect("RETR 1")
                         .SendLine("+OK")
                         .SendEndlessly(line),
                     1024 * 1024, true, 0});
    cases.push_back({"endless TOP, no size limit: the total time", "TOP 1 0",
                     LoggedIn().Expect("TOP 1 0").SendLine("+OK").SendEndlessly(line), 0, false,
                     2000});
    cases.push_back({"trickling RETR", "RETR 1",
                     LoggedIn().Expect("RETR 1").SendLine("+OK").SendEndlessly("x", 5), 0, false,
                     2000});
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeMailServer server({c.script});
        TickingClock clock(c.clockStepMs);
        TPop3Client pop3;
        pop3.UseClock(clock);
        PointAt(pop3, server);
        ASSERT_TRUE(pop3.Login());
        pop3.MaxMessageSize = c.maxMessageSize;
        pop3.Header = {"kept"};
        if (std::string_view(c.command).starts_with("TOP")) {
            pop3.Top(1);
            EXPECT_TRUE(pop3.Header.empty());
        } else {
            pop3.Retrieve(1);
            EXPECT_TRUE(pop3.Body.empty());
        }
        EXPECT_FALSE(pop3.LastReplyPositive);
        EXPECT_FALSE(pop3.Connected());
        EXPECT_EQ(pop3.LastMessageTooBig, c.tooBig);
        if (c.tooBig) {
            EXPECT_GT(pop3.LastMessageSize, c.maxMessageSize);
            EXPECT_LE(pop3.LastMessageSize, c.maxMessageSize + 200 * 1024);
        }
        pop3.Quit();
        EXPECT_TRUE(server.Problems().empty());
    }
}

// With a size limit, LIST tells which messages are fetched; an oversized one is not, and
// the connection stays for the rest of the mailbox.
TEST(TPop3Client, ListedSizeOverTheLimitSkipsTheRetrieve) {
    FakeMailServer server({LoggedIn("+OK 4 9000")
                               .Reply("LIST 4", "+OK 4 5000")
                               .Reply("LIST 3", "+OK 3 99999999999999999999999")
                               .Reply("LIST 2", "-ERR no such message")
                               .Reply("RETR 2", "+OK\r\nA: b\r\n\r\ntwo\r\n.")
                               .Reply("LIST 1", "+OK 1 4096")
                               .Reply("RETR 1", "+OK\r\nA: b\r\n\r\none\r\n.")
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.MaxMessageSize = 4096;
    pop3.Retrieve(4);
    EXPECT_TRUE(pop3.LastMessageTooBig);
    EXPECT_EQ(pop3.LastMessageSize, 5000);
    EXPECT_TRUE(pop3.Connected());
    pop3.Retrieve(3);
    EXPECT_TRUE(pop3.LastMessageTooBig);
    pop3.Retrieve(2);  // no size: RETR goes ahead, bounded while reading
    EXPECT_FALSE(pop3.LastMessageTooBig);
    EXPECT_EQ(pop3.Body, "two\r\n");
    pop3.Retrieve(1);  // exactly at the limit
    EXPECT_TRUE(pop3.LastReplyPositive);
    EXPECT_EQ(pop3.Body, "one\r\n");
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, ConnectionFailuresReportFalse) {
    TPop3Client pop3;
    pop3.HostAddress = "no-such-host.invalid";
    pop3.Port = 110;
    EXPECT_FALSE(pop3.Login());
    EXPECT_FALSE(pop3.Stat());
    EXPECT_FALSE(pop3.Delete(1));
    pop3.Body = "kept?";
    pop3.Retrieve(1);
    EXPECT_TRUE(pop3.Body.empty());  // the empty response, as for any failed read
    pop3.Quit();

    // A server that resets the connection after its greeting: no signal, just false.
    FakeMailServer server({ServerScript().SendLine("+OK").Reset()});
    PointAt(pop3, server);
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();
}

TEST(TPop3Client, ConnectsOverIPv6Loopback) {
    FakeMailServer server({LoggedIn("+OK 1 10").Reply("QUIT", "+OK")},
                          FakeMailServer::Family::IPv6);
    if (!server.Listening()) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_EQ(pop3.HostAddress, "::1");
    ASSERT_TRUE(pop3.Login());
    EXPECT_EQ(pop3.MessageCount, 1);
    pop3.Quit();
    EXPECT_TRUE(server.Problems().empty());
}

// TLS: the server's certificate is pinned, so no CA file is needed here (the checks
// themselves are TlsStream's tests).
const testing::TestIdentity& ServerCert() {
    static const testing::TestIdentity identity =
        testing::SelfSigned({"localhost", {"localhost"}, {"127.0.0.1"}});
    return identity;
}

void Secure(TPop3Client& pop3, const char* mode) {
    pop3.Security = {mode, ServerCert().fingerprint, "", ""};
}

ServerScript OffersStls() {
    ServerScript script;
    script.SendLine("+OK ready").Expect("CAPA").Send("+OK\r\nUSER\r\nSTLS\r\n.\r\n");
    return script;
}

TEST(TPop3Client, StlsAndImplicitTlsCarryTheWholeLogin) {
    FakeMailServer server({
        OffersStls()
            .Reply("STLS", "+OK begin TLS")
            .StartTls(ServerCert().Pem())
            .Expect("CAPA")
            .Send("+OK\r\nUSER\r\nPIPELINING\r\n.\r\n")
            .Reply("USER alice", "+OK")
            .Reply("PASS secret", "+OK")
            .Reply("STAT", "+OK 2 99")
            .Reply("QUIT", "+OK"),
        ServerScript()
            .StartTls(ServerCert().Pem())
            .SendLine("+OK ready")
            .Reply("USER alice", "+OK")
            .Reply("PASS secret", "+OK")
            .Reply("STAT", "+OK 0 0")
            .Reply("QUIT", "+OK"),
    });
    TPop3Client pop3;
    PointAt(pop3, server);
    Secure(pop3, "starttls");
    ASSERT_TRUE(pop3.Login()) << pop3.LastError.Text();
    EXPECT_EQ(pop3.MessageCount, 2);
    pop3.Quit();
    // What was learned in plain text is asked again once protected.
    EXPECT_EQ(server.Received(0), std::string("CAPA\r\nSTLS\r\n") + testing::kTlsMarker +
                                      "CAPA\r\nUSER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
    Secure(pop3, "TLS");
    ASSERT_TRUE(pop3.Login()) << pop3.LastError.Text();
    pop3.Quit();
    EXPECT_EQ(server.Received(1),
              std::string(testing::kTlsMarker) + "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TPop3Client, NoCredentialLeavesWhenTlsCannotBeHad) {
    struct Case {
        const char* name;
        ServerScript script;
        const char* mode;
        MailFailure expected;
        const char* reason;
    };
    const std::string other = testing::SelfSigned({"other", {"other"}, {}}).Pem();
    Case cases[] = {
        {"STLS not listed",
         ServerScript()
             .SendLine("+OK ready")
             .Reply("CAPA", "+OK\r\nUSER\r\n.")
             .Reply("QUIT", "+OK"),
         "starttls", MailFailure::Tls, "does not offer STLS"},
        {"CAPA refused",
         ServerScript().SendLine("+OK ready").Reply("CAPA", "-ERR what?").Reply("QUIT", "+OK"),
         "starttls", MailFailure::Tls, "does not offer STLS"},
        {"STLS refused", OffersStls().Reply("STLS", "-ERR not now").Reply("QUIT", "+OK"),
         "starttls", MailFailure::Tls, "refused STLS: -ERR not now"},
        {"a line slipped in after +OK", OffersStls().Expect("STLS").Send("+OK go\r\n+OK USER\r\n"),
         "starttls", MailFailure::Tls, "more than its answer"},
        {"another certificate", ServerScript().StartTls(other), "tls", MailFailure::Certificate,
         "fingerprint mismatch"},
        {"an unknown mode", ServerScript(), "tsl", MailFailure::Settings, "\"tsl\""},
    };
    for (Case& test : cases) {
        SCOPED_TRACE(test.name);
        FakeMailServer server({test.script});
        TPop3Client pop3;
        PointAt(pop3, server);
        Secure(pop3, test.mode);
        EXPECT_FALSE(pop3.Login());
        EXPECT_EQ(pop3.LastError.kind, test.expected);
        EXPECT_TRUE(Contains(pop3.LastError.Text(), test.reason)) << pop3.LastError.Text();
        pop3.Quit();
        if (test.expected == MailFailure::Settings) {
            EXPECT_EQ(server.Connections(), 0u);
            continue;
        }
        const std::string received = server.Received(0);
        EXPECT_FALSE(Contains(received, "USER ") || Contains(received, "PASS")) << received;
    }
}

TEST(TPop3Client, ProbeReportsTlsCapabilitiesLoginAndCount) {
    FakeMailServer server({OffersStls()
                               .Reply("STLS", "+OK")
                               .StartTls(ServerCert().Pem())
                               .Reply("CAPA", "+OK\r\nUSER\r\nUIDL\r\n.")
                               .Reply("USER alice", "+OK")
                               .Reply("PASS secret", "+OK")
                               .Reply("STAT", "+OK 3 300")
                               .Reply("QUIT", "+OK")});
    TPop3Client pop3;
    PointAt(pop3, server);
    Secure(pop3, "starttls");
    const ProbeReport report = pop3.Probe();
    EXPECT_TRUE(report.error.ok()) << report.error.Text();
    EXPECT_EQ(report.security, "starttls");
    EXPECT_TRUE(report.tls.used && report.tls.pinned);
    EXPECT_EQ(report.tls.certificate.fingerprint, ServerCert().fingerprint);
    EXPECT_EQ(report.capabilities, (Lines{"USER", "UIDL"}));
    EXPECT_EQ(report.login, LoginOutcome::Accepted);
    EXPECT_EQ(report.messageCount, 3);
    EXPECT_TRUE(server.Problems().empty());
}

// Opens every connection to the loopback port asked for, whatever host the client names: a
// host that is not a loopback one, served by a fake server.
class RedirectingConnector : public StreamConnector {
public:
    std::unique_ptr<ByteStream> Open(const std::string&, int port, int timeoutMs) override {
        return TcpConnector().Open("127.0.0.1", port, timeoutMs);
    }
};

TEST(TPop3Client, AutoUpgradesWhenOfferedAndKeepsThePasswordOffTheWireOtherwise) {
    const std::string login = "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n";
    struct Case {
        const char* name;
        const char* host;
        const char* mode;
        ServerScript script;
        std::string received;  // empty: the login is refused
    };
    Case cases[] = {
        {"STLS offered: the login goes over TLS", "mail.example.test", "auto",
         OffersStls()
             .Reply("STLS", "+OK")
             .StartTls(ServerCert().Pem())
             .Reply("CAPA", "+OK\r\nUSER\r\n.")
             .Reply("USER alice", "+OK")
             .Reply("PASS secret", "+OK")
             .Reply("STAT", "+OK 0 0")
             .Reply("QUIT", "+OK"),
         "CAPA\r\nSTLS\r\n" + std::string(testing::kTlsMarker) + "CAPA\r\n" + login},
        {"no STLS, another host: nothing of the login leaves", "mail.example.test", "auto",
         ServerScript()
             .SendLine("+OK ready")
             .Reply("CAPA", "+OK\r\nUSER\r\n.")
             .Reply("QUIT", "+OK"),
         ""},
        {"no CAPA at all, another host", "mail.example.test", "auto",
         ServerScript().SendLine("+OK ready").Reply("CAPA", "-ERR unknown").Reply("QUIT", "+OK"),
         ""},
        {"no STLS, a loopback host: plain text", "localhost", "auto",
         ServerScript()
             .SendLine("+OK ready")
             .Reply("CAPA", "+OK\r\nUSER\r\n.")
             .Reply("USER alice", "+OK")
             .Reply("PASS secret", "+OK")
             .Reply("STAT", "+OK 0 0")
             .Reply("QUIT", "+OK"),
         "CAPA\r\n" + login},
        {"none by choice: plain text even where STLS is offered", "mail.example.test", "none",
         LoggedIn("+OK 0 0").Reply("QUIT", "+OK"), login},
    };
    for (Case& test : cases) {
        SCOPED_TRACE(test.name);
        FakeMailServer server({test.script});
        TPop3Client pop3(std::make_unique<RedirectingConnector>());
        PointAt(pop3, server);
        pop3.HostAddress = test.host;
        Secure(pop3, test.mode);
        pop3.Security.Setting = "Pop3Security";
        const bool loggedIn = pop3.Login();
        pop3.Quit();
        const std::string received = server.Received(0);
        if (test.received.empty()) {
            EXPECT_FALSE(loggedIn);
            EXPECT_EQ(pop3.LastError.kind, MailFailure::Tls);
            EXPECT_TRUE(Contains(pop3.LastError.Text(), "offers no TLS; set Pop3Security none"))
                << pop3.LastError.Text();
            EXPECT_TRUE(Contains(pop3.LastError.Text(), "port 995"));
            EXPECT_FALSE(Contains(received, "USER") || Contains(received, "PASS")) << received;
        } else {
            EXPECT_TRUE(loggedIn) << pop3.LastError.Text();
            EXPECT_EQ(received, test.received);
        }
        EXPECT_TRUE(server.Problems().empty());
    }
}

TEST(TPop3Client, ValuesThatWouldBreakACommandAreNeverSent) {
    FakeMailServer server({LoggedIn()});
    for (auto [user, password, port] :
         {std::tuple<std::string, std::string, int>{"alice\r\nDELE 1", "secret", 0},
          {"alice", std::string("se\0cret", 7), 0},
          {"alice", "secret", 99999}}) {
        TPop3Client pop3;
        PointAt(pop3, server);
        pop3.User = user;
        pop3.Password = password;
        if (port != 0) {
            pop3.Port = port;
        }
        EXPECT_FALSE(pop3.Login());
        EXPECT_EQ(pop3.LastError.kind, MailFailure::Settings);
        EXPECT_FALSE(Contains(pop3.LastError.Text(), "cret")) << pop3.LastError.Text();
    }
    EXPECT_EQ(server.Connections(), 0u);
}

}  // namespace
}  // namespace corvanteer
