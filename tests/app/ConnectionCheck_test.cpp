#include "app/ConnectionCheck.h"

#include <gtest/gtest.h>

#include "AppFixture.h"

namespace corvanteer::testing {
namespace {

class ConnectionCheckTest : public AppTest {
protected:
    ConnectionCheckTest() {
        const std::string key = paths.SettingsKey();
        store->WriteRegString(key, "ListServerHost", "pop.example.test");
        store->WriteRegString(key, "ListServerUserID", "lists");
        store->WriteRegString(key, "SMTPSecurity", "tls");
        store->WriteRegString(key, "TlsCAFile", "/etc/ca.pem");
        pop3.AddMailbox("pop.example.test", 110, "lists", "").messages = {"m1", "m2"};
        MakeList("news");
        MakeList("quiet");  // no mailbox: not configured
        store->WriteRegString(ListKey("news"), "Pop3Host", "pop.example.test");
        store->WriteRegString(ListKey("news"), "Pop3User", "news");
        store->WriteRegString(ListKey("news"), "Pop3Security", "starttls");
        pop3.AddMailbox("pop.example.test", 110, "news", "");
    }
};

TEST_F(ConnectionCheckTest, EveryServerInOrderWithItsSecurityAndNothingRead) {
    const CheckReport report = CheckConnections(services);
    EXPECT_TRUE(report.passed) << report.text;
    EXPECT_EQ(report.checked, 3);
    const size_t smtpAt = report.text.find("SMTP server smtp.example.test:2525 (security tls)");
    const size_t listsAt = report.text.find("List Server mailbox lists at pop.example.test:110");
    const size_t newsAt = report.text.find("Mailbox of list \"news\": news at pop.example.test");
    const size_t quietAt = report.text.find("Mailbox of list \"quiet\"\n  not configured\n");
    ASSERT_NE(quietAt, std::string::npos) << report.text;
    EXPECT_LT(smtpAt, listsAt);
    EXPECT_LT(listsAt, newsAt);
    EXPECT_LT(newsAt, quietAt);
    EXPECT_NE(report.text.find("  messages: 2\n"), std::string::npos) << report.text;
    EXPECT_EQ(smtp.probes, 1);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"PROBE lists", "PROBE news"}));
    EXPECT_EQ(smtp.Server.security.CAFile, "/etc/ca.pem");
    EXPECT_EQ(pop3.securities.back().Mode, "starttls");
}

TEST_F(ConnectionCheckTest, OneFailedServerFailsTheCheckAndSaysWhy) {
    smtp.failure = Fail(MailFailure::Certificate,
                        "certificate of smtp.example.test refused: "
                        "expired; its SHA-256 fingerprint is AB:CD");
    CheckReport report = CheckConnections(services);
    EXPECT_FALSE(report.passed);
    EXPECT_NE(report.text.find("  FAILED: certificate of smtp.example.test refused: expired"),
              std::string::npos)
        << report.text;

    // One list: only its mailbox; an unconfigured one fails when asked for by name.
    smtp.probes = 0;
    report = CheckConnections(services, std::string("news"));
    EXPECT_TRUE(report.passed) << report.text;
    EXPECT_EQ(smtp.probes, 0);
    EXPECT_FALSE(CheckConnections(services, std::string("quiet")).passed);
}

TEST(DescribeProbe, CertificateLinesSayHowItWasAccepted) {
    ProbeReport probe;
    probe.security = "tls";
    probe.connected = true;
    probe.tls.used = true;
    probe.tls.version = "TLSv1.3";
    probe.tls.cipher = "TLS_AES_128_GCM_SHA256";
    probe.tls.certificate = {"CN=mail", "CN=CA", "2027-01-01 00:00:00 UTC", "AB:CD"};
    probe.tls.pinned = true;
    probe.login = LoginOutcome::Refused;
    probe.error = ServerSaid(MailFailure::Auth, "mail:995 refused the login", "-ERR no");
    EXPECT_EQ(DescribeProbe("POP3 x", probe, true),
              "POP3 x (security tls)\n"
              "  connection: made\n"
              "  TLS: TLSv1.3, TLS_AES_128_GCM_SHA256\n"
              "  certificate: CN=mail\n"
              "    issuer: CN=CA\n"
              "    expires: 2027-01-01 00:00:00 UTC\n"
              "    SHA-256: AB:CD\n"
              "    accepted: its fingerprint is the pinned one\n"
              "  login: refused\n"
              "  FAILED: mail:995 refused the login: -ERR no\n");
}

}  // namespace
}  // namespace corvanteer::testing
