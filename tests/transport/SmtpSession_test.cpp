// Several messages on one SMTP connection: EHLO and PIPELINING, partial delivery, RSET after
// a refused transaction, 421, and the reply codes that tell the sender to slow down.

#include <gtest/gtest.h>
#include <deque>

#include "common/FakeMailServer.h"
#include "transport/HostNames.h"
#include "transport/SmtpReplies.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

constexpr int kPatientMs = 3000;

// Points the client at the server and gives the message the tests send (its recipients are
// each test's).
Envelope PointAt(TSmtpClient& smtp, const FakeMailServer& server) {
    smtp.Server.host = server.Host();
    smtp.Server.port = server.Port();
    smtp.ConnectTimeoutMs = kPatientMs;
    smtp.ReplyTimeoutMs = kPatientMs;
    smtp.ReadTimeoutMs = kPatientMs;
    smtp.SendTimeoutMs = kPatientMs;
    smtp.SessionMessages = 5;
    return Envelope{"list@example.org", {}, "Subject: hi\r\n\r\nHello.\r\n"};
}

std::string Ehlo() {
    return "EHLO " + LocalHostName();
}

ServerScript Greeted(const std::string& ehloReply) {
    ServerScript script;
    script.SendLine("220 ready").Expect(Ehlo()).Send(ehloReply);
    return script;
}

std::string Message(const std::string& to) {
    return "MAIL FROM:<list@example.org>\r\nRCPT TO:<" + to +
           ">\r\nDATA\r\nSubject: hi\r\n\r\nHello.\r\n.\r\n";
}

TEST(SmtpSession, MessagesShareOneConnectionAndARefusedOneIsFollowedByRset) {
    FakeMailServer server({Greeted("250-mail.example.org\r\n250 PIPELINING\r\n")
                               .Reply("MAIL FROM:<list@example.org>", "250 ok")
                               .Reply("RCPT TO:<ann@example.org>", "250 ok")
                               .Reply("DATA", "354 go")
                               .ExpectData()
                               .SendLine("250 queued 1")
                               .Reply("MAIL FROM:<list@example.org>", "250 ok")
                               .Reply("RCPT TO:<bob@example.org>", "550 5.1.1 no such user")
                               .Reply("DATA", "554 5.5.1 no valid recipients")
                               .Reply("RSET", "250 flushed")
                               .Reply("MAIL FROM:<list@example.org>", "250 ok")
                               .Reply("RCPT TO:<cid@example.org>", "250 ok")
                               .Reply("DATA", "354 go")
                               .ExpectData()
                               .SendLine("250 queued 2")
                               .Expect("QUIT")});
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    const char* expected[] = {"250 queued 1", "550 5.1.1 no such user", "250 queued 2"};
    const char* recipients[] = {"ann@example.org", "bob@example.org", "cid@example.org"};
    for (int i = 0; i < 3; ++i) {
        mail.recipients = {recipients[i]};
        const SmtpTransaction tx = smtp.Transact(mail, true);
        EXPECT_EQ(tx.ok(), i != 1);
        EXPECT_EQ(tx.result.lastReply, expected[i]);
        EXPECT_TRUE(tx.refused.empty());  // a lone recipient refused fails the message
        EXPECT_TRUE(smtp.SessionOpen());
        EXPECT_TRUE(smtp.Pipelining());
    }
    smtp.EndSession();
    EXPECT_FALSE(smtp.SessionOpen());
    EXPECT_EQ(server.Connections(), 1u);
    EXPECT_EQ(server.Received(0), Ehlo() + "\r\n" + Message("ann@example.org") +
                                      "MAIL FROM:<list@example.org>\r\nRCPT "
                                      "TO:<bob@example.org>\r\nDATA\r\nRSET\r\n" +
                                      Message("cid@example.org") + "QUIT\r\n");
    EXPECT_TRUE(server.Problems().empty());
}

