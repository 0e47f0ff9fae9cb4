// The connections' security on the Global and Options pages, and "Check connections".

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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
    Open();
    EXPECT_EQ(Find<QComboBox>("cmbSmtpSecurity")->currentText(), QStringLiteral("Auto"));
    Choose(Find<QComboBox>("cmbSmtpSecurity"), QStringLiteral("TLS"));
    Choose(Find<QComboBox>("cmbListServerSecurity"), QStringLiteral("None"));
    Choose(Find<QComboBox>("cmbPop3Security"), QStringLiteral("STARTTLS"));
    for (const char* name : {"SmtpTlsFingerprint", "edtPop3TlsFingerprint", "TlsCAFile"}) {
        Type(Find<QLineEdit>(name), Q(name == std::string("TlsCAFile") ? "/etc/ca.pem" : pin));
        Leave(Find<QLineEdit>(name));
    }
    EXPECT_EQ(store->ReadRegString(Key(), "SMTPSecurity", ""), "tls");
    EXPECT_EQ(store->ReadRegString(Key(), "ListServerSecurity", ""), "none");
    EXPECT_EQ(store->ReadRegString(Key(), "SMTPTlsFingerprint", ""), pin);
    EXPECT_EQ(store->ReadRegString(Key(), "TlsCAFile", ""), "/etc/ca.pem");
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
                                   " (security none)\n  connection: made\n"
                                   "  capabilities: SIZE 1000\n  login: not required\n  passed\n"))
        << text;
    EXPECT_TRUE(Contains(text, "List Server mailbox\n  not configured\n")) << text;
    EXPECT_TRUE(server.Problems().empty());
}

}  // namespace
}  // namespace corvanteer::testing
