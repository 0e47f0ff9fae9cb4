#pragma once

// Everything one command works with: the application directory, the settings store, the
// console a front end without a window uses, and the runtime the window assembles too (the
// engine's Services, the OAuth tokens, locks and the HTTP client).

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/Runtime.h"
#include "app/StoreConsole.h"
#include "cli/Cli.h"
#include "cli/StderrLog.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Locks.h"
#include "support/SettingsStore.h"

namespace corvanteer::cli {

struct GlobalOptions {
    std::optional<std::string> home;
    bool test = false;
    // The command only reads: the settings store is opened read-only, so it works on a full
    // disk and in a read-only application directory.
    bool readOnly = false;
};

// Prints the engine's status texts as progress lines on standard error while enabled (a
// text repeated at once is printed once), and hands every text to onStatus. Each mailbox a
// scan opens gets its line too: "mailbox USER at HOST:PORT: N messages", or "login failed",
// followed by the client's reason when it has one. With the log copy on (`run`), every line
// of the activity log is copied too; the journal then gets the log and the mailbox lines
// without the status texts, which only repeat them.
class ProgressObserver final : public ScanObserver {
public:
    ProgressObserver(std::ostream& err, bool journal) : log_(err, journal) {}
    void StatusText(const std::string& text) override;
    void MailboxOpened(const MailboxEvent& event) override;
    void LogLine(const std::string& line, LogPriority priority) override;
    void Enable(bool on) { enabled_ = on; }
    void CopyLog(bool on) { copyLog_ = on; }
    StderrLog& Log() { return log_; }

    std::function<void(const std::string&)> onStatus;
    // Any of the above happened: the engine is making progress (the service's watchdog).
    std::function<void()> onActivity;

private:
    void Active() const;

    StderrLog log_;
    bool enabled_ = false;
    bool copyLog_ = false;
    std::string last_;
};

class CliSession {
public:
    // Creates the application directory when missing (warning on err when others may read
    // it, leftover temporary files removed) and opens the settings store; raises Failure when
    // either cannot be done. A new installation gets the default texts of "Default List".
    CliSession(const GlobalOptions& options, const CliHooks& hooks, CliIo io);
    CliSession(const CliSession&) = delete;
    CliSession& operator=(const CliSession&) = delete;

    Services& services() { return runtime_.services(); }
    Runtime& runtime() { return runtime_; }
    const AppPaths& paths() const { return paths_; }
    SettingsStore& store() { return *store_; }
    ProgressObserver& progress() { return observer_; }
    SessionLock& sessionLock() { return runtime_.sessionLock(); }
    const CliHooks& hooks() const { return hooks_; }
    OAuthTokens& tokens() { return runtime_.tokens(); }
    HttpClient& http() { return runtime_.http(); }
    CliIo io() const { return io_; }

    // The SMTP client takes host, port, authentication (SMTPAuth included) and security from
    // the stored global settings, as the window gives them at start-up. Only commands that send
    // mail call it, so a settings value of the wrong type cannot keep `config set` from repairing
    // it.
    void ConfigureMailClients();

    // The list as the list set holds it; refused (status 1) for a list that does not exist.
    std::string RequireList(const std::string& name);

    // Takes the session lock, telling standard error when another scan or posting holds it
    // and this command waits for it to end.
    std::unique_lock<SessionLock> LockSession();

private:
    CliHooks hooks_;
    CliIo io_;
    AppPaths paths_;
    std::unique_ptr<SettingsStore> store_;
    ProgressObserver observer_;
    StoreConsole console_;
    Runtime runtime_;
};

}  // namespace corvanteer::cli
