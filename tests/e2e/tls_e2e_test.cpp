// corvanteer-cli's commands, run in this process with the real clients, against Dovecot
// requiring TLS (STLS and TLS from the first byte) and the SMTP server with STARTTLS and
// implicit TLS: whole scans over TLS, refused certificates, the stripped STARTTLS an attacker
// would leave, and the connection check.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "common/TempDir.h"
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

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

class TlsE2eTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        MailServerOptions options;
        options.tls = true;
        servers_ = std::make_unique<MailServers>(options);
        servers_->Start();
        for (const char* user : {"lists", "news", "alice", "bob", "carol", "dave"}) {
            servers_->AddUser(user, "pw");
        }
        servers_->SetSmtpAuth("sender", "pw");
    }
    static void TearDownTestSuite() { servers_.reset(); }

    void SetUp() override {
        servers_->SetSmtpTls(TestCertificate::Good, true);
        servers_->RequireSmtpAuth(false);
    }

    MailServers& Servers() { return *servers_; }

    CliRun Cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"corvanteer-cli", "--home", dir.Path()});
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        CliRun run;
        run.status = cli::RunCli(args, {in, out, err});
        run.out = out.str();
        run.err = err.str();
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

    // List Server mailbox over STLS, the list's mailbox over TLS from the first byte, SMTP
    // over STARTTLS with authentication; the test CA trusted.
    void Configure() {
        const std::string host = Servers().Host();
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"ListServerAddress", MailServers::Address("lists")},
                 {"ListServerHost", host},
                 {"ListServerPort", std::to_string(Servers().Pop3Port())},
                 {"ListServerSecurity", "starttls"},
                 {"ListServerUserID", "lists"},
                 {"ListServerPassword", "pw"},
                 {"SMTPHost", host},
                 {"SMTPPort", std::to_string(Servers().SmtpPort())},
                 {"SMTPSecurity", "STARTTLS"},
                 {"ReqSmtpAuth", "1"},
                 {"SmtpUser", "sender"},
                 {"SmtpPassword", "pw"},
                 {"TlsCAFile", Servers().CaFile()}}) {
            Set(name, value);
        }
        ASSERT_EQ(Cli({"lists", "add", "news"}).status, 0);
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"Pop3Host", host},
                 {"Pop3Port", std::to_string(Servers().Pop3sPort())},
                 {"Pop3Security", "tls"},
                 {"Pop3User", "news"},
                 {"Pop3Password", "pw"},
                 {"AllowPostBy", "1"},
                 {"ListPostingAddress", MailServers::Address("news")}}) {
            Set(name, value, "news");
        }
        for (const char* member : {"alice", "bob", "carol"}) {
            ASSERT_EQ(Cli({"members", "add", "news", MailServers::Address(member)}).status, 0);
        }
    }

    void PutPosting(const std::string& subject) {
        Servers().PutMessage("news", "From: " + MailServers::Address("alice") +
                                         "\r\nSubject: " + subject + "\r\n\r\nOver TLS.\r\n");
    }
    size_t Received(const std::string& user, const std::string& subject) {
        size_t count = 0;
        for (const std::string& message : Servers().ReadMailbox(user)) {
            count += Contains(message, "Subject: " + subject + "\r\n") ? 1 : 0;
        }
        return count;
    }
    std::string Log() { return ReadFileIfExists(dir.File("Corvanteer.log")).value_or(""); }
    // The fingerprint an error text offers for pinning.
    static std::string OfferedFingerprint(const std::string& text) {
        const std::string marker = "fingerprint is ";
        const size_t at = text.find(marker);
        return at == std::string::npos ? "" : text.substr(at + marker.size(), 95);
    }

    TempDir dir;

private:
    static std::unique_ptr<MailServers> servers_;
};

std::unique_ptr<MailServers> TlsE2eTest::servers_;

TEST_F(TlsE2eTest, WholeScanOverStlsImplicitTlsAndStartTlsWithAuthPlain) {
    Configure();
    PutPosting("TLS posting one");
    Servers().PutMessage(
        "lists", "From: " + MailServers::Address("dave") + "\r\nSubject: subscribe news\r\n\r\n");
    CliRun scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 0) << scan.err;
    const std::string host = Servers().Host();
    EXPECT_TRUE(Contains(scan.err, "mailbox lists at " + host + ":" +
                                       std::to_string(Servers().Pop3Port()) + ": 1 message\n"))
        << scan.err;
    EXPECT_TRUE(Contains(scan.err, "mailbox news at " + host + ":" +
                                       std::to_string(Servers().Pop3sPort()) + ": 1 message\n"))
        << scan.err;
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "TLS posting one"), 1u) << member;
    }
    EXPECT_EQ(Servers().ReadMailbox("dave").size(), 1u);  // the verification request
    EXPECT_TRUE(Contains(Servers().SmtpLog(), "auth PLAIN user=b'sender' ok=True"))
        << Servers().SmtpLog();
    EXPECT_FALSE(Contains(Servers().SmtpLog(), "auth LOGIN"));

    // SMTP over TLS from the first byte.
    Set("SMTPPort", std::to_string(Servers().SmtpsPort()));
    Set("SMTPSecurity", "tls");
    PutPosting("TLS posting two");
    scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 0) << scan.err;
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "TLS posting two"), 1u) << member;
    }
}

