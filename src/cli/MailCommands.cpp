// scan, run, queue, queue flush and expire: the commands that read mailboxes or send mail.

#include <algorithm>
#include <optional>
#include <ostream>

#include "app/ConnectionCheck.h"
#include "app/JsonOutputs.h"
#include "app/QueueListing.h"
#include "app/ScanStatus.h"
#include "app/Scheduler.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "cli/ScaledTime.h"
#include "cli/SignalWatcher.h"
#include "cli/StderrLog.h"
#include "engine/GivenUpMail.h"
#include "engine/PendingQueue.h"
#include "engine/Subscription.h"
#include "support/Files.h"
#include "support/Text.h"

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
    const bool passed = outcome.ok && outcome.mailboxFailures.empty();
    session.progress().Log().Line(Scheduler::OutcomeLine(outcome),
                                  passed ? LogPriority::Info : LogPriority::Error);
    // Each failed mailbox has had its line on standard error (the session's status texts).
    return passed ? kExitDone : kExitFailed;
}

int Run(CliSession& session, const RunArgs& args) {
    session.ConfigureMailClients();
    StderrLog& log = session.progress().Log();

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

    // The service manager hears when the loop is ready, how each scan went, that it stops,
    // and a sign of life at every turn and at each step of a scan (its watchdog).
    std::optional<SystemdNotifier> systemd;
    ServiceNotifier& notifier = session.hooks().notifier != nullptr ? *session.hooks().notifier
                                                                    : systemd.emplace(base.clock);
    session.progress().onActivity = [&notifier] { notifier.Alive(); };

    // Printed once signals are watched: from here on SIGTERM and SIGINT end the loop orderly.
    log.Line("run started: stop it with the shutdown file, SIGTERM or SIGINT", LogPriority::Info);
    session.progress().Enable(true);
    session.progress().CopyLog(true);
    Scheduler scheduler(
        loopServices, [&] { return RunLockedScan(base, session.sessionLock()); },
        [&log](const ReportLine& line) { log.Stamped(line.stamp, line.text, line.priority); },
        sleeper, stop);
    scheduler.SetNotifier(notifier);
    const int scans = scheduler.Run(options);
    session.progress().CopyLog(false);
    session.progress().Enable(false);
    session.progress().onActivity = nullptr;
    log.Line("ended after " + Plural(scans, "scan"), LogPriority::Info);
    return kExitDone;
}

int Check(CliSession& session, const std::optional<std::string>& list, bool json) {
    std::optional<std::string> only;
    if (list) {
        only = session.RequireList(*list);
    }
    const CheckReport report = CheckConnections(session.services(), only);
    session.io().out << (json ? CheckJson(report) : report.text);
    session.io().out.flush();
    return report.passed ? kExitDone : kExitFailed;
}

int QueueShow(CliSession& session, bool json) {
    const std::vector<QueueEntry> entries = ListQueue(session.paths());
    std::ostream& out = session.io().out;
    if (json) {
        out << QueueJson(entries);
        return kExitDone;
    }
    bool givenUpSaid = false;
    for (const QueueEntry& entry : entries) {
        // Given-up mail apart: no scan retries it.
        if (entry.givenUp && !givenUpSaid) {
            out << "given up (corvanteer-cli queue retry NAME|--all puts them back):\n";
            givenUpSaid = true;
        }
        // Columns stay in place for scripts: file, attempts, envelope sender ("-" when
        // empty), recipients, and a fifth word only for a held, given-up or malformed file.
        if (entry.malformed) {
            out << entry.file << " - - - malformed\n";
            continue;
        }
        const std::string from = OneLineText(entry.from);
        out << entry.file << ' ' << entry.attempts << ' '
            << (from.empty() ? "-" : ReplaceAll(from, " ", "?")) << ' ' << entry.recipients
            << (entry.held ? " held" : "") << (entry.givenUp ? " given-up" : "") << '\n';
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
