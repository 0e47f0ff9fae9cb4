#include "transport/TSmtpClient.h"

#include <gtest/gtest.h>
#include <deque>

#include "common/FakeMailServer.h"
#include "common/TestCertificates.h"
#include "transport/HostNames.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

constexpr int kPatientMs = 3000;
constexpr int kShortMs = 150;

// Points the client at the server and gives the message the tests send.
Envelope PointAt(TSmtpClient& smtp, const FakeMailServer& server) {
    smtp.Server.host = server.Host();
    smtp.Server.port = server.Port();
    smtp.ConnectTimeoutMs = kPatientMs;
    smtp.ReplyTimeoutMs = kPatientMs;
    smtp.ReadTimeoutMs = kPatientMs;
    smtp.SendTimeoutMs = kPatientMs;
    return Envelope{"list@example.org", {"ann@example.org"}, "Subject: hi\r\n\r\nHello.\r\n"};
}

std::string Helo() {
    return "HELO " + LocalHostName();
}

// Greeting, HELO and MAIL FROM accepted.
ServerScript Greeted() {
    ServerScript script;
    script.SendLine("220 mail.example.org ESMTP")
        .Reply(Helo(), "250 mail.example.org")
        .Reply("MAIL FROM:<list@example.org>", "250 2.1.0 Ok");
    return script;
}

// Greeted, then one message to ann@example.org taken.
ServerScript TakesOneMessage() {
    return Greeted()
        .Reply("RCPT TO:<ann@example.org>", "250 Ok")
        .Reply("DATA", "354 go ahead")
        .ExpectData()
        .SendLine("250 Ok")
        .Expect("QUIT");
}

