// The "Global" page: loading the global settings into its controls, writing each control
// back the moment it is left, clicked or changed, backup and restore, and the About page's
// update check.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <thread>

#include "app/BackupRestore.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "gui/TfrmSmtpAuth.h"
#include "support/RunAtStartup.h"
#include "support/SettingTables.h"
#include "support/Status.h"
#include "update/UpdateCheck.h"

namespace corvanteer {
namespace {

const SettingDef& GlobalDef(const char* name) {
    return FindSettingOrFail(GlobalSettingTable(), name);
}

}  // namespace

void TfrmMain::LoadGlobalSettingsIntoWindow() {
    const GlobalSettings g =
        LoadGlobalSettings(store_, setup_.paths.SettingsKey(), setup_.paths.appDir);
    const bool wasLoading = loading_;
    loading_ = true;
    chkTimerON->setChecked(g.TimerON);
    chkMinimized->setChecked(g.Minimized);
    chkLaunch->setChecked(g.Launch);
    SessionInterval->setValue(g.SessionInterval);
    SmtpMaxAttempts->setValue(g.SmtpMaxAttempts);
    BackupDir->setText(Q(g.BackupDir));
    ListServerAddress->setText(Q(g.ListServerAddress));
    ListServerPop3Host->setText(Q(g.ListServerHost));
    ListServerPop3UserID->setText(Q(g.ListServerUserID));
    ListServerPop3Password->setText(Q(g.ListServerPassword));
    ListServerPop3Port->setValue(g.ListServerPort);
    SmtpHost->setText(Q(g.SMTPHost));
    SmtpPort->setValue(g.SMTPPort);
    loading_ = wasLoading;
}

void TfrmMain::StoreGlobal(const char* name, const std::string& value) {
    WriteSettingText(store_, setup_.paths.SettingsKey(), GlobalDef(name), value);
    RefreshConsole();
}

void TfrmMain::StoreGlobalInteger(const char* name, int value) {
    StoreGlobal(name, std::to_string(value));
}

void TfrmMain::StoreGlobalBool(const char* name, bool value) {
    StoreGlobal(name, value ? "1" : "0");
}

void TfrmMain::BindGlobalControls() {
    auto text = [this](QLineEdit* edit, const char* name) {
        BindLeave(edit, [this, edit, name] { StoreGlobal(name, S(edit->text())); });
    };
    text(ListServerAddress, "ListServerAddress");
    text(ListServerPop3Host, "ListServerHost");
    text(ListServerPop3UserID, "ListServerUserID");
    text(ListServerPop3Password, "ListServerPassword");  // scrambled by its table entry
    text(SmtpHost, "SMTPHost");
    text(BackupDir, "BackupDir");

    auto number = [this](QSpinBox* spin, const char* name) {
        connect(spin, &QSpinBox::valueChanged, this, [this, name](int value) {
            if (!loading_) {
                Guarded([&] { StoreGlobalInteger(name, value); });
            }
        });
    };
    number(ListServerPop3Port, "ListServerPort");
    number(SmtpPort, "SMTPPort");
    number(SessionInterval, "SessionInterval");
    number(SmtpMaxAttempts, "SmtpMaxAttempts");

    connect(chkTimerON, &QCheckBox::clicked, this,
            [this](bool on) { Guarded([&] { StoreGlobalBool("TimerON", on); }); });
    connect(chkMinimized, &QCheckBox::clicked, this,
            [this](bool on) { Guarded([&] { StoreGlobalBool("Minimized", on); }); });
    connect(chkLaunch, &QCheckBox::clicked, this,
            [this] { Guarded([this] { chkLaunchClick(); }); });
    connect(butSmtpAuth, &QPushButton::clicked, this, [this] {
        // Over the button that opens it.
        smtpAuth_->move(butSmtpAuth->mapToGlobal(QPoint(0, 0)));
        smtpAuth_->exec();
    });
}

void TfrmMain::chkLaunchClick() {
    SetRunAtStartup(kProductTitle, setup_.executable, chkLaunch->isChecked());
    StoreGlobalBool("Launch", chkLaunch->isChecked());
}

GlobalSettings TfrmMain::GlobalsShown() const {
    GlobalSettings g;
    g.ListServerAddress = S(ListServerAddress->text());
    g.ListServerHost = S(ListServerPop3Host->text());
    g.ListServerUserID = S(ListServerPop3UserID->text());
    g.ListServerPassword = S(ListServerPop3Password->text());
    g.ListServerPort = ListServerPop3Port->value();
    g.SMTPHost = S(SmtpHost->text());
    g.SMTPPort = SmtpPort->value();
    if (smtpAuth_) {
        g.ReqSmtpAuth = smtpAuth_->RequireAuthentication();
        g.SmtpUser = smtpAuth_->User();
        g.SmtpPassword = smtpAuth_->Password();
    }
    g.SessionInterval = SessionInterval->value();
    g.SmtpMaxAttempts = SmtpMaxAttempts->value();
    g.TimerON = chkTimerON->isChecked();
    g.Minimized = chkMinimized->isChecked();
    g.Launch = chkLaunch->isChecked();
    g.BackupDir = S(BackupDir->text());
    g.Top = y();
    g.Left = x();
    g.LastList = cmbLists->currentIndex();
    return g;
}

void TfrmMain::RefreshConsole() {
    console_.SetGlobals(GlobalsShown());
    std::vector<std::string> names;
    for (int i = 0; i < cmbLists->count(); ++i) {
        names.push_back(S(cmbLists->itemText(i)));
    }
    console_.SetListNames(std::move(names));
}

void TfrmMain::butBackupClick() {
    Guarded([this] {
        RefreshConsole();
        const ActionResult result = Backup(services_, S(BackupDir->text()));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
            return;
        }
        dialogs_.Beep();
        ShowStatus(Q(result.message));
    });
}

