// The connections' security on the Global and Options pages, and "Check connections".

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <utility>
#include <vector>

#include "GuiFixture.h"
#include "common/FakeMailServer.h"
#include "gui/GuiUtil.h"

namespace corvanteer::testing {
namespace {

using SecurityTest = GuiTest;

constexpr int kBoundMs = 20000;

void Choose(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text);
    ASSERT_GE(index, 0) << text.toStdString();
    combo->setCurrentIndex(index);
    emit combo->activated(index);  // as the operator's choice does
}

TEST_F(SecurityTest, ChoicesAndFingerprintsAreStoredAndShownAgain) {
    const std::string pin(64, 'a');
    const std::string caFile = dir.File("ca.pem");  // a CA file must exist to be taken
    Spit(caFile, "-----BEGIN CERTIFICATE-----\n");
    Open();
    EXPECT_EQ(Find<QComboBox>("cmbSmtpSecurity")->currentText(), QStringLiteral("Auto"));
    Choose(Find<QComboBox>("cmbSmtpSecurity"), QStringLiteral("TLS"));
    Choose(Find<QComboBox>("cmbListServerSecurity"), QStringLiteral("None"));
    Choose(Find<QComboBox>("cmbPop3Security"), QStringLiteral("STARTTLS"));
    for (const char* name : {"SmtpTlsFingerprint", "edtPop3TlsFingerprint", "TlsCAFile"}) {
        Type(Find<QLineEdit>(name), Q(name == std::string("TlsCAFile") ? caFile : pin));
        Leave(Find<QLineEdit>(name));
    }
    EXPECT_EQ(store->ReadRegString(Key(), "SMTPSecurity", ""), "tls");
    EXPECT_EQ(store->ReadRegString(Key(), "ListServerSecurity", ""), "none");
    EXPECT_EQ(store->ReadRegString(Key(), "SMTPTlsFingerprint", ""), pin);
    EXPECT_EQ(store->ReadRegString(Key(), "TlsCAFile", ""), caFile);
    EXPECT_EQ(store->ReadRegString(ListKey("Default List"), "Pop3Security", ""), "starttls");
    EXPECT_EQ(store->ReadRegString(ListKey("Default List"), "Pop3TlsFingerprint", ""), pin);

    // A fingerprint that is none is refused with the forms allowed, and not stored.
    Type(Find<QLineEdit>("ListServerTlsFingerprint"), QStringLiteral("12:34"));
    Leave(Find<QLineEdit>("ListServerTlsFingerprint"));
    ASSERT_FALSE(dialogs.calls.empty());
    EXPECT_TRUE(dialogs.calls.back().text.contains(QStringLiteral("ListServerTlsFingerprint")));
    EXPECT_FALSE(store->ValueExists(Key(), "ListServerTlsFingerprint"));

    Close();
    Open();
    EXPECT_EQ(Find<QComboBox>("cmbSmtpSecurity")->currentText(), QStringLiteral("TLS"));
    EXPECT_EQ(Find<QComboBox>("cmbListServerSecurity")->currentText(), QStringLiteral("None"));
    EXPECT_EQ(Find<QComboBox>("cmbPop3Security")->currentText(), QStringLiteral("STARTTLS"));
    EXPECT_EQ(Find<QLineEdit>("edtPop3TlsFingerprint")->text(), Q(pin));
}

TEST_F(SecurityTest, CheckConnectionsRunsOnTheWorkerAndShowsTheReport) {
    // The greeting waits, so the check is still running when the click has returned.
    FakeMailServer server({ServerScript()
                               .Pause(300)
                               .SendLine("220 ready")
                               .ExpectAnyLine()
                               .Send("250-mail.example.test\r\n250 SIZE 1000\r\n")
                               .Expect("QUIT")});
    store->WriteRegString(Key(), "SMTPHost", server.Host());
    store->WriteRegInteger(Key(), "SMTPPort", server.Port());
    TfrmMain& w = Open();
    Find<QPushButton>("butCheckConnections")->click();
    EXPECT_TRUE(w.WorkerBusy());
    EXPECT_TRUE(dialogs.calls.empty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.calls.empty(); }, kBoundMs));
    const DialogCall& report = dialogs.calls.back();
    EXPECT_EQ(report.kind, "report");
    EXPECT_EQ(report.title, QStringLiteral("Check connections"));
    const std::string text = S(report.text);
    EXPECT_TRUE(Contains(text, "SMTP server 127.0.0.1:" + std::to_string(server.Port()) +
                                   " (security none)\n  connection: made\n  encryption: none\n"
                                   "  capabilities: SIZE 1000\n  login: not required\n  passed\n"))
        << text;
    EXPECT_TRUE(Contains(text, "List Server mailbox\n  not configured\n")) << text;
    EXPECT_TRUE(server.Problems().empty());
}