TEST(SmtpSession, PartialDeliveryLeavesOutRefusedRecipientsWithAndWithoutPipelining) {
    struct Case {
        const char* name;
        ServerScript script;
        bool pipelining;
    };
    auto tail = [](ServerScript script) {
        script.Reply("MAIL FROM:<list@example.org>", "250 ok")
            .Reply("RCPT TO:<a@example.org>", "250 ok")
            .Reply("RCPT TO:<b@example.org>", "550 5.1.1 unknown")
            .Reply("RCPT TO:<c@example.org>", "450 4.2.1 busy")
            .Reply("RCPT TO:<d@example.org>", "250 ok")
            .Reply("DATA", "354 go")
            .ExpectData()
            .SendLine("250 queued")
            .Expect("QUIT");
        return script;
    };
    Case cases[] = {
        {"EHLO refused, HELO then",
         tail(Greeted("502 5.5.2 what?\r\n").Reply("HELO " + LocalHostName(), "250 hello")), false},
        {"pipelined", tail(Greeted("250-mail.example.org\r\n250 PIPELINING\r\n")), true},
    };
    for (Case& test : cases) {
        SCOPED_TRACE(test.name);
        FakeMailServer server({test.script});
        TSmtpClient smtp;
        Envelope mail = PointAt(smtp, server);
        mail.recipients = {"a@example.org", "b@example.org", "c@example.org", "d@example.org"};
        const SmtpTransaction tx = smtp.Transact(mail, true);
        EXPECT_TRUE(tx.ok()) << tx.result.error.Text();
        EXPECT_TRUE(tx.dataSent);
        ASSERT_EQ(tx.refused.size(), 2u);
        EXPECT_EQ(tx.refused[0].address, "b@example.org");
        EXPECT_EQ(tx.refused[0].reply, "550 5.1.1 unknown");
        EXPECT_EQ(tx.refused[1].reply, "450 4.2.1 busy");
        EXPECT_EQ(smtp.Pipelining(), test.pipelining);
        smtp.EndSession();
        EXPECT_TRUE(server.Problems().empty());
    }
}

TEST(SmtpSession, A421EndsTheConnectionAndTheNextMessageOpensAnother) {
    FakeMailServer server({
        Greeted("250 mail.example.org\r\n")
            .Reply("MAIL FROM:<list@example.org>", "421 4.7.0 too many messages")
            .Close(),
        Greeted("250 mail.example.org\r\n")
            .Reply("MAIL FROM:<list@example.org>", "250 ok")
            .Reply("RCPT TO:<ann@example.org>", "250 ok")
            .Reply("DATA", "354 go")
            .ExpectData()
            .SendLine("250 queued")
            .Close(),
        Greeted("250 mail.example.org\r\n").Expect("QUIT"),
    });
    TSmtpClient smtp;
    Envelope mail = PointAt(smtp, server);
    mail.recipients = {"ann@example.org"};
    SmtpTransaction tx = smtp.Transact(mail, true);
    EXPECT_FALSE(tx.ok());
    EXPECT_FALSE(tx.connectionPhase || tx.dataSent);
    EXPECT_EQ(tx.result.lastReply, "421 4.7.0 too many messages");
    EXPECT_FALSE(smtp.SessionOpen());

    tx = smtp.Transact(mail, true);
    EXPECT_TRUE(tx.ok());
    // The server closed after the message: found when the next one starts.
    tx = smtp.Transact(mail, true);
    EXPECT_FALSE(tx.ok());
    EXPECT_EQ(tx.result.error.kind, MailFailure::Connection);
    EXPECT_FALSE(tx.dataSent);
    EXPECT_FALSE(smtp.SessionOpen());

    smtp.Server.host = "no-such-host.invalid";
    tx = smtp.Transact(mail, true);
    EXPECT_TRUE(tx.connectionPhase);
    EXPECT_EQ(tx.result.error.kind, MailFailure::Connect);
}

// A stream that hands out scripted replies and keeps every write as it came.
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
        std::string next = std::move(replies_->front());
        replies_->pop_front();
        const std::size_t count = std::min(size, next.size());
        next.copy(buffer, count);
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

