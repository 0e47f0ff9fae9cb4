// The worker's jobs (scans and manual postings), the poll timer and the auto-scan switch, the
// shutdown request file, the tray icon and minimising, help.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <mutex>

#include "app/ConnectionCheck.h"
#include "app/ScanStatus.h"
#include "engine/MailConnections.h"
#include "engine/ManualPosting.h"
#include "gui/GuiUtil.h"
#include "gui/TfrmMain.h"
#include "gui/TfrmSmtpAuth.h"
#include "gui/pages/ExtraTextPage.h"
#include "gui/pages/GlobalPage.h"
#include "gui/pages/MembersPage.h"
#include "gui/pages/OptionsPage.h"
#include "gui/pages/PostPage.h"
#include "support/Files.h"
#include "support/SettingTables.h"

namespace corvanteer {
namespace {

const QColor kLime(0, 255, 0);   // auto-scan on
const QColor kGreen(0, 128, 0);  // auto-scan off

QIcon TrayIconImage(int index) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(index == 0 ? QColor(0, 128, 0) : QColor(220, 40, 40));
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(3, 3, 26, 26);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawLine(9, 12, 23, 12);
    painter.drawLine(9, 20, 23, 20);
    return QIcon(pixmap);
}

void SetFaceColour(QPushButton* button, const QColor& colour) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, colour);
    button->setPalette(palette);
    button->setAutoFillBackground(true);
}

}  // namespace