TEST_F(SecurityTest, LoginMethodsAreStoredAndTheCheckAsksTheWindowsTokens) {
    Open();
    EXPECT_EQ(Find<QComboBox>("cmbSmtpAuth")->currentText(), QStringLiteral("Password"));
    Choose(Find<QComboBox>("cmbSmtpAuth"), QStringLiteral("OAuth2"));
    Choose(Find<QComboBox>("cmbListServerAuth"), QStringLiteral("OAuth2"));
    Choose(Find<QComboBox>("cmbPop3Auth"), QStringLiteral("OAuth2"));
    Choose(Find<QComboBox>("cmbSmtpSecurity"), QStringLiteral("TLS"));
    EXPECT_EQ(store->ReadRegString(Key(), "SMTPAuth", ""), "oauth2");
    EXPECT_EQ(store->ReadRegString(Key(), "ListServerAuth", ""), "oauth2");
    EXPECT_EQ(store->ReadRegString(ListKey("Default List"), "Pop3Auth", ""), "oauth2");
    Close();

    // Not signed in: the token is asked for before connecting, so no server is needed.
    store->WriteRegString(Key(), "SMTPHost", "127.0.0.1");
    store->WriteRegInteger(Key(), "SMTPPort", 1);
    store->WriteRegString(Key(), "SmtpUser", "ann@example.test");
    TfrmMain& w = Open();
    EXPECT_EQ(Find<QComboBox>("cmbSmtpAuth")->currentText(), QStringLiteral("OAuth2"));
    Find<QPushButton>("butCheckConnections")->click();
    EXPECT_TRUE(w.WorkerBusy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.calls.empty(); }, kBoundMs));
    const std::string text = S(dialogs.calls.back().text);
    EXPECT_TRUE(Contains(text, "smtp is not signed in to OAuth 2.0; sign in with: ")) << text;
}

TEST_F(SecurityTest, SignInRunsBesideTheWindowAndStoresTheTokens) {
    for (const auto& [name, value] : std::vector<std::pair<const char*, const char*>>{
             {"OAuthProvider", "custom"},
             {"OAuthClientId", "cid"},
             {"OAuthTokenUrl", "https://auth.example.test/token"},
             {"OAuthDeviceUrl", "https://auth.example.test/device"},
             {"SmtpUser", "ann@example.test"}}) {
        store->WriteRegString(Key(), name, value);
    }
    http.Answer(200, R"({"device_code":"DC","user_code":"WDJB-MJHT",)"
                     R"("verification_uri":"https://auth.example.test/activate",)"
                     R"("expires_in":900,"interval":1})");
    http.Answer(200, R"({"access_token":"AT","token_type":"Bearer","expires_in":3600,)"
                     R"("refresh_token":"RT"})");
    TfrmMain& w = Open();
    auto* signIn = Find<QPushButton>("butSmtpSignIn");
    EXPECT_FALSE(signIn->isEnabled());  // the login is still by password
    Choose(Find<QComboBox>("cmbSmtpAuth"), QStringLiteral("OAuth2"));
    ASSERT_TRUE(signIn->isEnabled());
    EXPECT_EQ(Find<QComboBox>("cmbOAuthProvider")->currentText(), QStringLiteral("Custom"));
    signIn->click();
    EXPECT_TRUE(dialogs.calls.empty());  // the window goes on while the sign-in waits
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return w.StatusTextShown().contains("WDJB-MJHT"); }, kBoundMs))
        << S(w.StatusTextShown());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.calls.empty(); }, kBoundMs));
    EXPECT_TRUE(dialogs.calls.back().text.startsWith("Signed in: smtp (ann@example.test)"))
        << S(dialogs.calls.back().text);
    EXPECT_EQ(http.Field(1, "device_code"), "DC");
    EXPECT_TRUE(store->KeyExists(Key() + "\\OAuth\\SMTP"));
}

}  // namespace
}  // namespace corvanteer::testing