TEST(TSmtpClient, HeloSessionBytesExactly) {
    FakeMailServer server({Greeted()
                               .Reply("RCPT TO:<ann@example.org>", "250 Ok")
                               .Reply("RCPT TO:<bob@example.org>", "250 Ok")
                               .Reply("DATA", "354 End data with <CR><LF>.<CR><LF>")
                               .ExpectData()
                               .SendLine("250 2.0.0 Ok: queued as 1234")
                               .Expect("QUIT")});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    mail.recipients = {"ann@example.org", "bob@example.org"};
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "250 2.0.0 Ok: queued as 1234");
    EXPECT_EQ(server.Received(0), Helo() +
                                      "\r\nMAIL FROM:<list@example.org>\r\n"
                                      "RCPT TO:<ann@example.org>\r\nRCPT TO:<bob@example.org>\r\n"
                                      "DATA\r\nSubject: hi\r\n\r\nHello.\r\n.\r\nQUIT\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

// A reply line may be the code alone, as the last line of a reply too.
TEST(TSmtpClient, BareCodeRepliesAreComplete) {
    FakeMailServer server({ServerScript()
                               .SendLine("220")
                               .Expect(Helo())
                               .Send("250-mail.example.org\r\n250\r\n")
                               .Reply("MAIL FROM:<list@example.org>", "250")
                               .Reply("RCPT TO:<ann@example.org>", "250")
                               .Reply("DATA", "354")
                               .ExpectData()
                               .SendLine("250")
                               .Expect("QUIT")});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "250");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TSmtpClient, EhloWithAuthLoginAndMultiLineReply) {
    const std::string ehlo = "EHLO " + LocalHostName();
    FakeMailServer server({
        ServerScript()
            .SendLine("220 ready")
            .Expect(ehlo)
            .SendInPackets({"250-mail.example.org\r\n", "250-AUTH LOG",
                            "IN PLAIN\r\n250-8BITMIME\r\n", "250 SMTPUTF8\r\n"})
            .Reply("AUTH LOGIN", "334 VXNlcm5hbWU6")
            .Reply("YWxpY2U=", "334 UGFzc3dvcmQ6")
            .Reply("c2VjcmV0", "235 2.7.0 Authentication successful")
            .Reply("MAIL FROM:<list@example.org>", "250 Ok")
            .Reply("RCPT TO:<ann@example.org>", "250 Ok")
            .Reply("DATA", "354 go ahead")
            .ExpectData()
            .SendLine("250 Ok")
            .Expect("QUIT"),
        ServerScript()
            .SendLine("220 ready")
            .Reply(ehlo, "250 mail.example.org")
            .Reply("AUTH LOGIN", "334 VXNlcm5hbWU6")
            .Reply("YWxpY2U=", "334 UGFzc3dvcmQ6")
            .Reply("d3Jvbmc=", "535 5.7.8 Authentication credentials invalid")
            .Expect("QUIT"),
    });
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    smtp.Server.requireAuthentication = true;
    smtp.Server.user = "alice";
    smtp.Server.password = "secret";
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "250 Ok");

    smtp.Server.password = "wrong";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "535 5.7.8 Authentication credentials invalid");
    EXPECT_EQ(server.Received(1), ehlo + "\r\nAUTH LOGIN\r\nYWxpY2U=\r\nd3Jvbmc=\r\nQUIT\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TSmtpClient, RefusalsEndTheSessionWithQuit) {
    FakeMailServer server({
        ServerScript().SendLine("554 go away").Expect("QUIT"),
        Greeted().Reply("DATA", "554 5.5.1 Error: no valid recipients").Expect("QUIT"),
        Greeted()
            .Reply("RCPT TO:<a@example.org>", "250 Ok")
            .Reply("RCPT TO:<b@example.org>", "550 5.1.1 No such user")
            .Expect("QUIT"),
        Greeted()
            .Reply("RCPT TO:<a@example.org>", "250 Ok")
            .Reply("RCPT TO:<b@example.org>", "251 User not local; will forward")
            .Expect("QUIT"),
        Greeted()
            .Reply("RCPT TO:<ann@example.org>", "250 Ok")
            .Reply("DATA", "354 go ahead")
            .ExpectData()
            .SendLine("552 5.3.4 Message too big")
            .Expect("QUIT"),
    });
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    std::string reply;
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "554 go away");
    EXPECT_EQ(server.Received(0), "QUIT\r\n");

    mail.recipients.clear();  // DATA follows MAIL FROM at once
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "554 5.5.1 Error: no valid recipients");
    EXPECT_EQ(server.Received(1), Helo() + "\r\nMAIL FROM:<list@example.org>\r\nDATA\r\nQUIT\r\n");

    mail.recipients = {"a@example.org", "b@example.org", "c@example.org"};
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "550 5.1.1 No such user");
    EXPECT_EQ(server.Received(2), Helo() +
                                      "\r\nMAIL FROM:<list@example.org>\r\n"
                                      "RCPT TO:<a@example.org>\r\nRCPT TO:<b@example.org>\r\n"
                                      "QUIT\r\n");
    EXPECT_FALSE(smtp.Send(mail, reply));  // 251 is no acceptance either
    EXPECT_EQ(reply, "251 User not local; will forward");

    mail.recipients = {"ann@example.org"};
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "552 5.3.4 Message too big");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TSmtpClient, DotStuffingOfEveryLineOnTheWire) {
    // Messages with CR LF breaks only take a faster road than those with a lone LF or CR
    // (which is a line break as well): both stuff the same lines.
    const struct {
        std::string message;
        std::string data;
    } cases[] = {
        {"Subject: dots\r\n\r\n.\r\n.hidden\r\n..two\r\n\r\nplain.\r\n"
         "-- \r\n.\r\n.sig\r\nend\r\nbare\nlf\r\ntrailing\r\n\r",
         "Subject: dots\r\n\r\n..\r\n..hidden\r\n...two\r\n\r\nplain.\r\n"
         "-- \r\n..\r\n..sig\r\nend\r\nbare\r\nlf\r\ntrailing\r\n\r\n.\r\n"},
        {".first\r\nSubject: dots\r\n\r\na.b.\r\n.\r\n..two\r\n.",
         "..first\r\nSubject: dots\r\n\r\na.b.\r\n..\r\n...two\r\n..\r\n.\r\n"},
        {"Subject: dots\r\n\r\n.end\r\n", "Subject: dots\r\n\r\n..end\r\n.\r\n"},
    };
    for (const auto& c : cases) {
        FakeMailServer server({TakesOneMessage()});
        TSmtpClient smtp;
        Envelope mail = PointAt(smtp, server);
        mail.message = c.message;
        std::string reply;
        EXPECT_TRUE(smtp.Send(mail, reply));
        std::string received = server.Received(0);
        EXPECT_EQ(received.substr(received.find("DATA\r\n") + 6), c.data + "QUIT\r\n");
        EXPECT_TRUE(server.Problems().empty());
    }
}

TEST(TSmtpClient, ALineLongerThanAWriteGoesOutWholeAndStuffed) {
    FakeMailServer server({TakesOneMessage()});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    const std::string longLine = "." + std::string(200 * 1024, 'x');
    mail.message = "Subject: long\r\n\r\nbefore\r\n" + longLine + "\r\nafter";
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply));
    const std::string received = server.Received(0);
    EXPECT_EQ(received.substr(received.find("DATA\r\n") + 6),
              "Subject: long\r\n\r\nbefore\r\n." + longLine + "\r\nafter\r\n.\r\nQUIT\r\n");
}

