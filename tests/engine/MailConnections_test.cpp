#include "engine/MailConnections.h"

#include <gtest/gtest.h>

#include "EngineFixture.h"
#include "engine/Delivery.h"
#include "engine/ScanSession.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::testing {
namespace {

constexpr const char* kHost = "pop.example.test";

class MailConnectionsTest : public EngineTest {
protected:
    MailConnectionsTest() {
        console.globals.ListServerHost = kHost;
        console.globals.ListServerPort = 995;
        console.globals.ListServerUserID = "lists";
        console.globals.ListServerSecurity = "tls";
        console.globals.ListServerTlsFingerprint = "AB:CD";
        console.globals.SMTPSecurity = "starttls";
        console.globals.TlsCAFile = "/etc/company-ca.pem";
        AddList("news");
        store->WriteRegString(ListKey("news"), "Pop3Host", kHost);
        store->WriteRegString(ListKey("news"), "Pop3User", "news");
        store->WriteRegString(ListKey("news"), "Pop3Security", "starttls");
        store->WriteRegString(ListKey("news"), "Pop3TlsFingerprint", "12:34");
    }
    // Mailbox observer events as "user open|text".
    class EventObserver : public RecordingObserver {
    public:
        void MailboxOpened(const MailboxEvent& event) override {
            events.push_back(event.user + " " + (event.open ? "open" : event.error.Text()));
        }
        std::vector<std::string> events;
    };
};

TEST_F(MailConnectionsTest, EachMailboxGetsItsSecurityAndAFailedLoginItsReason) {
    pop3.AddMailbox(kHost, 995, "lists", "");
    pop3.AddMailbox(kHost, 110, "news", "").loginFailure =
        Fail(MailFailure::Certificate, "certificate of pop.example.test refused: expired");
    EventObserver events;
    Services withEvents{paths, *store, pop3, smtp, clock, random, events, storeLock, console};
    RecordingTimer timer;
    ASSERT_TRUE(RunScanSession(withEvents, timer).ok);

    ASSERT_EQ(pop3.securities.size(), 2u);
    EXPECT_EQ(pop3.securities[0].Mode, "tls");
    EXPECT_EQ(pop3.securities[0].Fingerprint, "AB:CD");
    EXPECT_EQ(pop3.securities[1].Mode, "starttls");  // the list's own, with the global CA file
    EXPECT_EQ(pop3.securities[1].Fingerprint, "12:34");
    EXPECT_EQ(pop3.securities[1].CAFile, "/etc/company-ca.pem");

    const std::string refusal = "certificate of pop.example.test refused: expired";
    const std::string failure =
        "news: mailbox news at pop.example.test:110 - login failed: " + refusal;
    EXPECT_EQ(events.events, (std::vector<std::string>{"lists open", "news " + refusal}));
    EXPECT_EQ(events.statusTexts.back(), failure);
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"Mon,09Mar26 14:05:00 " + failure}));
}

TEST_F(MailConnectionsTest, OnlyProtectionFailuresOfASendAreLoggedBesideTheCallersLine) {
    struct Case {
        MailError failure;
        bool accepted;
        std::string logged;  // the reason logged and shown; empty: none
    };
    const Case cases[] = {
        {MailError{}, true, ""},
        {Fail(MailFailure::Certificate, "certificate of smtp refused: unknown issuer"), false,
         "certificate of smtp refused: unknown issuer"},
        {Fail(MailFailure::Tls, "smtp:587 does not offer STARTTLS"), false,
         "smtp:587 does not offer STARTTLS"},
        {Fail(MailFailure::Timeout, "no reply"), false, ""},
        {Fail(MailFailure::Connect, "cannot connect"), false, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.failure.Text());
        smtp.failure = test.failure;
        const size_t logged = LogLines().size();
        SendTally tally;
        const DeliveryStatus status =
            SendAlone(services, "news", Envelope{"news@x.org", {"a@x.org"}, "x\r\n"}, {}, tally);
        EXPECT_EQ(status == DeliveryStatus::Sent, test.accepted);
        EXPECT_EQ(LogLines().size(), logged + (test.logged.empty() ? 0 : 1));
        if (!test.logged.empty()) {
            EXPECT_EQ(LogLines().back(), "Mon,09Mar26 14:05:00 news: SMTP: " + test.logged);
            EXPECT_EQ(observer.statusTexts.back(), "SMTP: " + test.logged);
        }
    }
}

TEST(SmtpServerFromSettings, TakesEveryPartOfTheServerFromTheSettings) {
    GlobalSettings globals;
    globals.SMTPHost = "smtp.example.test";
    globals.SMTPPort = 465;
    globals.SMTPSecurity = "tls";
    globals.SMTPTlsFingerprint = "AB:CD";
    globals.TlsCAFile = "/etc/ca.pem";
    globals.ReqSmtpAuth = true;
    globals.SmtpUser = "lists";
    globals.SmtpPassword = "secret";
    globals.SMTPAuth = "oauth2";
    const SmtpServer server = SmtpServerFromSettings(globals);
    EXPECT_EQ(server.host, "smtp.example.test");
    EXPECT_EQ(server.port, 465);
    EXPECT_EQ(server.security.Mode, "tls");
    EXPECT_EQ(server.security.Fingerprint, "AB:CD");
    EXPECT_EQ(server.security.CAFile, "/etc/ca.pem");
    EXPECT_TRUE(server.requireAuthentication);
    EXPECT_EQ(server.user, "lists");
    EXPECT_EQ(server.password, "secret");
    EXPECT_EQ(server.auth, LoginMethod::OAuth2);
    EXPECT_EQ(server.tokenAccount, "smtp");
    globals.SMTPAuth = "carrier pigeon";  // no method: the described password login
    EXPECT_EQ(SmtpServerFromSettings(globals).auth, LoginMethod::Password);
}

}  // namespace
}  // namespace corvanteer::testing
