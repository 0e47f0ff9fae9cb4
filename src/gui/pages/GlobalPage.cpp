#include "gui/pages/GlobalPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "app/BackupRestore.h"
#include "engine/Services.h"
#include "gui/Dialogs.h"
#include "gui/GuiUtil.h"
#include "gui/RunAtStartup.h"
#include "gui/pages/PageHost.h"
#include "support/AppPaths.h"

namespace corvanteer {

GlobalPage::GlobalPage(PageHost& host, std::string executable, QWidget* parent)
    : QWidget(parent),
      host_(host),
      executable_(std::move(executable)),
      fields_(host, SettingScope::Global) {
    setObjectName(QStringLiteral("tabGlobal"));
    BuildControls();
    fields_.Bind({
        Setting(ListServerAddress, "ListServerAddress"),
        Setting(ListServerPop3Host, "ListServerHost"),
        Setting(ListServerPop3UserID, "ListServerUserID"),
        Setting(ListServerPop3Password, "ListServerPassword"),  // scrambled by its table entry
        Setting(ListServerPop3Port, "ListServerPort"),
        Setting(cmbListServerSecurity, "ListServerSecurity"),
        Setting(ListServerTlsFingerprint, "ListServerTlsFingerprint"),
        Setting(cmbListServerAuth, "ListServerAuth"),
        Setting(SmtpHost, "SMTPHost"),
        Setting(SmtpPort, "SMTPPort"),
        Setting(cmbSmtpSecurity, "SMTPSecurity"),
        Setting(SmtpTlsFingerprint, "SMTPTlsFingerprint"),
        Setting(cmbSmtpAuth, "SMTPAuth"),
        Setting(cmbOAuthProvider, "OAuthProvider"),
        Setting(OAuthClientId, "OAuthClientId"),
        Setting(OAuthClientSecret, "OAuthClientSecret"),  // scrambled by its table entry
        Setting(OAuthTenant, "OAuthTenant"),
        Setting(OAuthAuthorizeUrl, "OAuthAuthorizeUrl"),
        Setting(OAuthTokenUrl, "OAuthTokenUrl"),
        Setting(OAuthDeviceUrl, "OAuthDeviceUrl"),
        Setting(OAuthScopes, "OAuthScopes"),
        Setting(TlsCAFile, "TlsCAFile"),
        Setting(SessionInterval, "SessionInterval"),
        Setting(SmtpMaxAttempts, "SmtpMaxAttempts"),
        Setting(MaxMessageSize, "MaxMessageSize"),
        Setting(MaxRecipientsPerMessage, "MaxRecipientsPerMessage"),
        Setting(MaxRecipientsPerHour, "MaxRecipientsPerHour"),
        Setting(MaxRecipientsPerDay, "MaxRecipientsPerDay"),
        Setting(chkTimerON, "TimerON"),
        Setting(chkMinimized, "Minimized"),
        Setting(chkLaunch, "Launch", StoreWhen::PageAsks),  // after the start-up entry
        Setting(BackupDir, "BackupDir"),
    });

    connect(butBackup, &QPushButton::clicked, this, [this] { butBackupClick(); });
    connect(butRestore, &QPushButton::clicked, this, [this] { butRestoreClick(); });
    connect(butBackDirBrowse, &QPushButton::clicked, this, [this] { butBackDirBrowseClick(); });
    connect(butTlsCAFileBrowse, &QPushButton::clicked, this, [this] { butTlsCAFileBrowseClick(); });
    connect(butListServerSignIn, &QPushButton::clicked, this,
            [this] { emit signInRequested(QStringLiteral("listserver")); });
    connect(butSmtpSignIn, &QPushButton::clicked, this,
            [this] { emit signInRequested(QStringLiteral("smtp")); });
    connect(butCheckConnections, &QPushButton::clicked, this,
            [this] { emit checkConnectionsRequested(); });
    connect(chkLaunch, &QCheckBox::clicked, this,
            [this] { host_.Guarded([this] { chkLaunchClick(); }); });
    connect(butSmtpAuth, &QPushButton::clicked, this,
            // Over the button that opens it.
            [this] { emit smtpAuthRequested(butSmtpAuth->mapToGlobal(QPoint(0, 0))); });
}

void GlobalPage::BuildControls() {
    auto* grid = Child<QGridLayout>(this);
    setLayout(grid);

    auto* address = Child<QFormLayout>(static_cast<QWidget*>(nullptr));
    ListServerAddress = Named<QLineEdit>(this, "ListServerAddress");
    address->addRow(QStringLiteral("List Server address"), ListServerAddress);
    grid->addLayout(address, 0, 0, 1, 2);

    auto* pop3 = Named<QGroupBox>(this, "grpListServerPop3",
                                  QStringLiteral(" List Server  POP3 (incoming) "));
    auto* pop3Form = Child<QFormLayout>(pop3);
    pop3->setLayout(pop3Form);
    ListServerPop3Host = Named<QLineEdit>(pop3, "ListServerPop3Host");
    ListServerPop3UserID = Named<QLineEdit>(pop3, "ListServerPop3UserID");
    ListServerPop3Password = Named<QLineEdit>(pop3, "ListServerPop3Password");
    ListServerPop3Password->setEchoMode(QLineEdit::Password);
    ListServerPop3Port = Named<QSpinBox>(pop3, "ListServerPop3Port");
    ListServerPop3Port->setRange(0, 65535);
    pop3Form->addRow(QStringLiteral("Host"), ListServerPop3Host);
    pop3Form->addRow(QStringLiteral("User"), ListServerPop3UserID);
    pop3Form->addRow(QStringLiteral("Password"), ListServerPop3Password);
    pop3Form->addRow(QStringLiteral("Port"), ListServerPop3Port);
    cmbListServerSecurity = SecurityChoice(pop3, "cmbListServerSecurity");
    ListServerTlsFingerprint = FingerprintField(pop3, "ListServerTlsFingerprint");
    pop3Form->addRow(QStringLiteral("Security"), cmbListServerSecurity);
    pop3Form->addRow(QStringLiteral("Fingerprint"), ListServerTlsFingerprint);
    cmbListServerAuth = LoginChoice(pop3, "cmbListServerAuth");
    butListServerSignIn = SignInButton(pop3, "butListServerSignIn", cmbListServerAuth);
    auto* pop3Login = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    pop3Login->addWidget(cmbListServerAuth, 1);
    pop3Login->addWidget(butListServerSignIn);
    pop3Form->addRow(QStringLiteral("Login"), pop3Login);
    grid->addWidget(pop3, 1, 0, 2, 1);

    grpSmtp = Named<QGroupBox>(this, "grpSmtp", QStringLiteral(" SMTP (outgoing) "));
    auto* smtpForm = Child<QFormLayout>(grpSmtp);
    grpSmtp->setLayout(smtpForm);
    SmtpHost = Named<QLineEdit>(grpSmtp, "SmtpHost");
    SmtpPort = Named<QSpinBox>(grpSmtp, "SmtpPort");
    SmtpPort->setRange(0, 65535);
    butSmtpAuth = Named<QPushButton>(grpSmtp, "butSmtpAuth", QStringLiteral("Authenticate"));
    cmbSmtpSecurity = SecurityChoice(grpSmtp, "cmbSmtpSecurity");
    SmtpTlsFingerprint = FingerprintField(grpSmtp, "SmtpTlsFingerprint");
    smtpForm->addRow(QStringLiteral("Host"), SmtpHost);
    smtpForm->addRow(QStringLiteral("Port"), SmtpPort);
    smtpForm->addRow(QStringLiteral("Security"), cmbSmtpSecurity);
    smtpForm->addRow(QStringLiteral("Fingerprint"), SmtpTlsFingerprint);
    cmbSmtpAuth = LoginChoice(grpSmtp, "cmbSmtpAuth");
    butSmtpSignIn = SignInButton(grpSmtp, "butSmtpSignIn", cmbSmtpAuth);
    auto* smtpLogin = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    smtpLogin->addWidget(cmbSmtpAuth, 1);
    smtpLogin->addWidget(butSmtpSignIn);
    smtpForm->addRow(QStringLiteral("Login"), smtpLogin);
    smtpForm->addRow(QString(), butSmtpAuth);
    grid->addWidget(grpSmtp, 1, 1);

    auto* polling = Child<QWidget>(this);
    auto* pollForm = Child<QFormLayout>(polling);
    polling->setLayout(pollForm);
    SessionInterval = Named<QSpinBox>(polling, "SessionInterval");
    SessionInterval->setRange(0, 9999);
    SessionInterval->setToolTip(QStringLiteral("0 = polling disabled"));
    SmtpMaxAttempts = Named<QSpinBox>(polling, "SmtpMaxAttempts");
    SmtpMaxAttempts->setRange(0, 9999);
    SmtpMaxAttempts->setToolTip(QStringLiteral("0 = no limit"));
    pollForm->addRow(QStringLiteral("Poll interval (mins)"), SessionInterval);
    MaxMessageSize = Named<QSpinBox>(polling, "MaxMessageSize");
    MaxMessageSize->setRange(0, std::numeric_limits<int32_t>::max());
    MaxMessageSize->setToolTip(
        QStringLiteral("Larger messages stay on the server (logged once a scan); 0 = no limit"));
    pollForm->addRow(QStringLiteral("Max attempts for outgoing msgs"), SmtpMaxAttempts);
    pollForm->addRow(QStringLiteral("Max message size (bytes)"), MaxMessageSize);
    // What the provider allows; the same range as the settings table's.
    const auto recipients = [polling](const char* name, const char* tip) {
        auto* box = Named<QSpinBox>(polling, name);
        box->setRange(0, 10000000);
        box->setToolTip(QString::fromUtf8(tip));
        return box;
    };
    MaxRecipientsPerMessage = recipients(
        "MaxRecipientsPerMessage", "Bcc postings to more members go out in parts; 0 = no limit");
    MaxRecipientsPerHour =
        recipients("MaxRecipientsPerHour", "Mail past it waits in the queue (held); 0 = no limit");
    MaxRecipientsPerDay =
        recipients("MaxRecipientsPerDay", "Mail past it waits in the queue (held); 0 = no limit");
    pollForm->addRow(QStringLiteral("Max recipients per message"), MaxRecipientsPerMessage);
    pollForm->addRow(QStringLiteral("Max recipients per hour"), MaxRecipientsPerHour);
    pollForm->addRow(QStringLiteral("Max recipients per day"), MaxRecipientsPerDay);
    grid->addWidget(polling, 2, 1);

    auto* checks = Child<QWidget>(this);
    auto* checksLayout = Child<QVBoxLayout>(checks);
    checks->setLayout(checksLayout);
    chkTimerON = Named<QCheckBox>(checks, "chkTimerON", QStringLiteral("Auto-scan ON at startup"));
    chkMinimized = Named<QCheckBox>(checks, "chkMinimized", QStringLiteral("Start minimized"));
    chkLaunch = Named<QCheckBox>(checks, "chkLaunch", QStringLiteral("Start at login"));
    checksLayout->addWidget(chkTimerON);
    checksLayout->addWidget(chkMinimized);
    checksLayout->addWidget(chkLaunch);
    grid->addWidget(checks, 3, 0);

    auto* backup = Named<QGroupBox>(this, "grpBackup", QStringLiteral(" Backup "));
    auto* backupGrid = Child<QGridLayout>(backup);
    backup->setLayout(backupGrid);
    BackupDir = Named<QLineEdit>(backup, "BackupDir");
    butBackDirBrowse = Named<QPushButton>(backup, "butBackDirBrowse", QStringLiteral("..."));
    butBackDirBrowse->setToolTip(QStringLiteral("Select folder"));
    butBackDirBrowse->setFixedWidth(32);
    butBackup = Named<QPushButton>(backup, "butBackup", QStringLiteral("Backup"));
    butRestore = Named<QPushButton>(backup, "butRestore", QStringLiteral("Restore"));
    backupGrid->addWidget(Child<QLabel>(backup, QStringLiteral("Directory")), 0, 0);
    backupGrid->addWidget(BackupDir, 0, 1, 1, 2);
    backupGrid->addWidget(butBackDirBrowse, 0, 3);
    backupGrid->addWidget(butBackup, 1, 1);
    backupGrid->addWidget(butRestore, 1, 2);
    grid->addWidget(backup, 3, 1);

    auto* tls = Child<QWidget>(this);
    auto* tlsRow = Child<QHBoxLayout>(tls);
    tls->setLayout(tlsRow);
    TlsCAFile = Named<QLineEdit>(tls, "TlsCAFile");
    TlsCAFile->setToolTip(
        QStringLiteral("PEM file of CA certificates trusted besides the system's (optional)"));
    butTlsCAFileBrowse = Named<QPushButton>(tls, "butTlsCAFileBrowse", QStringLiteral("..."));
    butTlsCAFileBrowse->setToolTip(QStringLiteral("Select file"));
    butTlsCAFileBrowse->setFixedWidth(32);
    butCheckConnections =
        Named<QPushButton>(tls, "butCheckConnections", QStringLiteral("Check connections"));
    butCheckConnections->setToolTip(
        QStringLiteral("Connect to every server and try the logins; reads and sends nothing"));
    tlsRow->addWidget(Child<QLabel>(tls, QStringLiteral("Trusted CA file")));
    tlsRow->addWidget(TlsCAFile, 1);
    tlsRow->addWidget(butTlsCAFileBrowse);
    tlsRow->addWidget(butCheckConnections);
    grid->addWidget(tls, 4, 0, 1, 2);

    auto* oauth = Named<QGroupBox>(this, "grpOAuth",
                                   QStringLiteral(" OAuth 2.0 (your application registration) "));
    auto* oauthGrid = Child<QGridLayout>(oauth);
    oauth->setLayout(oauthGrid);
    cmbOAuthProvider = Named<QComboBox>(oauth, "cmbOAuthProvider");
    cmbOAuthProvider->addItems(
        {QStringLiteral("Microsoft"), QStringLiteral("Google"), QStringLiteral("Custom")});
    OAuthClientId = Named<QLineEdit>(oauth, "OAuthClientId");
    OAuthClientSecret = Named<QLineEdit>(oauth, "OAuthClientSecret");
    OAuthClientSecret->setEchoMode(QLineEdit::Password);
    OAuthClientSecret->setToolTip(QStringLiteral("Google desktop clients; empty for Microsoft"));
    OAuthTenant = Named<QLineEdit>(oauth, "OAuthTenant");
    OAuthTenant->setToolTip(
        QStringLiteral("Microsoft: common, organizations, consumers or "
                       "your tenant's id or domain"));
    OAuthAuthorizeUrl = Named<QLineEdit>(oauth, "OAuthAuthorizeUrl");
    OAuthTokenUrl = Named<QLineEdit>(oauth, "OAuthTokenUrl");
    OAuthDeviceUrl = Named<QLineEdit>(oauth, "OAuthDeviceUrl");
    OAuthScopes = Named<QLineEdit>(oauth, "OAuthScopes");
    const std::pair<const char*, QWidget*> cells[] = {
        {"Provider", cmbOAuthProvider},       {"Client id", OAuthClientId},
        {"Client secret", OAuthClientSecret}, {"Tenant", OAuthTenant},
        {"Authorize URL", OAuthAuthorizeUrl}, {"Token URL", OAuthTokenUrl},
        {"Device URL", OAuthDeviceUrl},       {"Scopes", OAuthScopes},
    };
    int cell = 0;
    for (const auto& [caption, control] : cells) {
        const int row = cell / 2;
        const int column = (cell % 2) * 2;
        oauthGrid->addWidget(Child<QLabel>(oauth, QString::fromLatin1(caption)), row, column);
        oauthGrid->addWidget(control, row, column + 1);
        ++cell;
    }
    grid->addWidget(oauth, 5, 0, 1, 2);
    grid->setRowStretch(6, 1);
}

GlobalSettings GlobalPage::SettingsShown() const {
    auto text = [this](const char* name) { return fields_.Shown(name); };
    auto number = [&](const char* name) { return StrToIntDef(text(name), 0); };
    auto flag = [&](const char* name) { return text(name) == "1"; };
    GlobalSettings g;
    g.ListServerAddress = text("ListServerAddress");
    g.ListServerHost = text("ListServerHost");
    g.ListServerUserID = text("ListServerUserID");
    g.ListServerPassword = text("ListServerPassword");
    g.ListServerPort = number("ListServerPort");
    g.ListServerSecurity = text("ListServerSecurity");
    g.ListServerTlsFingerprint = text("ListServerTlsFingerprint");
    g.ListServerAuth = text("ListServerAuth");
    g.SMTPHost = text("SMTPHost");
    g.SMTPPort = number("SMTPPort");
    g.SMTPSecurity = text("SMTPSecurity");
    g.SMTPTlsFingerprint = text("SMTPTlsFingerprint");
    g.SMTPAuth = text("SMTPAuth");
    g.TlsCAFile = text("TlsCAFile");
    g.SessionInterval = number("SessionInterval");
    g.SmtpMaxAttempts = number("SmtpMaxAttempts");
    g.MaxMessageSize = number("MaxMessageSize");
    g.MaxRecipientsPerMessage = number("MaxRecipientsPerMessage");
    g.MaxRecipientsPerHour = number("MaxRecipientsPerHour");
    g.MaxRecipientsPerDay = number("MaxRecipientsPerDay");
    g.TimerON = flag("TimerON");
    g.Minimized = flag("Minimized");
    g.Launch = flag("Launch");
    g.BackupDir = text("BackupDir");
    return g;
}

void GlobalPage::chkLaunchClick() {
    SetRunAtStartup(kProductTitle, executable_, chkLaunch->isChecked());
    fields_.Store(chkLaunch);
}

void GlobalPage::butBackupClick() {
    host_.Guarded([this] {
        host_.RefreshConsole();
        const ActionResult result = Backup(host_.EngineServices(), S(BackupDir->text()));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
            return;
        }
        host_.WindowDialogs().Beep();
        host_.ShowStatus(Q(result.message));
    });
}

