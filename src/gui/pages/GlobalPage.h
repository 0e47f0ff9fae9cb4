#pragma once

// The "Global" page: the List Server's address and mailbox, the SMTP server, each with its
// security and pinned certificate, the extra trusted CAs, polling, the start-up switches and
// the backup folder, each stored the moment it is left, clicked or changed; backup and
// restore; the connection check.
//
// To add a control: create it in BuildControls with Named<...>(parent, "objectName"), lay it
// out, and add its row, Setting(control, "SettingName"), to the table given to fields_.Bind in
// the constructor (the name must be in the global setting table). A button gets a handler
// named after it and its event (butCheckConnectionsClick), connected in the constructor.

#include <QPoint>
#include <QWidget>
#include <string>

#include "gui/pages/SettingFields.h"
#include "support/SettingTables.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace corvanteer {

class PageHost;

class GlobalPage : public QWidget {
    Q_OBJECT
public:
    // executable: the command the start-up entry runs.
    GlobalPage(PageHost& host, std::string executable, QWidget* parent);

    // Fills the controls from the global settings (absent ones show their defaults).
    void LoadSettings() { fields_.LoadSettings(); }
    // The global settings as the controls show them. SMTP authentication, the window's
    // position and LastList are not on this page and keep their defaults.
    GlobalSettings SettingsShown() const;

signals:
    // "Authenticate" was clicked: the window opens its SMTP authentication dialog at that
    // point of the screen.
    void smtpAuthRequested(const QPoint& at);
    // A restore has replaced the settings and lists: the program must end.
    void exitRequested();
    // "Check connections" was clicked: the window runs the check on its worker.
    void checkConnectionsRequested();

private:
    void BuildControls();
    void chkLaunchClick();
    void butBackupClick();
    void butRestoreClick();
    void butBackDirBrowseClick();
    void butTlsCAFileBrowseClick();

    PageHost& host_;
    std::string executable_;

    QLineEdit* ListServerAddress = nullptr;
    QLineEdit* ListServerPop3Host = nullptr;
    QLineEdit* ListServerPop3UserID = nullptr;
    QLineEdit* ListServerPop3Password = nullptr;
    QSpinBox* ListServerPop3Port = nullptr;
    QComboBox* cmbListServerSecurity = nullptr;
    QLineEdit* ListServerTlsFingerprint = nullptr;
    QGroupBox* grpSmtp = nullptr;
    QLineEdit* SmtpHost = nullptr;
    QSpinBox* SmtpPort = nullptr;
    QComboBox* cmbSmtpSecurity = nullptr;
    QLineEdit* SmtpTlsFingerprint = nullptr;
    QPushButton* butSmtpAuth = nullptr;
    QLineEdit* TlsCAFile = nullptr;
    QPushButton* butTlsCAFileBrowse = nullptr;
    QPushButton* butCheckConnections = nullptr;
    QSpinBox* SessionInterval = nullptr;
    QSpinBox* SmtpMaxAttempts = nullptr;
    QSpinBox* MaxMessageSize = nullptr;
    QSpinBox* MaxRecipientsPerMessage = nullptr;
    QSpinBox* MaxRecipientsPerHour = nullptr;
    QSpinBox* MaxRecipientsPerDay = nullptr;
    QCheckBox* chkTimerON = nullptr;
    QCheckBox* chkMinimized = nullptr;
    QCheckBox* chkLaunch = nullptr;
    QLineEdit* BackupDir = nullptr;
    QPushButton* butBackDirBrowse = nullptr;
    QPushButton* butBackup = nullptr;
    QPushButton* butRestore = nullptr;

    SettingFields fields_;
};

}  // namespace corvanteer
