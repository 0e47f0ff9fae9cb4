// The POP3 and SMTP clients against real servers: Dovecot for POP3 and the harness's SMTP
// server, which files what it accepts into the Maildirs Dovecot serves. One pair of servers
// serves the whole program; every test uses its own mailbox users, and a test that changes
// the servers' settings puts them back before it ends.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "e2e/MailServers.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {
namespace {

using testing::MailServers;

// Long enough for a loaded machine, short enough that a failure does not wait the
// described protocol minutes.
constexpr int kWaitMs = 15000;

class TransportE2e : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        servers_ = std::make_unique<MailServers>();
        servers_->Start();
    }
    static void TearDownTestSuite() { servers_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(servers_ && servers_->Started()) << "the mail servers did not start";
    }

    static MailServers& Servers() { return *servers_; }

    static std::unique_ptr<TPop3Client> Pop3For(const std::string& user,
                                                const std::string& password) {
        auto pop3 = std::make_unique<TPop3Client>();
        pop3->HostAddress = servers_->Host();
        pop3->Port = servers_->Pop3Port();
        pop3->User = user;
        pop3->Password = password;
        pop3->ConnectTimeoutMs = kWaitMs;
        pop3->FirstByteTimeoutMs = kWaitMs;
        pop3->ReadTimeoutMs = kWaitMs;
        pop3->MultiLineReadTimeoutMs = kWaitMs;
        pop3->SendTimeoutMs = kWaitMs;
        return pop3;
    }

    static void PointSmtp(TSmtpClient& smtp) {
        smtp.Server.host = servers_->Host();
        smtp.Server.port = servers_->SmtpPort();
        smtp.ConnectTimeoutMs = kWaitMs;
        smtp.ReplyTimeoutMs = kWaitMs;
        smtp.ReadTimeoutMs = kWaitMs;
        smtp.SendTimeoutMs = kWaitMs;
    }

    // The number of messages a fresh login sees.
    static int CountAfterLogin(const std::string& user, const std::string& password) {
        auto pop3 = Pop3For(user, password);
        EXPECT_TRUE(pop3->Login());
        const int count = pop3->MessageCount;
        pop3->Quit();
        return count;
    }

private:
    static std::unique_ptr<MailServers> servers_;
};

std::unique_ptr<MailServers> TransportE2e::servers_;

std::string Message(const std::string& subject, const std::string& body) {
    return "From: sender@example.test\r\nTo: list@example.test\r\nSubject: " + subject +
           "\r\n\r\n" + body;
}

// Puts RequireSmtpAuth back to false however the test ends.
class SmtpAuthRequired {
public:
    explicit SmtpAuthRequired(MailServers& servers) : servers_(servers) {
        servers_.RequireSmtpAuth(true);
    }
    ~SmtpAuthRequired() { servers_.RequireSmtpAuth(false); }
    SmtpAuthRequired(const SmtpAuthRequired&) = delete;
    SmtpAuthRequired& operator=(const SmtpAuthRequired&) = delete;

private:
    MailServers& servers_;
};

// ---- POP3 ----

TEST_F(TransportE2e, Pop3LoginChecksThePasswordAndStatCounts) {
    Servers().AddUser("login-user", "right-pass");
    const std::string first = Message("one", "first\r\n");
    const std::string second = Message("two", "second body\r\nof two lines\r\n");
    Servers().PutMessage("login-user", first);
    Servers().PutMessage("login-user", second);

    auto wrong = Pop3For("login-user", "wrong-pass");
    EXPECT_FALSE(wrong->Login());
    wrong->Quit();

    auto pop3 = Pop3For("login-user", "right-pass");
    ASSERT_TRUE(pop3->Login());
    EXPECT_EQ(2, pop3->MessageCount);
    EXPECT_EQ(static_cast<int>(first.size() + second.size()), pop3->MailboxSize);

    Servers().PutMessage("login-user", Message("three", "third\r\n"));
    // A POP3 session sees the mailbox as it was at login.
    ASSERT_TRUE(pop3->Stat());
    EXPECT_EQ(2, pop3->MessageCount);
    pop3->Quit();
    EXPECT_EQ(3, CountAfterLogin("login-user", "right-pass"));
}

