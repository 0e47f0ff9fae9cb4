#include "cli/CliSession.h"

#include <ostream>

#include "app/FirstRun.h"
#include "app/ListOperations.h"
#include "app/StartupChecks.h"
#include "cli/CliErrors.h"
#include "engine/MailConnections.h"

namespace corvanteer::cli {

void ProgressObserver::Active() const {
    if (onActivity) {
        onActivity();
    }
}

void ProgressObserver::StatusText(const std::string& text) {
    if (onStatus) {
        onStatus(text);
    }
    Active();
    if (enabled_ && !text.empty() && text != last_ && !(copyLog_ && log_.Journal())) {
        log_.Line(text, LogPriority::Info);
    }
    last_ = text;
}

void ProgressObserver::LogLine(const std::string& line, LogPriority priority) {
    Active();
    if (enabled_ && copyLog_) {
        log_.LogLine(line, priority);
    }
}

namespace {

// The directory checked (a warning, leftovers removed) before the store is opened.
AppPaths PreparedPaths(const GlobalOptions& options, const CliHooks& hooks, CliIo io) {
    AppPaths paths = AppPaths::Create(options.home, options.test);
    SystemClock systemClock;
    CheckApplicationDirectory(paths, hooks.clock != nullptr ? *hooks.clock : systemClock, io.err);
    return paths;
}

}  // namespace

void ProgressObserver::MailboxOpened(const MailboxEvent& event) {
    Active();
    if (!enabled_) {
        return;
    }
    std::string line =
        "mailbox " + event.user + " at " + event.host + ":" + std::to_string(event.port) + ": ";
    if (event.open) {
        line += std::to_string(event.messages) + (event.messages == 1 ? " message" : " messages");
    } else if (event.error.ok()) {
        line += "login failed";
    } else {
        line += "login failed: " + event.error.Text();
    }
    log_.Line(line, event.open ? LogPriority::Info : LogPriority::Error);
}

CliSession::CliSession(const GlobalOptions& options, const CliHooks& hooks, CliIo io)
    : hooks_(hooks),
      io_(io),
      paths_(PreparedPaths(options, hooks, io)),
      newInstallation_(IsNewInstallation(paths_)),
      store_(options.readOnly ? SettingsStore::OpenReadOnly(paths_.SettingsDatabase())
                              : SettingsStore::Open(paths_.SettingsDatabase())),
      random_(hooks.random != nullptr ? nullptr : std::make_unique<SystemRandom>()),
      observer_(io.err, hooks.journal),
      storeLock_(paths_.StoreLockFile()),
      console_(*store_, paths_),
      sessionLock_(paths_.SessionLockFile()),
      tokens_(*store_, paths_, storeLock_, hooks.http != nullptr ? *hooks.http : http_,
              hooks.clock != nullptr ? *hooks.clock : clock_),
      services_{paths_,
                *store_,
                hooks.pop3 != nullptr ? *hooks.pop3 : pop3_,
                hooks.smtp != nullptr ? *hooks.smtp : smtp_,
                hooks.clock != nullptr ? *hooks.clock : clock_,
                hooks.random != nullptr ? *hooks.random : *random_,
                observer_,
                storeLock_,
                console_} {
    if (newInstallation_) {
        WriteDefaultListTexts(paths_);
    }
    services_.pop3.Tokens = &tokens_;
    services_.smtp.Tokens = &tokens_;
}

void CliSession::ConfigureMailClients() {
    services_.smtp.Server = SmtpServerFromSettings(console_.Globals());
}

std::string CliSession::RequireList(const std::string& name) {
    std::optional<std::string> list = ResolveList(services_, name);
    if (!list) {
        Finish(UnknownList(name), io_.out);
    }
    return *list;
}

std::unique_lock<SessionLock> CliSession::LockSession() {
    std::unique_lock<SessionLock> lock(sessionLock_, std::try_to_lock);
    if (!lock.owns_lock()) {
        observer_.Log().Line("waiting for the running scan or posting to end", LogPriority::Info);
        lock.lock();
    }
    return lock;
}

}  // namespace corvanteer::cli