TEST(TSmtpClient, EmptyMessageIsTheFinalDotAlone) {
    FakeMailServer server({TakesOneMessage()});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    mail.message.clear();
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply));
    EXPECT_TRUE(EndsWith(server.Received(0), "DATA\r\n.\r\nQUIT\r\n"));
}

TEST(TSmtpClient, InjectedAddressesAreRefusedBeforeConnecting) {
    FakeMailServer server({Greeted()});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    std::string reply;
    mail.from = "list@example.org>\r\nRCPT TO:<victim@example.org";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(Contains(reply, "Sender address refused")) << reply;

    mail.from = "list@example.org";
    for (const char* bad : {"a@x\nDATA", "a@x\rb", "<a@x>", "a@x>"}) {
        mail.recipients = {"ok@example.org", bad};
        reply.clear();
        EXPECT_FALSE(smtp.Send(mail, reply)) << bad;
        EXPECT_TRUE(Contains(reply, "Recipient address refused")) << reply;
    }
    EXPECT_EQ(server.Connections(), 0u);
}

TEST(TSmtpClient, NoConnectionLeavesTheReplyAlone) {
    TSmtpClient smtp;
    smtp.Server.host = "no-such-host.invalid";
    const Envelope mail{"list@example.org", {}, {}};
    std::string reply = "as passed";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "as passed");
}

TEST(TSmtpClient, SilenceCloseOrEndlessReplyIsRefusal) {
    FakeMailServer server({
        ServerScript().SendLine("220 ready").Expect(Helo()).Send("250-first\r\n").Silence(),
        ServerScript().SendLine("220 ready").Expect(Helo()).Silence(),
        ServerScript().Send("220 rea").Close(),
        ServerScript().Send("220-" + std::string(100 * 1024, 'x') + "\r\n220 ok\r\n").Silence(),
    });
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    smtp.ReadTimeoutMs = kShortMs;
    std::string reply = "before";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "");
    // The connection was given up: the QUIT is not even sent into it.
    EXPECT_EQ(server.Received(0), Helo() + "\r\n");

    smtp.ReplyTimeoutMs = kShortMs;
    reply = "before";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "");
    EXPECT_EQ(server.Received(1), Helo() + "\r\n");

    smtp.ReplyTimeoutMs = kPatientMs;
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "");
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_EQ(reply, "");
}

TEST(TSmtpClient, ResetDuringDataFailsWithoutSignal) {
    FakeMailServer server({Greeted()
                               .Reply("RCPT TO:<ann@example.org>", "250 Ok")
                               .Reply("DATA", "354 go ahead")
                               .Reset()});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    for (int i = 0; i < 200000; ++i) {  // 12 MB, far beyond any buffer
        mail.message += std::string(60, 'x') + "\r\n";
    }
    std::string reply;
    EXPECT_FALSE(smtp.Send(mail, reply));  // SIGPIPE would end the test program instead
    EXPECT_EQ(reply, "");
}

// A stream that answers every write with the next scripted reply and counts the writes.
class ScriptedStream : public ByteStream {
public:
    ScriptedStream(std::deque<std::string>* replies, std::vector<std::string>* writes)
        : replies_(replies), writes_(writes) {}
    bool WriteAll(std::string_view bytes, int) override {
        writes_->emplace_back(bytes);
        return true;
    }
    ReadResult ReadSome(char* buffer, std::size_t size, int) override {
        if (replies_->empty()) {
            return {ReadStatus::Closed, 0};
        }
        std::string& next = replies_->front();
        std::size_t count = std::min(size, next.size());
        next.copy(buffer, count);
        next.erase(0, count);
        if (next.empty()) {
            replies_->pop_front();
        }
        return {ReadStatus::Data, count};
    }
    bool WaitReadable(int) override { return !replies_->empty(); }
    void Close() override {}

private:
    std::deque<std::string>* replies_;
    std::vector<std::string>* writes_;
};

class ScriptedConnector : public StreamConnector {
public:
    std::unique_ptr<ByteStream> Open(const std::string&, int, int) override {
        return std::make_unique<ScriptedStream>(&replies, &writes);
    }
    std::deque<std::string> replies;
    std::vector<std::string> writes;
};

