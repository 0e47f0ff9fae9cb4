// oauth login, oauth status and oauth logout: the OAuth 2.0 sign-in of the mailbox accounts.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <thread>

#include "app/JsonOutputs.h"
#include "app/OAuthAccounts.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "cli/SignalWatcher.h"

extern char** environ;

namespace corvanteer::cli {

namespace {

constexpr int64_t kWaitSliceMs = 100;

MailboxAccount RequireAccount(CliSession& session, const std::string& name) {
    std::optional<MailboxAccount> account = FindMailboxAccount(session.services(), name);
    if (!account) {
        Refuse("There is no account named \"" + name +
               "\": give smtp, listserver or the name of a list.");
    }
    return *account;
}

bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    return false;
}

// Starts xdg-open on the address without waiting for it (the browser comes back to this
// process's listener); its output goes nowhere. The process is reaped at the end.
std::optional<pid_t> OpenInBrowser(const std::string& url) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = "xdg-open";
    std::string argument = url;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return std::nullopt;
    }
    return pid;
}

}  // namespace

int OAuthLogin(CliSession& session, const std::string& name, bool browser) {
    const MailboxAccount mailbox = RequireAccount(session, name);
    std::ostream& out = session.io().out;
    const CliHooks& hooks = session.hooks();

    std::atomic<bool> ownStop{false};
    std::atomic<bool>& stop =
        (!hooks.watchSignals && hooks.stop != nullptr) ? *hooks.stop : ownStop;
    std::optional<SignalWatcher> watcher;
    if (hooks.watchSignals) {
        watcher.emplace([&stop](int) { stop.store(true); });
    }
    std::optional<pid_t> opened;
    SignInHooks signIn;
    signIn.say = [&out](const std::string& line) {
        out << line << '\n';
        out.flush();
    };
    signIn.stopped = [&stop] { return stop.load(); };
    signIn.wait = hooks.wait ? hooks.wait : std::function<bool(int64_t)>([&stop](int64_t ms) {
        for (int64_t waited = 0; waited < ms && !stop.load(); waited += kWaitSliceMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kWaitSliceMs, ms)));
        }
        return !stop.load();
    });
    if (HasDisplay()) {
        signIn.openBrowser = [&opened](const std::string& url) { opened = OpenInBrowser(url); };
    }
    const ActionResult result = session.runtime().SignIn(mailbox, SignInRequest{browser}, signIn);
    if (opened) {
        int status = 0;
        waitpid(*opened, &status, WNOHANG);
    }
    return Finish(result, out);
}

int OAuthStatus(CliSession& session, bool json) {
    const int64_t now = session.tokens().Now();
    if (json) {
        std::vector<AccountState> accounts;
        for (MailboxAccount& mailbox : MailboxAccounts(session.services())) {
            StoredTokens tokens = session.tokens().Read(mailbox.account);
            accounts.push_back({std::move(mailbox), std::move(tokens)});
        }
        session.io().out << OAuthStatusJson(accounts, now);
        return kExitDone;
    }
    std::string text;
    for (const MailboxAccount& mailbox : MailboxAccounts(session.services())) {
        text += AccountStatusLine(mailbox, session.tokens().Read(mailbox.account), now,
                                  session.paths()) +
                "\n";
    }
    session.io().out << text;
    return kExitDone;
}

int OAuthLogout(CliSession& session, const std::string& name) {
    const MailboxAccount mailbox = RequireAccount(session, name);
    const bool forgotten = session.tokens().Forget(mailbox.account);
    session.io().out << (forgotten ? "Signed out: the tokens of " + mailbox.account.name +
                                         " are forgotten."
                                   : mailbox.account.name + " was not signed in.")
                     << '\n';
    return kExitDone;
}

}  // namespace corvanteer::cli
