// Scans on the worker thread, the shutdown request file, and a manual posting to three
// members through the real SMTP server, aborted after the second.

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "GuiFixture.h"
#include "gui/GuiUtil.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#ifdef CORVANTEER_HAVE_MAIL_SERVERS
#include "e2e/MailServers.h"
#endif

namespace corvanteer::testing {
namespace {

using SessionsTest = GuiTest;

constexpr int kBoundMs = 20000;

// Holds the next scan at its start (the scan stops the poll timer first).
std::shared_ptr<Gate> HoldScan(TfrmMain& w) {
    auto gate = std::make_shared<Gate>();
    w.SetWorkerHook([gate](const std::string& event) {
        if (event == "timer:stop") {
            gate->Wait();
        }
    });
    return gate;
}

TEST_F(SessionsTest, GoRunsOneScanAtATimeOnTheWorker) {
    TfrmMain& w = Open();
    std::shared_ptr<Gate> gate = HoldScan(w);
    Find<QPushButton>("butGo")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->Reached(); }, kBoundMs));
    EXPECT_TRUE(w.WorkerBusy());
    // The window answers while the scan runs, and a second "Go" starts nothing.
    Find<QPushButton>("butGo")->click();
    EXPECT_EQ(w.StatusTextShown(), QStringLiteral("A scan or posting is already running."));
    w.SessionTimerTimer();
    gate->Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.WorkerBusy(); }, kBoundMs));
    EXPECT_TRUE(dialogs.calls.empty());  // nothing configured: an empty scan, no error
}

TEST_F(SessionsTest, ShutdownFileEndsAtOnceWhenAutoScanAtStartupIsOff) {
    TfrmMain& w = Open();
    w.ShutdownTimerTimer();
    EXPECT_FALSE(w.Ended());  // no file: nothing happens
    Spit(paths.ShutdownFile(), "");
    w.move(250, 150);
    w.ShutdownTimerTimer();
    EXPECT_TRUE(w.Ended());
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
    EXPECT_EQ(store->ReadRegInteger(Key(), "Left", 0), 250);
}

TEST_F(SessionsTest, ShutdownFileWaitsForTheScanWhenAutoScanAtStartupIsOn) {
    TfrmMain& w = Open();
    Find<QCheckBox>("chkTimerON")->click();
    std::shared_ptr<Gate> gate = HoldScan(w);
    Find<QPushButton>("butGo")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->Reached(); }, kBoundMs));

    Spit(paths.ShutdownFile(), "");
    w.ShutdownTimerTimer();
    w.ShutdownTimerTimer();  // a second check while waiting starts no second end
    EXPECT_FALSE(w.Ended());
    EXPECT_TRUE(FileExists(paths.ShutdownFile()));
    Find<QPushButton>("butGo")->click();  // no new scan once the end is requested
    EXPECT_TRUE(w.WorkerBusy());

    gate->Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Ended(); }, kBoundMs));
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
    EXPECT_FALSE(w.WorkerBusy());
}

#ifdef CORVANTEER_HAVE_MAIL_SERVERS
TEST_F(SessionsTest, ManualPostingToThreeMembersAbortedAfterTheSecond) {
    MailServers servers;
    servers.Start();
    for (const char* user : {"m1", "m2", "m3"}) {
        servers.AddUser(user, "pw");
    }
    store->WriteRegString(Key(), "SMTPHost", servers.Host());
    store->WriteRegInteger(Key(), "SMTPPort", servers.SmtpPort());
    WriteSection(
        paths.ListDataFile("Default List"), "MemberList",
        {"m1@example.test 0 111111", "m2@example.test 0 222222", "m3@example.test 0 333333"});
    TfrmMain& w = Open();
    ASSERT_EQ(Find<QListWidget>("lstMembers")->count(), 3);
    Find<QButtonGroup>("postingMethodGroup")->button(1)->click();  // one copy per member
    Type(Find<QLineEdit>("edtListPostingAddress"), "list@example.test");
    Leave(Find<QLineEdit>("edtListPostingAddress"));
    Find<QCheckBox>("chkHideSenderEmail")->click();  // off: the From field as typed
    Type(Find<QLineEdit>("edtFrom"), "Operator <op@example.test>");
    Type(Find<QLineEdit>("edtSubject"), "Meeting");
    Type(Find<QPlainTextEdit>("memoMessage"), "See you at noon.");

    // Hold the worker while it reports the second copy, press "Abort" then.
    auto gate = std::make_shared<Gate>();
    w.SetWorkerHook([gate](const std::string& event) {
        if (event == "status:Posting to m2@example.test (2/3)") {
            gate->Wait();
        }
    });
    dialogs.QueueButton(DialogButton::Ok);
    Find<QPushButton>("butPostMsg")->click();
    ASSERT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(dialogs.calls[0].title, QStringLiteral("Post message"));
    EXPECT_EQ(dialogs.calls[0].text,
              QStringLiteral("Are you sure you want to start posting this message?"));
    EXPECT_EQ(dialogs.calls[0].icon, DialogIcon::Question);
    EXPECT_EQ(dialogs.calls[0].defaultButton, DialogButton::Cancel);

    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->Reached(); }, kBoundMs));
    EXPECT_TRUE(Find<QPushButton>("butCancelPost")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>("butPostMsg")->isEnabled());
    EXPECT_FALSE(Find<QComboBox>("cmbLists")->isEnabled());
    Find<QPushButton>("butCancelPost")->click();
    gate->Release();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Find<QPushButton>("butPostMsg")->isEnabled(); }, kBoundMs));
    EXPECT_FALSE(Find<QPushButton>("butCancelPost")->isEnabled());
    EXPECT_TRUE(Find<QComboBox>("cmbLists")->isEnabled());
    EXPECT_EQ(w.StatusTextShown(), QStringLiteral("Finished posting"));

    // Two copies delivered, the third never sent, nothing archived.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return servers.ReadMailbox("m1").size() == 1 && servers.ReadMailbox("m2").size() == 1;
        },
        kBoundMs));
    EXPECT_TRUE(servers.ReadMailbox("m3").empty());
    const std::string copy = servers.ReadMailbox("m2")[0];
    EXPECT_NE(copy.find("To: m2@example.test\r\n"), std::string::npos);
    EXPECT_NE(copy.find("From: Operator <op@example.test>\r\n"), std::string::npos);
    EXPECT_NE(copy.find("Subject: Meeting\r\n"), std::string::npos);
    EXPECT_NE(copy.find("See you at noon."), std::string::npos);
    EXPECT_FALSE(DirectoryExists(paths.ThreadsFolder("Default List")) &&
                 !ListFiles(paths.ThreadsFolder("Default List"), "").empty());
    EXPECT_EQ(LogLines().back(), std::string(kStamp) +
                                     "Default List: msg from list@example.test - sent to 2 of 3 "
                                     "members.");
}
#endif

}  // namespace
}  // namespace corvanteer::testing
