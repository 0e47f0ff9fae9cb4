#include "cli/CliSession.h"

#include <ostream>

#include "app/ListOperations.h"
#include "app/StartupChecks.h"
#include "cli/CliErrors.h"
#include "engine/MailConnections.h"

namespace corvanteer::cli {

void ProgressObserver::StatusText(const std::string& text) {
    if (onStatus) {
        onStatus(text);
    }
    if (enabled_ && !text.empty() && text != last_) {
        err_ << text << '\n';
        err_.flush();
    }
    last_ = text;
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
    if (!enabled_) {
        return;
    }
    err_ << "mailbox " << event.user << " at " << event.host << ":" << event.port << ": ";
    if (event.open) {
        err_ << event.messages << (event.messages == 1 ? " message" : " messages") << '\n';
    } else if (event.error.ok()) {
        err_ << "login failed\n";
    } else {
        err_ << "login failed: " << event.error.Text() << '\n';
    }
    err_.flush();
}

CliSession::CliSession(const GlobalOptions& options, const CliHooks& hooks, CliIo io)
    : hooks_(hooks),
      io_(io),
      paths_(PreparedPaths(options, hooks, io)),
      store_(OpenInstallation(paths_, options.readOnly)),
      observer_(io.err),
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
        io_.err << "waiting for the running scan or posting to end\n";
        io_.err.flush();
        lock.lock();
    }
    return lock;
}

}  // namespace corvanteer::cli