void TfrmMain::BuildTray() {
    SetFaceColour(butSessionTimer, kGreen);
    // Not a child of the window: a child menu would be drawn into the window's pictures.
    trayMenu_ = std::make_unique<QMenu>();
    mnuTray = trayMenu_.get();
    mnuTray->setObjectName(QStringLiteral("mnuTray"));
    mnuHelp = mnuTray->addAction(QStringLiteral("Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuTray->addSeparator();
    mnuRestore = mnuTray->addAction(QStringLiteral("Restore"));
    mnuRestore->setObjectName(QStringLiteral("mnuRestore"));
    mnuTimerOn = mnuTray->addAction(QStringLiteral("Timer ON"));
    mnuTimerOn->setObjectName(QStringLiteral("mnuTimerOn"));
    mnuTimerOn->setCheckable(true);
    mnuTray->addSeparator();
    mnuExit = mnuTray->addAction(QStringLiteral("Exit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    mnuExit->setShortcutContext(Qt::WindowShortcut);

    connect(mnuHelp, &QAction::triggered, this, &TfrmMain::butHelpClick);
    connect(mnuRestore, &QAction::triggered, this, &TfrmMain::RestoreFromTray);
    // The item's own check is set by the toggle, which knows the switch's state.
    connect(mnuTimerOn, &QAction::triggered, this, &TfrmMain::butSessionTimerClick);
    connect(mnuExit, &QAction::triggered, this, &TfrmMain::ExitApplication);

    // The same menu is the window's context menu, and Ctrl+Q exits: closing the window only
    // hides it where a notification area exists.
    addActions(mnuTray->actions());
    setContextMenuPolicy(Qt::ActionsContextMenu);

    if (setup_.useTray && QSystemTrayIcon::isSystemTrayAvailable()) {
        trayIcon = Named<QSystemTrayIcon>(this, "trayIcon", TrayIconImage(0));
        trayIcon->setToolTip(QString::fromLatin1(kProductTitle));
        trayIcon->setContextMenu(mnuTray);
        connect(trayIcon, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    if (reason == QSystemTrayIcon::DoubleClick) {
                        RestoreFromTray();
                    }
                });
        trayIcon->show();
    }
    setWindowIcon(TrayIconImage(0));
}

void TfrmMain::SetTrayImage(int index) {
    if (trayIcon != nullptr) {
        trayIcon->setIcon(TrayIconImage(index));
    }
}

void TfrmMain::butHideClick() {
    if (trayIcon != nullptr && hideOnMinimize_) {
        hide();
    } else {
        showMinimized();
    }
}

void TfrmMain::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && trayIcon != nullptr &&
        hideOnMinimize_) {
        QMetaObject::invokeMethod(
            this, [this] { hide(); }, Qt::QueuedConnection);
    }
}

void TfrmMain::RestoreFromTray() {
    showNormal();
    raise();
    activateWindow();
}

void TfrmMain::butHelpClick() {
    QUrl url = QUrl::fromLocalFile(Q(setup_.helpFile));
    url.setFragment(QStringLiteral("topic10"));
    dialogs_.OpenUrl(url);
}

void TfrmMain::butSessionTimerClick() {
    SetAutoScan(!autoScan_);
}

void TfrmMain::SetAutoScan(bool on) {
    autoScan_ = on;
    SetFaceColour(butSessionTimer, on ? kLime : kGreen);
    butSessionTimer->setToolTip(on ? QStringLiteral("Auto-scan is ON")
                                   : QStringLiteral("Auto-scan is OFF"));
    mnuTimerOn->setChecked(on);
    if (on) {
        ApplyPollInterval(static_cast<qint64>(global_->SettingsShown().SessionInterval) * 60000);
    } else {
        SessionTimer.stop();
    }
}

void TfrmMain::ApplyPollInterval(qint64 intervalMs) {
    // A session re-arms the timer when it ends; while the switch is off it stays stopped.
    if (autoScan_ && intervalMs > 0) {
        SessionTimer.start(static_cast<int>(intervalMs));
    } else {
        SessionTimer.stop();
    }
}

int TfrmMain::PollIntervalMs() const {
    return SessionTimer.isActive() ? SessionTimer.interval() : 0;
}

void TfrmMain::ApplyClientSettings() {
    // Only while the worker is idle: the clients belong to the job that runs.
    // The fields as shown (authentication included), with the host and port of the start.
    GlobalSettings globals = GlobalsShown();
    globals.SMTPHost = smtpHostAtStart_;
    globals.SMTPPort = smtpPortAtStart_;
    services_.smtp.Server = SmtpServerFromSettings(globals);
}

void TfrmMain::butGoClick() {
    StartScan();
}

void TfrmMain::SessionTimerTimer() {
    StartScan();
}

bool TfrmMain::StartScan() {
    if (ended_ || shutdownPending_) {
        return false;
    }
    if (worker_.Busy()) {
        ShowStatus(QStringLiteral("A scan or posting is already running."));
        return false;
    }
    CommitPendingEdits();
    RefreshConsole();
    ApplyClientSettings();
    scanError_.clear();
    job_ = Job::Scan;
    // For the status record: the poll timer's next scan, as armed when this one ends.
    const int nextMinutes = autoScan_ ? global_->SettingsShown().SessionInterval : 0;
    return worker_.Start([this, nextMinutes] {
        std::unique_lock<SessionLock> lock(runtime_.sessionLock(), std::try_to_lock);
        if (!lock.owns_lock()) {
            observer_.StatusText("Another scan or posting is running.");
            pollBridge_.SetIntervalMs(static_cast<int64_t>(console_.Globals().SessionInterval) *
                                      60000);
            return;
        }
        const ScanOutcome outcome = RunRecordedScan(services_, pollBridge_, nextMinutes);
        if (!outcome.ok) {
            scanError_ = outcome.error;
        }
    });
}

void TfrmMain::StartCheck() {
    if (ended_ || shutdownPending_) {
        return;
    }
    if (worker_.Busy()) {
        dialogs_.ShowMessage(this, QStringLiteral("A scan or posting is running. Please try "
                                                  "again when it has ended."));
        return;
    }
    CommitPendingEdits();
    RefreshConsole();
    checkReport_.clear();
    job_ = Job::Check;
    // The clients belong to the job that runs; the check gives them each server in turn.
    worker_.Start([this] {
        try {
            checkReport_ = CheckConnections(services_).text;
        } catch (const std::exception& error) {
            checkReport_ = std::string("The check stopped: ") + error.what() + "\n";
        }
    });
}

void TfrmMain::StartSignIn(const std::string& account) {
    if (ended_ || account.empty()) {
        return;
    }
    if (signIn_.Busy()) {
        dialogs_.ShowMessage(this, QStringLiteral("A sign-in is under way. Please finish it "
                                                  "first, or wait until it gives up."));
        return;
    }
    CommitPendingEdits();
    RefreshConsole();
    Guarded([&] {
        const std::optional<MailboxAccount> mailbox = FindMailboxAccount(services_, account);
        if (!mailbox) {
            return;
        }
        signInLines_.clear();
        signIn_.Start(*mailbox, runtime_);
        ShowStatus(QStringLiteral("Signing in ") + Q(account) + QStringLiteral("..."));
    });
}

void TfrmMain::JobFinished() {
    const Job finished = job_;
    job_ = Job::None;
    if (finished == Job::Posting) {
        PostingFinished();
    } else if (finished == Job::Check) {
        if (!shutdownPending_) {
            dialogs_.ShowReport(this, QStringLiteral("Check connections"), Q(checkReport_));
        }
    } else if (finished == Job::Scan && !scanError_.empty()) {
        ShowStatus(Q(scanError_));
        if (!shutdownPending_) {
            dialogs_.ShowMessage(this, Q(scanError_));
        }
    }
    if (shutdownPending_) {
        ShutdownTimerTimer();
    }
}

void TfrmMain::StartPosting() {
    if (worker_.Busy()) {
        dialogs_.ShowMessage(this, QStringLiteral("A scan or posting is running. Please try "
                                                  "again when it has ended."));
        return;
    }
    CommitPendingEdits();
    RefreshConsole();

    // Everything the posting uses is taken from the fields now, on this thread.
    ManualPosting posting;
    posting.listName = currentList_;
    options_->FillPosting(posting);
    extraText_->FillPosting(posting);
    members_->FillPosting(posting);
    post_->FillPosting(posting);
    // The window has no field for it: the stored value says where the archive is published.
    posting.archiveBaseUrl = ListScanReader(services_.store, services_.paths.ListKey(currentList_))
                                 .Text("ArchiveBaseURL");

    abortPosting_ = false;
    post_->SetPosting(true);
    cmbLists->setEnabled(false);
    ApplyClientSettings();
    job_ = Job::Posting;
    worker_.Start([this, posting = std::move(posting)] {
        std::unique_lock<SessionLock> lock(runtime_.sessionLock(), std::try_to_lock);
        if (!lock.owns_lock()) {
            observer_.StatusText("Another scan or posting is running; nothing was posted.");
            return;
        }
        PostManualMessage(services_, posting, abortPosting_);
    });
}

void TfrmMain::PostingFinished() {
    abortPosting_ = false;
    post_->SetPosting(false);
    cmbLists->setEnabled(true);
}

void TfrmMain::ShutdownTimerTimer() {
    if (ended_ || !FileExists(setup_.paths.ShutdownFile())) {
        shutdownPending_ = false;
        return;
    }
    if (global_->SettingsShown().TimerON && worker_.Busy()) {
        // Ends once the running scan or posting has ended (JobFinished comes back here).
        shutdownPending_ = true;
        return;
    }
    DeleteFileIfExists(setup_.paths.ShutdownFile());
    ExitApplication();
}

}  // namespace corvanteer
