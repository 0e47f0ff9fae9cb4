#pragma once

// corvanteer-cli's commands as a library: parse the arguments, run one command against the
// application directory, print to the given streams, and give the exit status (0 done,
// 1 refused or failed, 2 usage error).

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/ServiceNotifier.h"
#include "engine/Services.h"
#include "support/Clock.h"
#include "support/Random.h"
#include "transport/HttpClient.h"
#include "transport/MailClients.h"

namespace corvanteer::cli {

struct CliIo {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
};

// What the caller may put in place of the real parts. Null members take the real ones.
struct CliHooks {
    // The program sets this: SIGINT and SIGTERM end `run` after its running scan and abort
    // `post` between members. Leave it off in-process.
    bool watchSignals = false;
    // The program sets this: a password read from standard input that is a terminal is asked
    // for with a prompt and not echoed.
    bool terminalPrompt = false;
    // Without signal watching, setting this flag has the same effect (tests).
    std::atomic<bool>* stop = nullptr;
    const Clock* clock = nullptr;
    RandomSource* random = nullptr;
    Pop3Client* pop3 = nullptr;
    SmtpClient* smtp = nullptr;
    // The HTTP requests of the OAuth sign-in and refresh and of check-update.
    HttpClient* http = nullptr;
    // Waits ms between the polls of a device sign-in; false ends it (tests move a fake clock).
    std::function<bool(int64_t ms)> wait;
    // Standard error is the journal (IsJournalStream): lines carry priorities, not stamps.
    bool journal = false;
    // Whom `run` tells that it is ready, how its scans went and that it stops; null: the
    // systemd notifier ($NOTIFY_SOCKET, nothing when unset).
    ServiceNotifier* notifier = nullptr;
};

// args[0] is the program name. Never throws.
int RunCli(const std::vector<std::string>& args, CliIo io, const CliHooks& hooks = {});

}  // namespace corvanteer::cli