TEST_F(TransportE2e, Pop3TopWithoutBodyLinesGivesTheHeaderAndOneEmptyLine) {
    Servers().AddUser("top-user", "pw");
    Servers().PutMessage("top-user",
                         "From: a@example.test\r\nSubject: header only\r\nX-Folded: one\r\n"
                         " two\r\n\r\nbody one\r\nbody two\r\n");
    auto pop3 = Pop3For("top-user", "pw");
    ASSERT_TRUE(pop3->Login());
    pop3->Body = {"left over"};
    pop3->TopLines = 0;
    pop3->Top(1);
    EXPECT_EQ((Lines{"From: a@example.test", "Subject: header only", "X-Folded: one", " two", ""}),
              pop3->Header);
    EXPECT_TRUE(pop3->Body.empty());

    pop3->TopLines = 1;
    pop3->Top(1);
    EXPECT_EQ(5u, pop3->Header.size());
    EXPECT_EQ((Lines{"body one"}), pop3->Body);

    // A message that does not exist: the raw negative reply in Header.
    pop3->Top(7);
    ASSERT_EQ(1u, pop3->Header.size());
    EXPECT_TRUE(StartsWith(pop3->Header[0], "-ERR")) << pop3->Header[0];
    pop3->Quit();
}

TEST_F(TransportE2e, Pop3RetrieveUnstuffsLinesThatBeginWithDots) {
    Servers().AddUser("dots-user", "pw");
    const Lines body = {".one dot", "..two dots", "...", "...three", ".", "", "plain", ". "};
    Servers().PutMessage("dots-user", Message("dots", LinesToText(body)));
    auto pop3 = Pop3For("dots-user", "pw");
    ASSERT_TRUE(pop3->Login());
    pop3->Retrieve(1);
    EXPECT_EQ(body, pop3->Body);
    pop3->Quit();
}

TEST_F(TransportE2e, Pop3RetrievesAFiveMegabyteMessageWhole) {
    Servers().AddUser("big-user", "pw");
    std::string body;
    body.reserve(5 * 1024 * 1024 + 200);
    for (int line = 0; body.size() < 5 * 1024 * 1024; ++line) {
        // Lines of changing length; every 97th begins with a dot so stuffing runs all along.
        if (line % 97 == 0) {
            body += ".";
        }
        body += "line " + std::to_string(line) + " " +
                std::string(static_cast<size_t>(line % 71), 'x') + "\r\n";
    }
    Servers().PutMessage("big-user", Message("big", body));
    auto pop3 = Pop3For("big-user", "pw");
    ASSERT_TRUE(pop3->Login());
    pop3->Retrieve(1);
    const std::string got = LinesToText(pop3->Body);
    EXPECT_EQ(body.size(), got.size());
    EXPECT_TRUE(body == got) << "the body differs from the one put into the mailbox";
    pop3->Quit();
}

TEST_F(TransportE2e, Pop3DeleteTakesEffectOnlyWithQuit) {
    Servers().AddUser("dele-user", "pw");
    for (const char* subject : {"first", "second", "third"}) {
        Servers().PutMessage("dele-user", Message(subject, std::string(subject) + " body\r\n"));
    }

    {
        auto pop3 = Pop3For("dele-user", "pw");
        ASSERT_TRUE(pop3->Login());
        ASSERT_EQ(3, pop3->MessageCount);
        EXPECT_TRUE(pop3->Delete(2));
        EXPECT_FALSE(pop3->Delete(2));  // already marked
        EXPECT_FALSE(pop3->Delete(9));  // no such message
        pop3->Quit();
    }
    EXPECT_EQ(2, CountAfterLogin("dele-user", "pw"));
    const std::vector<std::string> left = Servers().ReadMailbox("dele-user");
    ASSERT_EQ(2u, left.size());
    EXPECT_EQ(Message("first", "first body\r\n"), left[0]);
    EXPECT_EQ(Message("third", "third body\r\n"), left[1]);

    {
        // Marked, then the connection ends without QUIT when the client goes away.
        auto pop3 = Pop3For("dele-user", "pw");
        ASSERT_TRUE(pop3->Login());
        EXPECT_TRUE(pop3->Delete(1));
        EXPECT_TRUE(pop3->Delete(2));
    }
    EXPECT_EQ(2, CountAfterLogin("dele-user", "pw"));
    EXPECT_EQ(left, Servers().ReadMailbox("dele-user"));
}

// ---- SMTP ----

