// Start-up and ending: the clean start, the stored position and list, the single instance.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include "GuiFixture.h"
#include "gui/GuiUtil.h"
#include "gui/StartUp.h"
#include "gui/TfrmSmtpAuth.h"
#include "support/Files.h"
#include "support/Locks.h"

namespace corvanteer::testing {
namespace {

using StartupTest = GuiTest;

TEST_F(StartupTest, CleanStartShowsTheDefaults) {
    TfrmMain& w = Open();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Corvanteer v1.0.0"));
    EXPECT_EQ(w.pos(), QPoint(200, 100));
    EXPECT_EQ(Find<QTabWidget>("pagMain")->currentWidget(), Find<QWidget>("tabMembers"));
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 1);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("Default List"));
    EXPECT_FALSE(w.AutoScanOn());
    EXPECT_EQ(w.PollIntervalMs(), 0);
    EXPECT_EQ(Find<QPushButton>("butSessionTimer")->palette().color(QPalette::Button),
              QColor(0, 128, 0));
    EXPECT_TRUE(Find<QPushButton>("butSessionTimer")->toolTip().isEmpty());

    EXPECT_EQ(Find<QSpinBox>("ListServerPop3Port")->value(), 110);
    EXPECT_EQ(Find<QSpinBox>("SmtpPort")->value(), 25);
    EXPECT_EQ(Find<QSpinBox>("SessionInterval")->value(), 0);
    EXPECT_EQ(Find<QSpinBox>("SmtpMaxAttempts")->value(), 2);
    EXPECT_EQ(Find<QSpinBox>("MaxRecipientsPerMessage")->value(), 100);
    EXPECT_EQ(Find<QSpinBox>("MaxRecipientsPerHour")->value(), 0);
    EXPECT_EQ(Find<QSpinBox>("MaxRecipientsPerDay")->value(), 0);
    EXPECT_EQ(Find<QLineEdit>("BackupDir")->text(), Q(paths.appDir + "Backup"));
    EXPECT_FALSE(Find<QCheckBox>("chkTimerON")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("chkMinimized")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("chkLaunch")->isChecked());
    EXPECT_FALSE(w.SmtpAuthWindow()->chkReqSmtpAuth->isChecked());
    EXPECT_FALSE(w.SmtpAuthWindow()->grpSmtpUser->isEnabled());
    EXPECT_EQ(w.SmtpAuthWindow()->windowTitle(), QStringLiteral("SMTP Authentication"));

