#pragma once

// The main window: the list selector, "Go" and the auto-scan switch above seven pages
// ("Members", "Options", "Responses", "Post message", "Extra text", "Global", "About") and a
// status bar below. Each page is its own widget class (src/gui/pages) that owns its controls
// and stores their settings the moment they are left, clicked or changed; the window carries
// what belongs to no page: the list shown, the timers, the tray, the worker thread on which
// scans and manual postings run, and the wiring between pages.
//
//   TfrmMain.cpp      construction, start and end, the engine's console
//   ListSelector.cpp  the list selector: loading a list into the pages, adding, deleting
//   Lifecycle.cpp     scans and postings on the worker, poll and shutdown timers, tray, help

#include <QMainWindow>
#include <QTimer>
#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "app/Runtime.h"
#include "engine/Services.h"
#include "gui/Dialogs.h"
#include "gui/SessionWorker.h"
#include "gui/SignInRunner.h"
#include "gui/WindowServices.h"
#include "gui/pages/PageHost.h"
#include "gui/pages/PendingEdits.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Random.h"
#include "support/SettingTables.h"

class QAction;
class QCloseEvent;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTabWidget;

namespace corvanteer {

class AboutPage;
class ExtraTextPage;
class GlobalPage;
class MembersPage;
class OptionsPage;
class PostPage;
class ResponsesPage;
class SettingsStore;
class TfrmSmtpAuth;

// What the window is built from. The window uses the store and the dialogs; both must outlive
// it.
struct WindowSetup {
    AppPaths paths;
    SettingsStore* store = nullptr;
    Dialogs* dialogs = nullptr;
    std::string helpFile;    // the help page; opened at #topic10
    bool useTray = true;     // false: never create a tray icon (tests, screenshots)
    std::string executable;  // the start-up entry's command
    // When given (tests), the clock and random source of the engine; they must outlive the
    // window. Otherwise the system's.
    const Clock* clock = nullptr;
    RandomSource* random = nullptr;
    // When given (tests), the HTTP client of the OAuth sign-ins and refreshes and of the
    // update check; it must outlive the window. Otherwise libcurl's.
    HttpClient* http = nullptr;
};

class TfrmMain : public QMainWindow, private PageHost {
    Q_OBJECT
public:
    explicit TfrmMain(WindowSetup setup);
    // Stores the window position and LastList (FormDestroy) unless ExitApplication did.
    ~TfrmMain() override;

    // Ends the application: commits pending edits, stores Top, Left and LastList, hides the
    // window and asks the event loop to end. Safe to call more than once.
    void ExitApplication();
    // Shows the window as start-up leaves it: normal, minimised, or (with Minimized set and a
    // notification area) hidden in the tray.
    void ShowAtStart();
    bool Ended() const { return ended_; }

    // State for tests and the screenshot tool (which find controls by their object names).
    bool AutoScanOn() const { return autoScan_; }
    int PollIntervalMs() const;
    bool WorkerBusy() const { return worker_.Busy(); }
    QString StatusTextShown() const;
    TfrmSmtpAuth* SmtpAuthWindow() const { return smtpAuth_.get(); }
    QMenu* TrayMenu() const { return trayMenu_.get(); }
    void SetWorkerHook(WorkerHook hook) { observer_.SetHook(std::move(hook)); }
    // Where the update check looks (tests point it at a local server).
    void SetUpdateBaseUrl(std::string url);
    Services& EngineServices() override { return services_; }
    HttpClient& Http() override { return runtime_.http(); }
    // Writes every field edited but not yet left to the list it was edited for.
    void CommitPendingEdits();

public slots:
    // The timers' handlers, public so tests can fire them without waiting.
    void SessionTimerTimer();
    void ShutdownTimerTimer();
    // Handlers named after their controls and events.
    void butGoClick();
    void butSessionTimerClick();
    void butHideClick();
    void butHelpClick();
    void RestoreFromTray();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // --- construction, start and end (TfrmMain.cpp) ---
    void BuildTop(QWidget* parent);
    void BuildPages(QWidget* parent);
    void ConnectPages();
    void BuildTray();
    void FormCreate();
    void FormDestroy();
    GlobalSettings GlobalsShown() const;