TEST_F(TransportE2e, SmtpAuthLoginWithRightAndWrongCredentials) {
    Servers().AddUser("auth-rcpt", "pw");
    Servers().SetSmtpAuth("poster", "post-secret");
    SmtpAuthRequired required(Servers());

    TSmtpClient smtp;
    PointSmtp(smtp);
    const Envelope mail{"poster@example.test",
                        {MailServers::Address("auth-rcpt")},
                        "Subject: auth\r\n\r\nsent after AUTH LOGIN\r\n"};
    smtp.Server.requireAuthentication = true;
    smtp.Server.user = "poster";

    std::string reply;
    smtp.Server.password = "not-the-secret";
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(StartsWith(reply, "535")) << reply;

    // Without AUTH the server refuses the envelope.
    smtp.Server.requireAuthentication = false;
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(StartsWith(reply, "530")) << reply;
    EXPECT_TRUE(Servers().ReadMailbox("auth-rcpt").empty());

    smtp.Server.requireAuthentication = true;
    smtp.Server.password = "post-secret";
    EXPECT_TRUE(smtp.Send(mail, reply)) << reply;
    EXPECT_TRUE(StartsWith(reply, "250")) << reply;
    const std::vector<std::string> got = Servers().ReadMailbox("auth-rcpt");
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("Subject: auth\r\n\r\nsent after AUTH LOGIN\r\n", got[0]);
}

TEST_F(TransportE2e, SmtpDeliversOneMessageToThreeMaildirsByteForByte) {
    const std::vector<std::string> users = {"three-a", "three-b", "three-c"};
    for (const std::string& user : users) {
        Servers().AddUser(user, "pw");
    }
    TSmtpClient smtp;
    PointSmtp(smtp);
    const std::string expected =
        "From: owner@example.test\r\nTo: list@example.test\r\nSubject: to three\r\n\r\n"
        "First line.\r\n.\r\n.leading dot\r\n..two dots\r\n\r\n"
        "-- \r\nThe list signature\r\n.dotted signature line\r\n";
    Envelope mail{"owner@example.test", {}, expected};
    for (const std::string& user : users) {
        mail.recipients.push_back(MailServers::Address(user));
    }

    std::string reply;
    ASSERT_TRUE(smtp.Send(mail, reply)) << reply;
    for (const std::string& user : users) {
        const std::vector<std::string> got = Servers().ReadMailbox(user);
        ASSERT_EQ(1u, got.size()) << user;
        EXPECT_EQ(expected, got[0]) << user;
    }

    // And back out through POP3, as a member's mail program would see it.
    auto pop3 = Pop3For("three-b", "pw");
    ASSERT_TRUE(pop3->Login());
    ASSERT_EQ(1, pop3->MessageCount);
    pop3->Retrieve(1);
    EXPECT_EQ((Lines{"First line.", ".", ".leading dot", "..two dots", "", "-- ",
                     "The list signature", ".dotted signature line"}),
              pop3->Body);
    pop3->Quit();
}

TEST_F(TransportE2e, SmtpRefusedRecipientEndsTheSessionAndDeliversNothing) {
    Servers().AddUser("refused-a", "pw");
    Servers().AddUser("refused-c", "pw");
    TSmtpClient smtp;
    PointSmtp(smtp);
    Envelope mail{"owner@example.test",
                  {MailServers::Address("refused-a"), "reject-me@example.test",
                   MailServers::Address("refused-c")},
                  "Subject: never\r\n\r\nmust not arrive\r\n"};
    std::string reply;
    EXPECT_FALSE(smtp.Send(mail, reply));
    EXPECT_TRUE(StartsWith(reply, "550")) << reply;
    EXPECT_TRUE(Servers().ReadMailbox("refused-a").empty());
    EXPECT_TRUE(Servers().ReadMailbox("refused-c").empty());
    EXPECT_TRUE(Servers().ReadMailbox("reject-me").empty());

    // The same client and server deliver once the refused address is gone.
    mail.recipients = {MailServers::Address("refused-a"), MailServers::Address("refused-c")};
    ASSERT_TRUE(smtp.Send(mail, reply)) << reply;
    EXPECT_EQ(1u, Servers().ReadMailbox("refused-a").size());
    EXPECT_EQ(1u, Servers().ReadMailbox("refused-c").size());
}

TEST_F(TransportE2e, SmtpServerDownFailsAtOnce) {
    Servers().AddUser("down-user", "pw");
    TSmtpClient smtp;
    // The described time-outs stay as they are: a refused connection must not wait on them.
    smtp.Server.host = Servers().Host();
    smtp.Server.port = Servers().SmtpPort();
    const Envelope mail{
        "owner@example.test", {MailServers::Address("down-user")}, "Subject: down\r\n\r\nbody\r\n"};

    Servers().StopSmtp();
    std::string reply = "as passed";
    const auto start = std::chrono::steady_clock::now();
    const bool sent = smtp.Send(mail, reply);
    const auto took = std::chrono::steady_clock::now() - start;
    Servers().StartSmtp();

    EXPECT_FALSE(sent);
    EXPECT_EQ("as passed", reply);
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_TRUE(smtp.Send(mail, reply)) << reply;
    EXPECT_EQ(1u, Servers().ReadMailbox("down-user").size());
}

}  // namespace
}  // namespace corvanteer
