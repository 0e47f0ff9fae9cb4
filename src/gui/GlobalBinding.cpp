// The "Global" page: loading the global settings into its controls, writing each control
// back the moment it is left, clicked or changed, backup and restore.

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

void TfrmMain::BindGlobalControls() {
    globalFields_.Bind({
        Setting(ListServerAddress, "ListServerAddress"),
        Setting(ListServerPop3Host, "ListServerHost"),
        Setting(ListServerPop3UserID, "ListServerUserID"),
        Setting(ListServerPop3Password, "ListServerPassword"),  // scrambled by its table entry
        Setting(ListServerPop3Port, "ListServerPort"),
        Setting(SmtpHost, "SMTPHost"),
        Setting(SmtpPort, "SMTPPort"),
        Setting(SessionInterval, "SessionInterval"),
        Setting(SmtpMaxAttempts, "SmtpMaxAttempts"),
        Setting(chkTimerON, "TimerON"),
        Setting(chkMinimized, "Minimized"),
        Setting(chkLaunch, "Launch", StoreWhen::PageAsks),  // after the start-up entry
        Setting(BackupDir, "BackupDir"),
    });
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
    globalFields_.Store(chkLaunch);
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
    Guarded([this] { globalFields_.Store(BackupDir); });
}

}  // namespace corvanteer
