// Proves the end-to-end harness with plain sockets only: what the servers accept, where the
// mail lands, and that nothing is left behind.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "e2e/ChildProcess.h"
#include "e2e/LineClient.h"
#include "e2e/MailServers.h"

namespace {

using corvanteer::testing::LineClient;
using corvanteer::testing::MailServerOptions;
using corvanteer::testing::MailServers;

std::string Base64(const std::string& text) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8) |
                           static_cast<unsigned char>(text[i + 2]);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
    }
    if (i + 1 == text.size()) {
        const unsigned v = static_cast<unsigned char>(text[i]) << 16;
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == text.size()) {
        const unsigned v = (static_cast<unsigned char>(text[i]) << 16) |
                           (static_cast<unsigned char>(text[i + 1]) << 8);
        out += {kDigits[v >> 18], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
    }
    return out;
}

std::string Message(const std::string& subject, const std::string& body) {
    return "From: sender@example.test\r\nSubject: " + subject + "\r\n\r\n" + body;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool GroupIsGone(pid_t group) {
    return !corvanteer::testing::GroupHasLiveProcesses(group);
}

class MailServersTest : public ::testing::Test {
protected:
    void SetUp() override { servers.Start(); }

    // USER/PASS on a fresh connection; the reply to PASS.
    std::string Pop3Login(LineClient& pop3, const std::string& user, const std::string& password,
                          MailServers& on) {
        pop3.Connect(on.Host(), on.Pop3Port());
        EXPECT_TRUE(StartsWith(pop3.ReadLine(), "+OK"));
        EXPECT_TRUE(StartsWith(pop3.Command("USER " + user), "+OK"));
        return pop3.Command("PASS " + password);
    }
    std::string Pop3Login(LineClient& pop3, const std::string& user, const std::string& password) {
        return Pop3Login(pop3, user, password, servers);
    }

    // Connects and greets with HELO.
    void SmtpHello(LineClient& smtp) {
        smtp.Connect(servers.Host(), servers.SmtpPort());
        ASSERT_TRUE(StartsWith(smtp.ReadSmtpReply(), "220"));
        ASSERT_TRUE(StartsWith(smtp.SmtpCommand("HELO client.test"), "250"));
    }

    // DATA with the message dot-stuffed, then the end mark; the final reply.
    std::string SmtpData(LineClient& smtp, const std::string& message) {
        EXPECT_TRUE(StartsWith(smtp.SmtpCommand("DATA"), "354"));
        std::string wire;
        size_t start = 0;
        while (start < message.size()) {
            size_t end = message.find("\r\n", start);
            end = end == std::string::npos ? message.size() : end + 2;
            if (message[start] == '.') {
                wire += '.';
            }
            wire.append(message, start, end - start);
            start = end;
        }
        smtp.SendRaw(wire + ".\r\n");
        return smtp.ReadSmtpReply();
    }

    MailServers servers;
};

TEST_F(MailServersTest, Pop3SeesPutMessagesAndChecksPasswords) {
    servers.AddUser("alice", "secret1");
    const std::string first = Message("one", "first body\r\n");
    const std::string second = Message("two", "second, longer body\r\nwith two lines\r\n");
    servers.PutMessage("alice", first);
    servers.PutMessage("alice", second);

    LineClient pop3;
    EXPECT_TRUE(StartsWith(Pop3Login(pop3, "alice", "wrong-password"), "-ERR"));
    pop3.Close();
    ASSERT_EQ("+OK Logged in.", Pop3Login(pop3, "alice", "secret1"));
    EXPECT_EQ("+OK 2 " + std::to_string(first.size() + second.size()), pop3.Command("STAT"));
    ASSERT_TRUE(StartsWith(pop3.Command("RETR 2"), "+OK"));
    EXPECT_EQ(second, pop3.ReadDotTerminated());
    EXPECT_TRUE(StartsWith(pop3.Command("QUIT"), "+OK"));

    // Dovecot has moved the messages to cur/ by now; the order stays that of delivery.
    EXPECT_EQ((std::vector<std::string>{first, second}), servers.ReadMailbox("alice"));
    EXPECT_TRUE(servers.ReadMailbox("nobody-here").empty());
}

TEST_F(MailServersTest, ChangedPasswordTakesEffectAtOnce) {
    servers.AddUser("bob", "pass-one");
    LineClient pop3;
    EXPECT_TRUE(StartsWith(Pop3Login(pop3, "bob", "pass-one"), "+OK"));
    pop3.Close();
    // Same length, same second: Dovecot must still notice the new file.
    servers.AddUser("bob", "pass-two");
    EXPECT_TRUE(StartsWith(Pop3Login(pop3, "bob", "pass-one"), "-ERR"));
    pop3.Close();
    EXPECT_TRUE(StartsWith(Pop3Login(pop3, "bob", "pass-two"), "+OK"));
}

TEST_F(MailServersTest, SmtpFilesOneMessageIntoThreeMaildirsByteForByte) {
    for (const char* user : {"alice", "bob", "carol"}) {
        servers.AddUser(user, "pw-" + std::string(user));
    }
    // Lines that begin with dots travel stuffed and must arrive unstuffed; a bare CR inside a
    // line stays as it is.
    const std::string message = Message(
        "to three", "line one\r\n.leading dot\r\n..two dots\r\n.\r\nodd\rcarriage\r\n\r\nend\r\n");

    LineClient smtp;
    SmtpHello(smtp);
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<sender@example.test>"), "250"));
    for (const char* user : {"alice", "bob", "carol"}) {
        EXPECT_TRUE(
            StartsWith(smtp.SmtpCommand("RCPT TO:<" + MailServers::Address(user) + ">"), "250"));
    }
    EXPECT_TRUE(StartsWith(SmtpData(smtp, message), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("QUIT"), "221"));

    for (const char* user : {"alice", "bob", "carol"}) {
        EXPECT_EQ(std::vector<std::string>{message}, servers.ReadMailbox(user)) << user;
    }
    LineClient pop3;
    ASSERT_TRUE(StartsWith(Pop3Login(pop3, "carol", "pw-carol"), "+OK"));
    EXPECT_EQ("+OK 1 " + std::to_string(message.size()), pop3.Command("STAT"));
    ASSERT_TRUE(StartsWith(pop3.Command("RETR 1"), "+OK"));
    EXPECT_EQ(message, pop3.ReadDotTerminated());
}

TEST_F(MailServersTest, DeliveryOrderSpansPutMessageAndSmtp) {
    servers.PutMessage("dave", Message("1", "a\r\n"));
    servers.PutMessage("dave", Message("2", "b\r\n"));
    LineClient smtp;
    SmtpHello(smtp);
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<x@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<dave@elsewhere.test>"), "250"));
    EXPECT_TRUE(StartsWith(SmtpData(smtp, Message("3", "c\r\n")), "250"));
    servers.PutMessage("dave", Message("4", "d\r\n"));

    EXPECT_EQ((std::vector<std::string>{Message("1", "a\r\n"), Message("2", "b\r\n"),
                                        Message("3", "c\r\n"), Message("4", "d\r\n")}),
              servers.ReadMailbox("dave"));
}

TEST_F(MailServersTest, SmtpAuthLoginAcceptsOnlyTheRightCredentials) {
    servers.AddUser("alice", "pw");
    servers.SetSmtpAuth("poster", "s3cret");
    servers.RequireSmtpAuth(true);

    LineClient smtp;
    smtp.Connect(servers.Host(), servers.SmtpPort());
    ASSERT_TRUE(StartsWith(smtp.ReadSmtpReply(), "220"));
    const std::string ehlo = smtp.SmtpCommand("EHLO client.test");
    EXPECT_NE(std::string::npos, ehlo.find("AUTH ")) << ehlo;
    EXPECT_NE(std::string::npos, ehlo.find("LOGIN")) << ehlo;
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<poster@example.test>"), "530"));

    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("AUTH LOGIN"), "334"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand(Base64("poster")), "334"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand(Base64("wrong")), "535"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<poster@example.test>"), "530"));

    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("AUTH LOGIN"), "334"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand(Base64("poster")), "334"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand(Base64("s3cret")), "235"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<poster@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<alice@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(SmtpData(smtp, Message("authed", "hi\r\n")), "250"));
    EXPECT_EQ(std::vector<std::string>{Message("authed", "hi\r\n")}, servers.ReadMailbox("alice"));

    // Optional again: a HELO-only client may send.
    servers.RequireSmtpAuth(false);
    LineClient plain;
    SmtpHello(plain);
    EXPECT_TRUE(StartsWith(plain.SmtpCommand("MAIL FROM:<anyone@example.test>"), "250"));
}