    // The pages, in tab order, and the hints of the buttons above them.
    const QStringList tabs = {"Members",    "Options", "Responses", "Post message",
                              "Extra text", "Global",  "About"};
    ASSERT_EQ(Find<QTabWidget>("pagMain")->count(), tabs.size());
    for (int i = 0; i < tabs.size(); ++i) {
        EXPECT_EQ(Find<QTabWidget>("pagMain")->tabText(i), tabs[i]);
    }
    EXPECT_EQ(Find<QPushButton>("butAddList")->toolTip(), QStringLiteral("Add new list"));
    EXPECT_EQ(Find<QPushButton>("butDeleteList")->toolTip(), QStringLiteral("Delete list"));
    EXPECT_EQ(Find<QPushButton>("butHide")->toolTip(), QStringLiteral("Minimize to tray"));
    EXPECT_EQ(Find<QPushButton>("butGo")->toolTip(), QStringLiteral("Scan manually"));
    EXPECT_EQ(Find<QSpinBox>("SessionInterval")->toolTip(), QStringLiteral("0 = polling disabled"));
    EXPECT_EQ(Find<QSpinBox>("SmtpMaxAttempts")->toolTip(), QStringLiteral("0 = no limit"));
    QStringList menu;
    for (QAction* action : w.TrayMenu()->actions()) {
        menu << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    EXPECT_EQ(menu, QStringList({"Help", "-", "Restore", "Timer ON", "-", "Exit"}));

    // Nothing global is written by merely starting.
    EXPECT_FALSE(store->ValueExists(Key(), "SMTPPort"));
    EXPECT_FALSE(store->ValueExists(Key(), "TimerON"));
}

TEST_F(StartupTest, GlobalFieldsAreStoredWhenLeftOrChanged) {
    TfrmMain& w = Open();
    Type(Find<QLineEdit>("SmtpHost"), "mail.example.org");
    EXPECT_FALSE(store->ValueExists(Key(), "SMTPHost"));
    Leave(Find<QLineEdit>("SmtpHost"));
    EXPECT_EQ(store->ReadRegString(Key(), "SmtpHost", ""), "mail.example.org");
    Find<QSpinBox>("SmtpPort")->setValue(2525);
    EXPECT_EQ(store->ReadRegInteger(Key(), "SMTPPort", 0), 2525);
    // What the field shows is what the window's scans use.
    Find<QSpinBox>("MaxMessageSize")->setValue(1000);
    EXPECT_EQ(store->ReadRegInteger(Key(), "MaxMessageSize", 0), 1000);
    EXPECT_EQ(w.EngineServices().console.Globals().MaxMessageSize, 1000);
    struct Cap {
        const char* name;
        int value;
        int32_t GlobalSettings::*field;
    };
    for (const Cap& cap :
         {Cap{"MaxRecipientsPerMessage", 0, &GlobalSettings::MaxRecipientsPerMessage},
          Cap{"MaxRecipientsPerHour", 120, &GlobalSettings::MaxRecipientsPerHour},
          Cap{"MaxRecipientsPerDay", 2000, &GlobalSettings::MaxRecipientsPerDay}}) {
        Find<QSpinBox>(cap.name)->setValue(cap.value);
        EXPECT_EQ(store->ReadRegInteger(Key(), cap.name, -1), cap.value) << cap.name;
        EXPECT_EQ(w.EngineServices().console.Globals().*cap.field, cap.value) << cap.name;
    }
    Type(Find<QLineEdit>("ListServerPop3Password"), "s3cret");
    Leave(Find<QLineEdit>("ListServerPop3Password"));
    EXPECT_EQ(store->ReadRegString(Key(), "ListServerPassword", ""), ScramblePassword("s3cret"));
    Find<QCheckBox>("chkTimerON")->click();
    EXPECT_TRUE(store->ReadRegBool(Key(), "TimerON", false));
    EXPECT_FALSE(w.AutoScanOn());  // used at the next start only

    TfrmSmtpAuth* auth = w.SmtpAuthWindow();
    auth->chkReqSmtpAuth->click();
    EXPECT_TRUE(store->ReadRegBool(Key(), "ReqSmtpAuth", false));
    EXPECT_TRUE(auth->grpSmtpUser->isEnabled());
    Type(auth->edtSmtpPassword, "pw");
    Leave(auth->edtSmtpPassword);
    EXPECT_EQ(store->ReadRegString(Key(), "SmtpPassword", ""), ScramblePassword("pw"));
    // The user name goes into an SMTP command: no control character can be typed into it.
    auth->edtSmtpUser->insert(QStringLiteral("ann\r\nRSET"));
    EXPECT_FALSE(auth->edtSmtpUser->text().contains(QLatin1Char('\n')));

    // The next start reads them back and switches auto-scan on.
    Close();
    TfrmMain& again = Open();
    EXPECT_EQ(Find<QLineEdit>("SmtpHost")->text(), QStringLiteral("mail.example.org"));
    EXPECT_EQ(Find<QSpinBox>("SmtpPort")->value(), 2525);
    EXPECT_EQ(Find<QLineEdit>("ListServerPop3Password")->text(), QStringLiteral("s3cret"));
    EXPECT_TRUE(again.AutoScanOn());
    EXPECT_EQ(Find<QPushButton>("butSessionTimer")->palette().color(QPalette::Button),
              QColor(0, 255, 0));
    EXPECT_EQ(Find<QPushButton>("butSessionTimer")->toolTip(), QStringLiteral("Auto-scan is ON"));
    EXPECT_TRUE(Action("mnuTimerOn")->isChecked());
    EXPECT_EQ(again.PollIntervalMs(), 0);  // interval 0: polling disabled
}

TEST_F(StartupTest, AutoScanSwitchArmsThePollTimerWithTheIntervalShown) {
    TfrmMain& w = Open();
    Find<QSpinBox>("SessionInterval")->setValue(15);
    Find<QPushButton>("butSessionTimer")->click();
    EXPECT_TRUE(w.AutoScanOn());
    EXPECT_EQ(w.PollIntervalMs(), 15 * 60000);
    Action("mnuTimerOn")->trigger();  // the tray item runs the same toggle
    EXPECT_FALSE(w.AutoScanOn());
    EXPECT_FALSE(Action("mnuTimerOn")->isChecked());
    EXPECT_EQ(Find<QPushButton>("butSessionTimer")->toolTip(), QStringLiteral("Auto-scan is OFF"));
    EXPECT_EQ(w.PollIntervalMs(), 0);
}

TEST_F(StartupTest, PositionAndListAreStoredOnExitAndRestored) {
    store->CreateKey(ListKey("alpha"));
    store->CreateKey(ListKey("beta"));
    TfrmMain& w = Open();
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 2);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("alpha"));
    Find<QComboBox>("cmbLists")->setCurrentIndex(1);
    w.move(321, 123);
    w.ExitApplication();
    EXPECT_TRUE(w.Ended());
    EXPECT_EQ(store->ReadRegInteger(Key(), "Left", 0), 321);
    EXPECT_EQ(store->ReadRegInteger(Key(), "Top", 0), 123);
    EXPECT_EQ(store->ReadRegInteger(Key(), "LastList", -5), 1);

    TfrmMain& again = Open();
    EXPECT_EQ(again.pos(), QPoint(321, 123));
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("beta"));
}