TEST_F(TlsE2eTest, AnotherNameOrAnUnknownIssuerIsRefusedUntilTheFingerprintIsPinned) {
    Configure();
    PutPosting("Pinned posting");
    // The certificate names mail.example.test and the address, not "localhost".
    Set("Pop3Host", "localhost", "news");
    CliRun scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 1);  // a mailbox failed
    const std::string fingerprint = Servers().Fingerprint(TestCertificate::Good);
    const std::string refusal =
        "certificate of localhost refused: name mismatch; its SHA-256 "
        "fingerprint is " +
        fingerprint;
    EXPECT_TRUE(
        Contains(scan.err, "mailbox news at localhost:" + std::to_string(Servers().Pop3sPort()) +
                               ": login failed: " + refusal))
        << scan.err;
    EXPECT_TRUE(
        Contains(Log(), "news: mailbox news at localhost:" + std::to_string(Servers().Pop3sPort()) +
                            " - login failed: " + refusal))
        << Log();
    EXPECT_EQ(Received("news", "Pinned posting"), 1u);  // left on the server

    // Without the test CA nothing is trusted: both mailboxes are refused and say what to pin
    // (nothing was downloaded, so nothing is sent yet).
    Set("Pop3Host", Servers().Host(), "news");
    Set("TlsCAFile", "");
    scan = Cli({"scan"});
    EXPECT_TRUE(Contains(scan.err, "refused: unknown issuer")) << scan.err;
    const std::string offered = OfferedFingerprint(scan.err);
    EXPECT_EQ(offered, fingerprint);
    EXPECT_EQ(Received("alice", "Pinned posting"), 0u);

    // Pinned as the operator copies it from the message: accepted whatever the issuer.
    Set("Pop3TlsFingerprint", offered, "news");
    Set("ListServerTlsFingerprint", LowerCase(offered));
    Set("SMTPTlsFingerprint", ReplaceAll(offered, ":", ""));
    scan = Cli({"scan"});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_FALSE(Contains(scan.err, "refused")) << scan.err;
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "Pinned posting"), 1u) << member;
    }
}

TEST_F(TlsE2eTest, ExpiredSmtpCertificateQueuesThePostingUntilItIsReplaced) {
    Configure();
    Servers().SetSmtpTls(TestCertificate::Expired, true);
    PutPosting("Expired posting");
    CliRun scan = Cli({"scan"});
    const std::string refusal = "SMTP: certificate of " + Servers().Host() + " refused: expired";
    EXPECT_TRUE(Contains(scan.err, refusal)) << scan.err;
    EXPECT_TRUE(Contains(Log(), "news: " + refusal)) << Log();
    EXPECT_TRUE(Contains(scan.err, "1 queued")) << scan.err;
    EXPECT_EQ(Received("alice", "Expired posting"), 0u);

    Servers().SetSmtpTls(TestCertificate::Good, true);
    const CliRun flush = Cli({"queue", "flush"});
    EXPECT_EQ(flush.out, "Sent 1, failed 0, malformed 0.\n") << flush.err;
    EXPECT_EQ(Received("alice", "Expired posting"), 1u);
}

TEST_F(TlsE2eTest, StrippedStartTlsIsRefusedAndNoCredentialLeaves) {
    Configure();
    Servers().RequireSmtpAuth(true);  // the server would take the password in plain text
    Servers().SetSmtpTls(TestCertificate::Good, false);
    PutPosting("Stripped posting");
    const size_t authBefore = Count(Servers().SmtpLog(), "auth ");
    CliRun scan = Cli({"scan"});
    EXPECT_TRUE(Contains(scan.err, "does not offer STARTTLS; nothing more was sent")) << scan.err;
    EXPECT_TRUE(Contains(scan.err, "1 queued")) << scan.err;
    EXPECT_EQ(Count(Servers().SmtpLog(), "auth "), authBefore) << Servers().SmtpLog();
    EXPECT_EQ(Received("alice", "Stripped posting"), 0u);
    // The mailboxes were read over TLS all the same.
    EXPECT_TRUE(Contains(scan.err, "mailbox news at")) << scan.err;
}

TEST_F(TlsE2eTest, CheckReportsEveryServerReadsNothingAndFailsForABadOne) {
    Configure();
    PutPosting("Checked posting");
    const std::vector<std::string> before = Servers().ReadMailbox("news");
    const size_t delivered = Count(Servers().SmtpLog(), "delivered");

    CliRun check = Cli({"check"});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    const std::string host = Servers().Host();
    const std::vector<std::string> parts = {
        "SMTP server " + host + ":" + std::to_string(Servers().SmtpPort()) + " (security starttls)",
        "List Server mailbox lists at " + host,
        "Mailbox of list \"news\": news at " + host,
        "(security tls)",
        "TLS: TLSv1.3",
        "SHA-256: " + Servers().Fingerprint(TestCertificate::Good),
        "verified: trusted issuer, names the host",
        "AUTH LOGIN PLAIN",
        "login: accepted",
        "messages: " + std::to_string(before.size())};
    for (const std::string& part : parts) {
        EXPECT_TRUE(Contains(check.out, part)) << part << "\n" << check.out;
    }
    EXPECT_EQ(Count(check.out, "  passed\n"), 3u) << check.out;
    EXPECT_EQ(Servers().ReadMailbox("news"), before);
    EXPECT_EQ(Count(Servers().SmtpLog(), "delivered"), delivered);

    Servers().SetSmtpTls(TestCertificate::Expired, true);
    check = Cli({"check"});
    EXPECT_EQ(check.status, 1) << check.out;
    EXPECT_TRUE(Contains(check.out, "FAILED: certificate of " + host + " refused: expired"))
        << check.out;
    check = Cli({"check", "--list", "news"});
    EXPECT_EQ(check.status, 0) << check.out;
    EXPECT_FALSE(Contains(check.out, "SMTP server")) << check.out;
    EXPECT_EQ(Servers().ReadMailbox("news"), before);
}

}  // namespace
}  // namespace corvanteer::testing
