#include "cli/CliSession.h"

#include <ostream>

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
      store_(OpenInstallation(paths_, options.readOnly)),
      observer_(io.err, hooks.journal),
      console_(*store_, paths_),
      runtime_(paths_, *store_, observer_, console_,
               {hooks.clock, hooks.random, hooks.pop3, hooks.smtp, hooks.http}) {}

void CliSession::ConfigureMailClients() {
    services().smtp.Server = SmtpServerFromSettings(console_.Globals());
}

std::string CliSession::RequireList(const std::string& name) {
    std::optional<std::string> list = ResolveList(services(), name);
    if (!list) {
        Finish(UnknownList(name), io_.out);
    }
    return *list;
}

std::unique_lock<SessionLock> CliSession::LockSession() {
    std::unique_lock<SessionLock> lock(sessionLock(), std::try_to_lock);
    if (!lock.owns_lock()) {
        observer_.Log().Line("waiting for the running scan or posting to end", LogPriority::Info);
        lock.lock();
    }
    return lock;
}

}  // namespace corvanteer::cli