TEST(TSmtpClient, MessageDataGoesOutInLargeWrites) {
    auto connector = std::make_unique<ScriptedConnector>();
    ScriptedConnector& seen = *connector;
    seen.replies = {"220 hi\r\n", "250 hello\r\n", "250 ok\r\n",
                    "250 ok\r\n", "354 go\r\n",    "250 queued\r\n"};
    TSmtpClient smtp(std::move(connector));
    smtp.Server.host = "mail.example.org";
    Envelope mail{"list@example.org", {"ann@example.org"}, {}};
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        std::string line = (i % 7 == 0 ? "." : "") + std::string("body line ") + std::to_string(i);
        mail.message += line + "\r\n";
        expected += (line[0] == '.' ? "." : "") + line + "\r\n";
    }
    expected += ".\r\n";
    std::string reply;
    ASSERT_TRUE(smtp.Send(mail, reply));
    // HELO, MAIL, RCPT, DATA, then the data, then QUIT.
    ASSERT_GT(seen.writes.size(), 5u);
    std::vector<std::string> data(seen.writes.begin() + 4, seen.writes.end() - 1);
    std::string joined;
    for (const std::string& piece : data) {
        joined += piece;
    }
    EXPECT_EQ(joined, expected);
    EXPECT_LE(data.size(), expected.size() / (64 * 1024) + 1);
    EXPECT_EQ(seen.writes.back(), "QUIT\r\n");
}

// TLS: the server's certificate is pinned, so no CA file is needed here (the checks
// themselves are TlsStream's tests).
const testing::TestIdentity& ServerCert() {
    static const testing::TestIdentity identity =
        testing::SelfSigned({"localhost", {"localhost"}, {"127.0.0.1"}});
    return identity;
}

std::string Ehlo() {
    return "EHLO " + LocalHostName();
}

void Secure(TSmtpClient& smtp, const char* mode) {
    smtp.Server.security = {mode, ServerCert().fingerprint, ""};
    smtp.Server.requireAuthentication = true;
    smtp.Server.user = "alice";
    smtp.Server.password = "secret";
}

ServerScript Delivers(ServerScript script) {
    script.Reply("MAIL FROM:<list@example.org>", "250 Ok")
        .Reply("RCPT TO:<ann@example.org>", "250 Ok")
        .Reply("DATA", "354 go ahead")
        .ExpectData()
        .SendLine("250 queued")
        .Expect("QUIT");
    return script;
}

TEST(TSmtpClient, StartTlsThenEhloAgainAndAuthPlainOrImplicitTlsWithLogin) {
    FakeMailServer server({
        Delivers(ServerScript()
                     .SendLine("220 ready")
                     .Expect(Ehlo())
                     .Send("250-mail.example.org\r\n250-AUTH LOGIN\r\n250 STARTTLS\r\n")
                     .Reply("STARTTLS", "220 2.0.0 go ahead")
                     .StartTls(ServerCert().Pem())
                     .Expect(Ehlo())
                     .Send("250-mail.example.org\r\n250 AUTH LOGIN PLAIN\r\n")
                     .Reply("AUTH PLAIN AGFsaWNlAHNlY3JldA==", "235 2.7.0 ok")),
        Delivers(ServerScript()
                     .StartTls(ServerCert().Pem())
                     .SendLine("220 ready")
                     .Expect(Ehlo())
                     .Send("250-mail.example.org\r\n250 AUTH=LOGIN\r\n")
                     .Reply("AUTH LOGIN", "334 VXNlcm5hbWU6")
                     .Reply("YWxpY2U=", "334 UGFzc3dvcmQ6")
                     .Reply("c2VjcmV0", "235 ok")),
    });
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    Secure(smtp, "starttls");
    std::string reply;
    EXPECT_TRUE(smtp.Send(mail, reply)) << reply;
    const std::string tail =
        "MAIL FROM:<list@example.org>\r\nRCPT TO:<ann@example.org>\r\nDATA\r\n"
        "Subject: hi\r\n\r\nHello.\r\n.\r\nQUIT\r\n";
    // Only the EHLO after the handshake counts: AUTH PLAIN was not offered before it.
    EXPECT_EQ(server.Received(0), Ehlo() + "\r\nSTARTTLS\r\n" + testing::kTlsMarker + Ehlo() +
                                      "\r\nAUTH PLAIN AGFsaWNlAHNlY3JldA==\r\n" + tail);
    Secure(smtp, "tls");
    EXPECT_TRUE(smtp.Send(mail, reply)) << reply;
    EXPECT_EQ(server.Received(1),
              testing::kTlsMarker + Ehlo() + "\r\nAUTH LOGIN\r\nYWxpY2U=\r\nc2VjcmV0\r\n" + tail);
    EXPECT_TRUE(server.Problems().empty());
}