void TfrmMain::butRestoreClick() {
    Guarded([this] {
        RefreshConsole();
        const ActionResult result = Restore(services_, S(BackupDir->text()));
        if (!result.ok) {
            dialogs_.ShowMessage(this, Q(result.message));
            return;
        }
        dialogs_.Beep();
        dialogs_.ShowMessage(this, Q(result.message));
        ExitApplication();
    });
}

void TfrmMain::butBackDirBrowseClick() {
    const QString typed = BackupDir->text().trimmed();
    const QString start = typed.isEmpty() ? Q(setup_.paths.appDir) : typed;
    const QString folder = dialogs_.SelectFolder(this, start);
    if (folder.isEmpty()) {
        return;
    }
    BackupDir->setText(folder);
    Guarded([this] { StoreGlobal("BackupDir", S(BackupDir->text())); });
}

void TfrmMain::butUpdatesClick() {
    if (updateRunning_) {
        return;
    }
    const DialogButton answer = dialogs_.Ask(
        this, QStringLiteral("Check for latest version?"),
        QStringLiteral("You are about to check for the latest version.\r\n You must be connected "
                       "to the internet for this.\r\n\r\nDo you wish to continue?"),
        DialogIcon::Question, {DialogButton::Yes, DialogButton::No}, DialogButton::Yes);
    if (answer == DialogButton::No) {
        return;
    }
    QString current = lblAppVersion->text();
    current.remove(0, QStringLiteral("Version ").size());
    const std::string version = S(current.trimmed());
    if (updateThread_.joinable()) {
        updateThread_.join();
    }
    // The fetch may wait up to its time-out; it runs beside the window, which stays usable.
    updateRunning_ = true;
    ShowStatus(QStringLiteral("Checking for updates..."));
    updateThread_ = std::thread([this, version] {
        const UpdateCheckResult result = CheckForUpdate(setup_.paths, version, updateBaseUrl_);
        QMetaObject::invokeMethod(
            this,
            [this, result] { UpdateCheckFinished(result.newer, result.published, result.message); },
            Qt::QueuedConnection);
    });
}

void TfrmMain::UpdateCheckFinished(bool newer, const std::string& published,
                                   const std::string& message) {
    updateRunning_ = false;
    ShowStatus(QString());
    if (newer) {
        const DialogButton answer = dialogs_.Ask(
            this, QStringLiteral("New Version Found"),
            QStringLiteral("A newer version has been found (v") + Q(published) +
                QStringLiteral(")\r\n\r\nWould you like to read about it?"),
            DialogIcon::Question, {DialogButton::Yes, DialogButton::No}, DialogButton::Yes);
        if (answer != DialogButton::No) {
            dialogs_.OpenUrl(QUrl(Q(WhatsNewUrl(updateBaseUrl_))));
        }
        return;
    }
    dialogs_.Beep();
    dialogs_.ShowMessage(this, Q(message));
}

}  // namespace corvanteer