TEST_F(MailServersTest, RejectRecipientIsRefusedAndNothingIsDelivered) {
    servers.AddUser("alice", "pw");
    LineClient smtp;
    SmtpHello(smtp);
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<sender@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<alice@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<reject-me@example.test>"), "550"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<../escape@example.test>"), "553"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("QUIT"), "221"));
    EXPECT_TRUE(smtp.WaitForClose());

    EXPECT_TRUE(servers.ReadMailbox("alice").empty());
    EXPECT_TRUE(servers.ReadMailbox("reject-me").empty());
}

TEST_F(MailServersTest, StopSmtpRefusesConnectionsUntilStartSmtp) {
    servers.AddUser("alice", "pw");
    const int port = servers.SmtpPort();
    servers.StopSmtp();
    EXPECT_FALSE(servers.SmtpRunning());
    // It shut down by itself on SIGTERM rather than being killed after the grace time.
    EXPECT_NE(std::string::npos, servers.SmtpLog().find("\nstopped\n")) << servers.SmtpLog();
    LineClient smtp(std::chrono::seconds(2));
    EXPECT_FALSE(smtp.TryConnect(servers.Host(), port));

    servers.StartSmtp();
    EXPECT_EQ(port, servers.SmtpPort());
    SmtpHello(smtp);
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("MAIL FROM:<sender@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(smtp.SmtpCommand("RCPT TO:<alice@example.test>"), "250"));
    EXPECT_TRUE(StartsWith(SmtpData(smtp, Message("back", "again\r\n")), "250"));
    EXPECT_EQ(1U, servers.ReadMailbox("alice").size());
}

TEST_F(MailServersTest, StopLeavesNoProcessNoPortAndNoFolder) {
    servers.AddUser("alice", "pw");
    // A logged-in session keeps a POP3 mail process alive while the servers stop.
    LineClient pop3(std::chrono::seconds(2));
    ASSERT_TRUE(StartsWith(Pop3Login(pop3, "alice", "pw"), "+OK"));
    const std::string root = servers.Root();
    const std::vector<pid_t> groups = servers.ProcessGroups();
    const int pop3Port = servers.Pop3Port();
    const int smtpPort = servers.SmtpPort();
    ASSERT_EQ(2U, groups.size());

    servers.Stop();
    for (pid_t group : groups) {
        EXPECT_TRUE(GroupIsGone(group)) << group;
    }
    EXPECT_FALSE(std::filesystem::exists(root));
    EXPECT_TRUE(pop3.WaitForClose());
    LineClient probe(std::chrono::seconds(2));
    EXPECT_FALSE(probe.TryConnect("127.0.0.1", pop3Port));
    EXPECT_FALSE(probe.TryConnect("127.0.0.1", smtpPort));
    servers.Stop();  // again: harmless
}

TEST(MailServersLifetime, ServersEndWhenATestThrows) {
    std::vector<pid_t> groups;
    std::string root;
    try {
        MailServers servers;
        servers.Start();
        groups = servers.ProcessGroups();
        root = servers.Root();
        throw std::runtime_error("test failed half-way");
    } catch (const std::runtime_error&) {
    }
    ASSERT_EQ(2U, groups.size());
    for (pid_t group : groups) {
        EXPECT_TRUE(GroupIsGone(group)) << group;
    }
    EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(MailServersLifetime, ServersDieWithTheProgramThatStartedThem) {
    struct Report {
        pid_t groups[2];
        char root[64];
    };
    int pipeFds[2];
    ASSERT_EQ(0, ::pipe(pipeFds));
    const pid_t child = ::fork();
    ASSERT_LE(0, child);
    if (child == 0) {
        // A test program that gets killed before any destructor can run.
        ::close(pipeFds[0]);
        MailServers servers;
        try {
            servers.Start();
        } catch (...) {
            ::_exit(1);
        }
        servers.AddUser("alice", "pw");
        // A logged-in session: Dovecot's mail process must go too.
        LineClient pop3;
        pop3.Connect(servers.Host(), servers.Pop3Port());
        pop3.ReadLine();
        pop3.Command("USER alice");
        pop3.Command("PASS pw");
        Report report{};
        const std::vector<pid_t> groups = servers.ProcessGroups();
        std::copy(groups.begin(), groups.end(), report.groups);
        servers.Root().copy(report.root, sizeof report.root - 1);
        (void)!::write(pipeFds[1], &report, sizeof report);
        ::pause();
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    Report report{};
    const ssize_t got = ::read(pipeFds[0], &report, sizeof report);
    ::close(pipeFds[0]);
    const std::string abandoned = report.root;
    // Checked while the child lives: once it is gone, any harness may sweep the folder.
    const bool hadFolder = std::filesystem::exists(abandoned + "/mail/alice/Maildir");
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ASSERT_EQ(static_cast<ssize_t>(sizeof report), got) << "the child could not start servers";
    EXPECT_TRUE(hadFolder) << abandoned;
    for (pid_t group : report.groups) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!GroupIsGone(group) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_TRUE(GroupIsGone(group)) << group;
    }
    // The folder outlived its program; the next harness clears it away.
    MailServers next;
    next.Start();
    EXPECT_FALSE(std::filesystem::exists(abandoned));
    EXPECT_TRUE(std::filesystem::exists(next.Root()));
}

TEST(MailServersLifetime, TwoHarnessesDoNotShareAnything) {
    MailServers one;
    MailServers two;
    one.Start();
    two.Start();
    EXPECT_NE(one.Pop3Port(), two.Pop3Port());
    EXPECT_NE(one.SmtpPort(), two.SmtpPort());
    EXPECT_NE(one.Root(), two.Root());
    one.AddUser("alice", "one");
    two.AddUser("alice", "two");
    one.PutMessage("alice", Message("only in one", "x\r\n"));

    LineClient pop3;
    pop3.Connect(two.Host(), two.Pop3Port());
    pop3.ReadLine();
    pop3.Command("USER alice");
    EXPECT_TRUE(StartsWith(pop3.Command("PASS one"), "-ERR"));
    pop3.Command("USER alice");
    ASSERT_TRUE(StartsWith(pop3.Command("PASS two"), "+OK"));
    EXPECT_EQ("+OK 0 0", pop3.Command("STAT"));
    EXPECT_EQ(1U, one.ReadMailbox("alice").size());
}

TEST(MailServersLifetime, ServerThatDoesNotComeUpFailsWithItsLog) {
    MailServerOptions badDovecot;
    badDovecot.extraDovecotConfig = "no_such_setting_for_this_test = 1\n";
    MailServers dovecot(badDovecot);
    try {
        dovecot.Start();
        FAIL() << "Start succeeded with a broken Dovecot configuration";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_NE(std::string::npos, message.find("Dovecot did not come up")) << message;
        EXPECT_NE(std::string::npos, message.find("no_such_setting_for_this_test")) << message;
    }
    EXPECT_FALSE(dovecot.Started());
    EXPECT_TRUE(dovecot.Root().empty());

    corvanteer::testing::TempDir temp;
    const std::string script = temp.File("broken_smtp.py");
    corvanteer::testing::Spit(script, "import sys\nprint('broken on purpose')\nsys.exit(2)\n");
    MailServerOptions badSmtp;
    badSmtp.smtpScript = script;
    MailServers smtp(badSmtp);
    try {
        smtp.Start();
        FAIL() << "Start succeeded with a broken SMTP server";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_NE(std::string::npos, message.find("SMTP server did not come up")) << message;
        EXPECT_NE(std::string::npos, message.find("exit status 2")) << message;
        EXPECT_NE(std::string::npos, message.find("broken on purpose")) << message;
    }
}

TEST(MailServersLifetime, MissingServerProgramIsNamedWithTheFix) {
    MailServerOptions options;
    options.dovecotBinary = "/nonexistent/dovecot";
    MailServers servers(options);
    try {
        servers.Start();
        FAIL() << "Start succeeded without Dovecot";
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_NE(std::string::npos, message.find("/nonexistent/dovecot is missing")) << message;
        EXPECT_NE(std::string::npos, message.find("scripts/setup")) << message;
    }
}

TEST_F(MailServersTest, UnusableNamesAreRefused) {
    EXPECT_THROW(servers.AddUser("../etc", "pw"), std::invalid_argument);
    EXPECT_THROW(servers.AddUser("", "pw"), std::invalid_argument);
    EXPECT_THROW(servers.AddUser("ann", "pass:word"), std::invalid_argument);
    EXPECT_THROW(servers.PutMessage("a/b", "x"), std::invalid_argument);
    EXPECT_THROW(servers.SetSmtpAuth("ann", "tab\there"), std::invalid_argument);
    MailServers idle;
    EXPECT_THROW(idle.AddUser("ann", "pw"), std::logic_error);
}

}  // namespace