TEST(TSmtpClient, NoCredentialLeavesWhenTlsOrAMechanismIsMissing) {
    struct Case {
        const char* name;
        ServerScript script;
        const char* mode;
        MailFailure expected;
        const char* reason;
    };
    auto greeted = [](const std::string& ehlo) {
        return ServerScript().SendLine("220 ready").Expect(Ehlo()).Send(ehlo);
    };
    const std::string other = testing::SelfSigned({"other", {"other"}, {}}).Pem();
    Case cases[] = {
        {"STARTTLS stripped from the EHLO reply",
         greeted("250-mail.example.org\r\n250 AUTH PLAIN\r\n"), "starttls", MailFailure::Tls,
         "does not offer STARTTLS"},
        {"STARTTLS refused",
         greeted("250-mail.example.org\r\n250 STARTTLS\r\n").Reply("STARTTLS", "454 4.7.0 not now"),
         "starttls", MailFailure::Tls, "refused STARTTLS: 454 4.7.0 not now"},
        {"a reply slipped in after 220",
         greeted("250-mail.example.org\r\n250 STARTTLS\r\n")
             .Expect("STARTTLS")
             .Send("220 go\r\n220 injected\r\n"),
         "starttls", MailFailure::Tls, "more than its answer"},
        {"neither PLAIN nor LOGIN",
         ServerScript()
             .StartTls(ServerCert().Pem())
             .SendLine("220 ready")
             .Expect(Ehlo())
             .Send("250-mail.example.org\r\n250 AUTH CRAM-MD5\r\n"),
         "tls", MailFailure::Auth, "offers neither AUTH PLAIN nor AUTH LOGIN"},
        {"another certificate", ServerScript().StartTls(other), "tls", MailFailure::Certificate,
         "certificate of 127.0.0.1 refused: fingerprint mismatch"},
    };
    for (Case& test : cases) {
        SCOPED_TRACE(test.name);
        FakeMailServer server({test.script});
        TSmtpClient smtp;
        Envelope mail = PointAt(smtp, server);
        Secure(smtp, test.mode);
        const SmtpResult result = smtp.Submit(mail);
        EXPECT_EQ(result.error.kind, test.expected);
        EXPECT_TRUE(Contains(result.error.Text(), test.reason)) << result.error.Text();
        const std::string received = server.Received(0);
        EXPECT_FALSE(Contains(received, "AUTH") || Contains(received, "MAIL")) << received;
    }
}

TEST(TSmtpClient, SendSaysInWordsWhatTheProgramRefused) {
    FakeMailServer server(
        {ServerScript().StartTls(testing::SelfSigned({"other", {"other"}, {}}).Pem())});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    Secure(smtp, "tls");
    std::string reply;
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(Contains(reply, "certificate of 127.0.0.1 refused")) << reply;
    smtp.Server.security.Mode = "smoke signals";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(Contains(reply, "unknown security mode")) << reply;
    EXPECT_EQ(server.Connections(), 1u);
}

TEST(TSmtpClient, ProbeListsTheCapabilitiesAfterStartTlsAndTriesTheLogin) {
    FakeMailServer server({ServerScript()
                               .SendLine("220 ready")
                               .Expect(Ehlo())
                               .Send("250-mail.example.org\r\n250 STARTTLS\r\n")
                               .Reply("STARTTLS", "220 go ahead")
                               .StartTls(ServerCert().Pem())
                               .Expect(Ehlo())
                               .Send("250-mail.example.org\r\n250-SIZE 1000\r\n250 AUTH PLAIN\r\n")
                               .Reply("AUTH PLAIN AGFsaWNlAHNlY3JldA==", "535 5.7.8 no")
                               .Expect("QUIT")});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    Secure(smtp, "starttls");
    const ProbeReport report = smtp.Probe();
    EXPECT_EQ(report.security, "starttls");
    EXPECT_TRUE(report.tls.used && report.tls.pinned);
    EXPECT_EQ(report.capabilities, (Lines{"SIZE 1000", "AUTH PLAIN"}));
    EXPECT_EQ(report.login, LoginOutcome::Refused);
    EXPECT_EQ(report.error.kind, MailFailure::Auth);
    EXPECT_EQ(report.error.serverReply, "535 5.7.8 no");
    EXPECT_TRUE(server.Problems().empty());
}

}  // namespace
}  // namespace corvanteer
