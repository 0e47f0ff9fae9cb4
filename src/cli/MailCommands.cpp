// scan, run, queue, queue flush and expire: the commands that read mailboxes or send mail.

#include <algorithm>
#include <optional>
#include <ostream>

#include "app/ConnectionCheck.h"
#include "app/ScanStatus.h"
#include "app/Scheduler.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "cli/ScaledTime.h"
#include "cli/SignalWatcher.h"
#include "engine/GivenUpMail.h"
#include "engine/PendingQueue.h"
#include "engine/Subscription.h"
#include "support/Files.h"

namespace corvanteer::cli {

namespace {

// The command line has no poll timer: `run` decides when the next scan starts.
class NoPollTimer final : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

std::string Plural(int count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

int Scan(CliSession& session) {
    session.ConfigureMailClients();
    std::unique_lock<SessionLock> lock = session.LockSession();
    session.progress().Enable(true);
    NoPollTimer timer;
    const ScanOutcome outcome = RunRecordedScan(session.services(), timer, std::nullopt);
    session.progress().Enable(false);
    session.io().err << Scheduler::OutcomeLine(outcome) << '\n';
    // Each failed mailbox has had its line on standard error (the session's status texts).
    return outcome.ok && outcome.mailboxFailures.empty() ? kExitDone : kExitFailed;
}

int Run(CliSession& session, const RunArgs& args) {
    session.ConfigureMailClients();
    std::ostream& err = session.io().err;

    SchedulerOptions options;
    options.intervalMinutes = args.intervalMinutes;
    options.scanAtOnce = args.now;

    // With --interval-seconds a minute of the loop lasts that many seconds.
    Services& base = session.services();
    ThreadSleeper realSleeper;
    std::optional<ScaledClock> scaledClock;
    std::optional<ScaledSleeper> scaledSleeper;
    if (args.intervalSeconds) {
        options.intervalMinutes = 1;
        scaledClock.emplace(base.clock, int64_t{*args.intervalSeconds} * 1000);
        scaledSleeper.emplace(realSleeper, int64_t{*args.intervalSeconds} * 1000);
    }
    Services loopServices{base.paths,
                          base.store,
                          base.pop3,
                          base.smtp,
                          scaledClock ? *scaledClock : base.clock,
                          base.random,
                          base.observer,
                          base.storeLock,
                          base.console};
    Sleeper& sleeper = scaledSleeper ? static_cast<Sleeper&>(*scaledSleeper) : realSleeper;

    std::atomic<bool> ownStop{false};
    std::atomic<bool>& stop = (!session.hooks().watchSignals && session.hooks().stop != nullptr)
                                  ? *session.hooks().stop
                                  : ownStop;
    std::optional<SignalWatcher> watcher;
    if (session.hooks().watchSignals) {
        watcher.emplace([&stop](int) { stop.store(true); });
    }

    // Printed once signals are watched: from here on SIGTERM and SIGINT end the loop orderly.
    err << "run started: stop it with the shutdown file, SIGTERM or SIGINT\n";
    err.flush();
    session.progress().Enable(true);
    Scheduler scheduler(
        loopServices, [&] { return RunLockedScan(base, session.sessionLock()); },
        [&err](const std::string& line) {
            err << line << '\n';
            err.flush();
        },
        sleeper, stop);
    const int scans = scheduler.Run(options);
    session.progress().Enable(false);
    err << "ended after " << Plural(scans, "scan") << '\n';
    return kExitDone;
}

int Check(CliSession& session, const std::optional<std::string>& list) {
    std::optional<std::string> only;
    if (list) {
        only = session.RequireList(*list);
    }
    const CheckReport report = CheckConnections(session.services(), only);
    session.io().out << report.text;
    session.io().out.flush();
    return report.passed ? kExitDone : kExitFailed;
}

int QueueShow(CliSession& session) {
    const std::string folder = session.paths().OutFolder();
    std::vector<std::string> names = ListFiles(folder, ".dat");
    // Failed messages first, then the held ones, oldest first, each line marked "held".
    const auto held = std::stable_partition(
        names.begin(), names.end(), [](const std::string& n) { return !IsHeldQueueFile(n); });
    std::sort(names.begin(), held);
    std::sort(held, names.end());
    std::ostream& out = session.io().out;
    for (const std::string& name : names) {
        // A file sent and removed meanwhile by a running scan is simply left out.
        std::optional<std::string> text = ReadFileIfExists(folder + name);
        if (!text) {
            continue;
        }
        QueuedMessage message;
        if (!ParseQueueFile(*text, message)) {
            out << name << " malformed\n";
            continue;
        }
        out << name << ' ' << message.attempts << ' ' << message.from << ' '
            << message.sendTo.size() << (IsHeldQueueFile(name) ? " held" : "") << '\n';
    }
    // Given-up mail apart: no scan retries it.
    const std::vector<GivenUpEntry> givenUp = ListGivenUp(session.paths());
    if (!givenUp.empty()) {
        out << "given up (corvanteer-cli queue retry NAME|--all puts them back):\n";
    }
    for (const GivenUpEntry& entry : givenUp) {
        if (!entry.readable) {
            out << entry.name << " malformed\n";
            continue;
        }
        out << entry.name << ' ' << entry.message.attempts << ' ' << entry.message.from << ' '
            << entry.message.sendTo.size() << " given-up\n";
    }
    return kExitDone;
}

int QueueRetry(CliSession& session, const std::optional<std::string>& name) {
    std::ostream& out = session.io().out;
    if (name) {
        RetryGivenUp(session.services(), *name);
        out << "Put " << *name << " back into the queue.\n";
        return kExitDone;
    }
    const int retried = RetryAllGivenUp(session.services());
    out << "Put " << Plural(retried, "given-up message") << " back into the queue.\n";
    return kExitDone;
}

int QueueFlush(CliSession& session) {
    session.ConfigureMailClients();
    std::unique_lock<SessionLock> lock = session.LockSession();
    session.progress().Enable(true);
    const QueueRunCounts counts = SendPendingMail(session.services());
    session.progress().Enable(false);
    // Why each message that did not go was queued again or given up.
    for (const std::string& note : counts.notes) {
        session.io().err << note << '\n';
    }
    session.io().out << "Sent " << counts.sent << ", failed " << counts.failed << ", malformed "
                     << counts.malformed;
    if (counts.held > 0) {
        session.io().out << ", held " << counts.held;
    }
    if (counts.givenUp > 0) {
        session.io().out << ", given up " << counts.givenUp;
    }
    session.io().out << ".\n";
    return kExitDone;
}

int Expire(CliSession& session) {
    const ExpiryCounts counts = ExpirePendingVerifications(session.services());
    session.io().out << "Expired " << Plural(counts.removed, "pending verification") << "; "
                     << counts.kept << " kept";
    if (counts.malformed > 0) {
        session.io().out << ", " << Plural(counts.malformed, "unreadable line") << " left alone";
    }
    session.io().out << ".\n";
    return kExitDone;
}

}  // namespace corvanteer::cli