TEST(SmtpSession, PipelinedGroupGoesOutInOneWriteAndRepliesMaySplitAnywhere) {
    auto connector = std::make_unique<ScriptedConnector>();
    ScriptedConnector& seen = *connector;
    seen.replies = {"220 hi\r\n", "250-hello\r\n250 PIPELINING\r\n",
                    // Replies of the group cut at odd places, several in one read.
                    "250 ok\r\n25", "0 ok\r\n550 5.1.1 no\r\n354", " go\r\n", "250 queued\r\n",
                    // The second message: nobody accepted, yet DATA said 354.
                    "250 ok\r\n550 no\r\n354 go\r\n", "554 no recipients\r\n",
                    // The third: a reply more than was asked for.
                    "250 flushed\r\n", "250 ok\r\n250 ok\r\n354 go\r\n250 surplus\r\n"};
    TSmtpClient smtp(std::move(connector));
    smtp.Server.host = "mail.example.org";
    smtp.SessionMessages = 3;
    Envelope mail{"list@example.org", {"ann@example.org", "bob@example.org"}, "x"};
    SmtpTransaction tx = smtp.Transact(mail, true);
    ASSERT_TRUE(tx.ok()) << tx.result.error.Text();
    ASSERT_EQ(tx.refused.size(), 1u);
    EXPECT_EQ(tx.refused[0].address, "bob@example.org");
    ASSERT_EQ(seen.writes.size(), 3u);  // EHLO, the group, the data
    EXPECT_EQ(seen.writes[1],
              "MAIL FROM:<list@example.org>\r\nRCPT TO:<ann@example.org>\r\nRCPT "
              "TO:<bob@example.org>\r\nDATA\r\n");
    EXPECT_EQ(seen.writes[2], "x\r\n.\r\n");

    mail.recipients = {"bob@example.org"};
    tx = smtp.Transact(mail, true);
    EXPECT_FALSE(tx.ok());
    EXPECT_EQ(tx.result.lastReply, "550 no");
    EXPECT_EQ(seen.writes.back(), ".\r\n");  // the data ended at once, nothing delivered

    mail.recipients = {"ann@example.org"};
    tx = smtp.Transact(mail, true);
    EXPECT_FALSE(tx.ok());
    EXPECT_TRUE(Contains(tx.result.error.reason, "more replies")) << tx.result.error.reason;
    EXPECT_EQ(seen.writes[seen.writes.size() - 2], "RSET\r\n");
    EXPECT_FALSE(smtp.SessionOpen());
}

TEST(SmtpSession, WholeMessageRefusalWaitsForTheRecipientsBeforeData) {
    auto connector = std::make_unique<ScriptedConnector>();
    ScriptedConnector& seen = *connector;
    seen.replies = {"220 hi\r\n", "250-hello\r\n250 PIPELINING\r\n",
                    "250 ok\r\n250 ok\r\n550 no\r\n"};
    TSmtpClient smtp(std::move(connector));
    smtp.Server.host = "mail.example.org";
    smtp.SessionMessages = 2;
    const Envelope mail{"list@example.org", {"ann@example.org", "bob@example.org"}, {}};
    const SmtpTransaction tx = smtp.Transact(mail, false);
    EXPECT_FALSE(tx.ok());
    EXPECT_EQ(tx.result.lastReply, "550 no");
    EXPECT_EQ(seen.writes.back(),
              "MAIL FROM:<list@example.org>\r\nRCPT TO:<ann@example.org>\r\nRCPT "
              "TO:<bob@example.org>\r\n");
}

TEST(SmtpReplies, CodesAndLimits) {
    struct Case {
        const char* reply;
        int code;
        const char* enhanced;
        bool overLimit;
    };
    const Case cases[] = {
        {"421 4.7.0 Try again later", 421, "4.7.0", true},
        {"450 4.7.1 Rate limited", 450, "4.7.1", true},
        {"451 4.4.5 Server busy", 451, "4.4.5", true},
        {"452 4.5.3 Too many recipients", 452, "4.5.3", true},
        {"452 4.2.2 Mailbox full", 452, "4.2.2", false},
        {"421 Service closing", 421, "", false},
        {"550 5.7.1 Refused", 550, "5.7.1", false},
        {"450-4.7.1 first line", 450, "4.7.1", true},
        {"250", 250, "", false},
        {"25x oops", 0, "", false},
        {"", 0, "", false},
        {"421 4.7. broken", 421, "", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.reply);
        EXPECT_EQ(ReplyCode(test.reply), test.code);
        EXPECT_EQ(EnhancedCode(test.reply), test.enhanced);
        EXPECT_EQ(IsOverLimitReply(test.reply), test.overLimit);
    }
    EXPECT_TRUE(IsTransientReply("451 later") && !IsTransientReply("550 no"));
    EXPECT_TRUE(IsPermanentReply("550 no") && !IsPermanentReply("250 ok"));
}

}  // namespace
}  // namespace corvanteer