void GlobalPage::butRestoreClick() {
    host_.Guarded([this] {
        host_.RefreshConsole();
        const ActionResult result = Restore(host_.EngineServices(), S(BackupDir->text()));
        if (!result.ok) {
            host_.WindowDialogs().ShowMessage(window(), Q(result.message));
            return;
        }
        host_.WindowDialogs().Beep();
        host_.WindowDialogs().ShowMessage(window(), Q(result.message));
        emit exitRequested();
    });
}

void GlobalPage::butTlsCAFileBrowseClick() {
    const QString typed = TlsCAFile->text().trimmed();
    const QString file = host_.WindowDialogs().OpenFile(window(), typed, kPemFileFilter);
    if (file.isEmpty()) {
        return;
    }
    TlsCAFile->setText(file);
    host_.Guarded([this] { fields_.Store(TlsCAFile); });
}

void GlobalPage::butBackDirBrowseClick() {
    const QString typed = BackupDir->text().trimmed();
    const QString start = typed.isEmpty() ? Q(host_.EngineServices().paths.appDir) : typed;
    const QString folder = host_.WindowDialogs().SelectFolder(window(), start);
    if (folder.isEmpty()) {
        return;
    }
    BackupDir->setText(folder);
    host_.Guarded([this] { fields_.Store(BackupDir); });
}

}  // namespace corvanteer