    // --- the list selector (ListSelector.cpp) ---
    void LoadList();
    void cmbListsChange();
    void butAddListClick();
    void butDeleteListClick();

    // --- scans and postings, timers, tray (Lifecycle.cpp) ---
    bool StartScan();
    void StartPosting();
    void PostingFinished();
    void JobFinished();
    // "Check connections": the connection check on the worker; its report in a dialog.
    void StartCheck();
    // "Sign in...": the OAuth 2.0 sign-in of the account ("listserver", "smtp" or a list)
    // on a thread of its own; its lines in the status bar, its outcome in a message.
    void StartSignIn(const std::string& account);
    void ApplyClientSettings();
    void SetAutoScan(bool on);
    void ApplyPollInterval(qint64 intervalMs);
    void SetTrayImage(int index);

    // --- what the pages use of the window (PageHost) ---
    Dialogs& WindowDialogs() override { return dialogs_; }
    PendingEdits& Edits() override { return edits_; }
    const std::string& CurrentList() const override { return currentList_; }
    void Guarded(const std::function<void()>& action) override;
    void RefreshConsole() override;
    void ShowStatus(const QString& text) override;

    WindowSetup setup_;
    SettingsStore& store_;
    Dialogs& dialogs_;

    // Engine services for the worker and for the operations run on this thread: the runtime
    // the command line assembles too, with the window's observer and console.
    ObserverBridge observer_;
    PollTimerBridge pollBridge_{observer_};
    WindowConsole console_;
    Runtime runtime_;
    Services& services_;
    SignInRunner signIn_;  // stopped and joined before the runtime goes
    QString signInLines_;  // what the sign-in under way has said
    SessionWorker worker_;
    std::atomic<bool> abortPosting_{false};
    enum class Job { None, Scan, Posting, Check } job_ = Job::None;
    std::string checkReport_;  // the connection check's report, written by the worker

    // What the SMTP client is given before each job: the host and port read at start-up
    // (a manual posting takes the fields' values instead), authentication as last set.
    std::string smtpHostAtStart_;
    int smtpPortAtStart_ = 25;

    std::string currentList_;  // the list the pages show and store to
    PendingEdits edits_;
    bool autoScan_ = false;
    bool hideOnMinimize_ = false;  // Minimized as read at start-up
    std::string scanError_;        // written by the scan job, read after it has finished
    bool shutdownPending_ = false;
    bool ended_ = false;
    bool positionStored_ = false;

    QTimer SessionTimer;
    QTimer ShutdownTimer;
    std::unique_ptr<QMenu> trayMenu_;
    std::unique_ptr<TfrmSmtpAuth> smtpAuth_;

    // The top row, named as their object names.
    QComboBox* cmbLists = nullptr;
    QPushButton* butAddList = nullptr;
    QPushButton* butDeleteList = nullptr;
    QPushButton* butHide = nullptr;
    QPushButton* butHelp = nullptr;
    QPushButton* butGo = nullptr;
    QPushButton* butSessionTimer = nullptr;

    // The pages, owned by their tabs (pagMain), in tab order.
    QTabWidget* pagMain = nullptr;
    MembersPage* members_ = nullptr;
    OptionsPage* options_ = nullptr;
    ResponsesPage* responses_ = nullptr;
    PostPage* post_ = nullptr;
    ExtraTextPage* extraText_ = nullptr;
    GlobalPage* global_ = nullptr;
    AboutPage* about_ = nullptr;

    QLabel* lblStatus = nullptr;

    // Tray and its menu (the same actions serve the window's context menu and shortcut)
    QSystemTrayIcon* trayIcon = nullptr;
    QMenu* mnuTray = nullptr;
    QAction* mnuHelp = nullptr;
    QAction* mnuRestore = nullptr;
    QAction* mnuTimerOn = nullptr;
    QAction* mnuExit = nullptr;
};

}  // namespace corvanteer