TEST_F(StartupTest, LastListPastTheEndAppendsDefaultListAndSelectsTheFirst) {
    store->CreateKey(ListKey("alpha"));
    store->WriteRegInteger(Key(), "LastList", 7);
    Open();
    ASSERT_EQ(Find<QComboBox>("cmbLists")->count(), 2);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->itemText(1), QStringLiteral("Default List"));
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentIndex(), 0);
    EXPECT_EQ(Find<QComboBox>("cmbLists")->currentText(), QStringLiteral("alpha"));
}

TEST_F(StartupTest, HelpOpensThePageAtTopic10) {
    Open();
    Find<QPushButton>("butHelp")->click();
    Action("mnuHelp")->trigger();
    ASSERT_EQ(dialogs.urls.size(), 2u);
    EXPECT_EQ(dialogs.urls[0].fragment(), QStringLiteral("topic10"));
    EXPECT_EQ(dialogs.urls[0].toLocalFile(), Q(dir.File("help/index.html")));
    EXPECT_TRUE(FileExists(FindHelpFile("/nonexistent")));  // the source tree's page
}

TEST(StartOptionsTest, TestModeInAnyCaseAndHome) {
    EXPECT_TRUE(ParseStartOptions({"TeSt"}).testMode);
    EXPECT_FALSE(ParseStartOptions({"--home", "test"}).testMode);
    EXPECT_FALSE(ParseStartOptions({"x", "test"}).testMode);
    const StartOptions options = ParseStartOptions({"test", "--home", "/tmp/x", "other"});
    EXPECT_TRUE(options.testMode);
    EXPECT_EQ(options.home.value_or(""), "/tmp/x");
    EXPECT_EQ(ParseStartOptions({"--home=/a"}).home.value_or(""), "/a");
}

TEST(FileFilterTest, PairedFilterInQtForm) {
    EXPECT_EQ(QtFileFilter(kTextFileFilter),
              QStringLiteral("Text files (*.txt *.TXT);;All files (*)"));
}

// The program itself: a second copy ends at once with 0 and writes nothing; a copy in test
// mode runs beside it and ends through the shutdown file.
TEST(SingleInstanceTest, SecondCopyEndsSilentlyAndTestModeRunsBeside) {
    TempDir home;
    const AppPaths normal = AppPaths::ForDirectory(home.Path());
    FileLock running(normal.InstanceLockFile());
    ASSERT_TRUE(running.TryLock());

    QProcess second;
    second.start(QStringLiteral(CORVANTEER_PROGRAM), {"--home", Q(home.Path())});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_FALSE(FileExists(normal.SettingsDatabase()));  // no window, nothing written

    // "TEST": its own folder, lock and key. It ends through its shutdown file (checked every
    // 5 s).
    const AppPaths test = AppPaths::ForDirectory(home.Path() + "/test", true);
    ForceDirectories(home.Path() + "/test");
    Spit(test.ShutdownFile(), "");
    QProcess testCopy;
    testCopy.start(QStringLiteral(CORVANTEER_PROGRAM), {"TEST", "--home", Q(home.Path())});
    ASSERT_TRUE(testCopy.waitForFinished(30000));
    EXPECT_EQ(testCopy.exitCode(), 0);
    EXPECT_FALSE(FileExists(test.ShutdownFile()));
    auto store = SettingsStore::Open(test.SettingsDatabase());
    EXPECT_TRUE(store->ValueExists(test.SettingsKey(), "LastList"));
    EXPECT_FALSE(FileExists(normal.SettingsDatabase()));
}

}  // namespace
}  // namespace corvanteer::testing
