// The "Post message" and "Global" pages.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"

namespace corvanteer {

QWidget* TfrmMain::BuildPostPage() {
    auto* page = Named<QWidget>(this, "tabPostMessage");
    auto* grid = Child<QGridLayout>(page);
    page->setLayout(grid);
    cmbPostedMsgs = Named<QComboBox>(page, "cmbPostedMsgs");
    butSaveMsg = Named<QPushButton>(page, "butSaveMsg", QStringLiteral("Save as"));
    butDelMsg = Named<QPushButton>(page, "butDelMsg", QStringLiteral("Delete"));
    butDelMsg->setEnabled(false);
    auto* savedRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    savedRow->addWidget(cmbPostedMsgs, 1);
    savedRow->addWidget(butSaveMsg);
    savedRow->addWidget(butDelMsg);
    grid->addLayout(savedRow, 0, 0, 1, 2);
    edtFrom = Named<QLineEdit>(page, "edtFrom");
    edtSubject = Named<QLineEdit>(page, "edtSubject");
    memoMessage = Named<QPlainTextEdit>(page, "memoMessage");
    grid->addWidget(Child<QLabel>(page, QStringLiteral("From")), 1, 0);
    grid->addWidget(edtFrom, 1, 1);
    grid->addWidget(Child<QLabel>(page, QStringLiteral("Subject")), 2, 0);
    grid->addWidget(edtSubject, 2, 1);
    grid->addWidget(Child<QLabel>(page, QStringLiteral("Msg")), 3, 0, Qt::AlignTop);
    grid->addWidget(memoMessage, 3, 1);
    butPostMsg = Named<QPushButton>(page, "butPostMsg", QStringLiteral("Post msg"));
    butCancelPost = Named<QPushButton>(page, "butCancelPost", QStringLiteral("Abort"));
    butCancelPost->setEnabled(false);
    auto* postRow = Child<QHBoxLayout>(static_cast<QWidget*>(nullptr));
    postRow->addStretch(1);
    postRow->addWidget(butPostMsg);
    postRow->addWidget(butCancelPost);
    grid->addLayout(postRow, 4, 0, 1, 2);

    connect(butSaveMsg, &QPushButton::clicked, this, [this] { butSaveMsgClick(); });
    connect(butDelMsg, &QPushButton::clicked, this, [this] { butDelMsgClick(); });
    connect(butPostMsg, &QPushButton::clicked, this, [this] { butPostMsgClick(); });
    connect(butCancelPost, &QPushButton::clicked, this, [this] { butCancelPostClick(); });
    connect(cmbPostedMsgs, &QComboBox::activated, this, [this] { cmbPostedMsgsChange(); });
    return page;
}

QWidget* TfrmMain::BuildGlobalPage() {
    auto* page = Named<QWidget>(this, "tabGlobal");
    auto* grid = Child<QGridLayout>(page);
    page->setLayout(grid);

    auto* address = Child<QFormLayout>(static_cast<QWidget*>(nullptr));
    ListServerAddress = Named<QLineEdit>(page, "ListServerAddress");
    address->addRow(QStringLiteral("List Server address"), ListServerAddress);
    grid->addLayout(address, 0, 0, 1, 2);

    auto* pop3 = Named<QGroupBox>(page, "grpListServerPop3",
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
    grid->addWidget(pop3, 1, 0, 2, 1);

    grpSmtp = Named<QGroupBox>(page, "grpSmtp", QStringLiteral(" SMTP (outgoing) "));
    auto* smtpForm = Child<QFormLayout>(grpSmtp);
    grpSmtp->setLayout(smtpForm);
    SmtpHost = Named<QLineEdit>(grpSmtp, "SmtpHost");
    SmtpPort = Named<QSpinBox>(grpSmtp, "SmtpPort");
    SmtpPort->setRange(0, 65535);
    butSmtpAuth = Named<QPushButton>(grpSmtp, "butSmtpAuth", QStringLiteral("Authenticate"));
    smtpForm->addRow(QStringLiteral("Host"), SmtpHost);
    smtpForm->addRow(QStringLiteral("Port"), SmtpPort);
    smtpForm->addRow(QString(), butSmtpAuth);
    grid->addWidget(grpSmtp, 1, 1);

    auto* polling = Child<QWidget>(page);
    auto* pollForm = Child<QFormLayout>(polling);
    polling->setLayout(pollForm);
    SessionInterval = Named<QSpinBox>(polling, "SessionInterval");
    SessionInterval->setRange(0, 9999);
    SessionInterval->setToolTip(QStringLiteral("0 = polling disabled"));
    SmtpMaxAttempts = Named<QSpinBox>(polling, "SmtpMaxAttempts");
    SmtpMaxAttempts->setRange(0, 9999);
    SmtpMaxAttempts->setToolTip(QStringLiteral("0 = no limit"));
    pollForm->addRow(QStringLiteral("Poll interval (mins)"), SessionInterval);
    pollForm->addRow(QStringLiteral("Max attempts for outgoing msgs"), SmtpMaxAttempts);
    grid->addWidget(polling, 2, 1);

    auto* checks = Child<QWidget>(page);
    auto* checksLayout = Child<QVBoxLayout>(checks);
    checks->setLayout(checksLayout);
    chkTimerON = Named<QCheckBox>(checks, "chkTimerON", QStringLiteral("Auto-scan ON at startup"));
    chkMinimized = Named<QCheckBox>(checks, "chkMinimized", QStringLiteral("Start minimized"));
    chkLaunch = Named<QCheckBox>(checks, "chkLaunch", QStringLiteral("Launch at Windows startup"));
    checksLayout->addWidget(chkTimerON);
    checksLayout->addWidget(chkMinimized);
    checksLayout->addWidget(chkLaunch);
    grid->addWidget(checks, 3, 0);

    auto* backup = Named<QGroupBox>(page, "grpBackup", QStringLiteral(" Backup "));
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
    grid->setRowStretch(4, 1);

    connect(butBackup, &QPushButton::clicked, this, [this] { butBackupClick(); });
    connect(butRestore, &QPushButton::clicked, this, [this] { butRestoreClick(); });
    connect(butBackDirBrowse, &QPushButton::clicked, this, [this] { butBackDirBrowseClick(); });
    return page;
}

}  // namespace corvanteer
