#include "app/Scheduler.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>

#include "app/ScanStatus.h"
#include "engine/ActivityLog.h"
#include "engine/Subscription.h"
#include "support/Files.h"

namespace corvanteer {

namespace {

constexpr int64_t kSleepSliceMs = 100;
constexpr int64_t kMinuteMs = 60000;

// The run loop decides when the next scan starts; the session's timer calls go nowhere.
class UnusedPollTimer final : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

}  // namespace

void ThreadSleeper::SleepMs(int64_t ms, const std::atomic<bool>& stop) {
    while (ms > 0 && !stop.load()) {
        const int64_t slice = std::min(ms, kSleepSliceMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        ms -= slice;
    }
}

Scheduler::Scheduler(Services& services, ScanFunction scan, Reporter report, Sleeper& sleeper,
                     const std::atomic<bool>& stop)
    : services_(services),
      scan_(std::move(scan)),
      report_(std::move(report)),
      sleeper_(sleeper),
      stop_(stop) {}

std::string Scheduler::OutcomeLine(const ScanOutcome& outcome) {
    const ScanCounts& c = outcome.counts;
    std::string line =
        outcome.ok ? "scan finished: " : "scan ended early (" + outcome.error + "): ";
    line += std::to_string(c.messagesRead) + " read, " + std::to_string(c.postingsSent) +
            " posted, " + std::to_string(c.answersSent) + " answered, " +
            std::to_string(c.messagesQueued) + " queued";
    if (c.messagesHeld > 0) {
        line += ", " + std::to_string(c.messagesHeld) + " held";
    }
    return line;
}

namespace {

std::string ClockTime(const LocalTime& time, int minutesLater) {
    const int total = ((time.hour * 60 + time.minute + minutesLater) % 1440 + 1440) % 1440;
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", total / 60, total % 60);
    return text;
}

}  // namespace

std::string Scheduler::StatusLine(const LocalTime& started, const ScanOutcome& outcome,
                                  const LocalTime& ended, int nextMinutes) {
    const ScanCounts& c = outcome.counts;
    std::string line = "last scan " + ClockTime(started, 0) + (outcome.ok ? "" : " ended early") +
                       ": " + std::to_string(c.messagesRead) + " read, " +
                       std::to_string(c.postingsSent) + " posted, " +
                       std::to_string(c.messagesQueued) + " queued";
    if (const std::size_t failed = outcome.mailboxFailures.size(); failed > 0) {
        line +=
            ", " + std::to_string(failed) + (failed == 1 ? " mailbox" : " mailboxes") + " failed";
    }
    line += nextMinutes > 0 ? "; next " + ClockTime(ended, nextMinutes) : "; polling disabled";
    return line;
}

int Scheduler::IntervalMinutes(const SchedulerOptions& options) const {
    int minutes = options.intervalMinutes ? *options.intervalMinutes
                                          : services_.console.Globals().SessionInterval;
    return std::max(minutes, 0);
}

void Scheduler::Report(const std::string& text, LogPriority priority) {
    if (report_) {
        report_(ReportLine{Stamp(services_), text, priority});
    }
}

bool Scheduler::ShutdownRequested() {
    const std::string file = services_.paths.ShutdownFile();
    if (FileExists(file)) {
        DeleteFileIfExists(file);
        Report("shutdown file found: ending");
        return true;
    }
    if (stop_.load()) {
        Report("stop requested: ending");
        return true;
    }
    return false;
}

ScanOutcome Scheduler::RunScan() {
    Report("scan started");
    ++scans_;
    ScanOutcome outcome;
    try {
        outcome = scan_();
    } catch (const std::exception& error) {
        outcome = ScanOutcome{};
        outcome.ok = false;
        outcome.error = error.what();
    }
    const LogPriority priority = !outcome.ok                       ? LogPriority::Error
                                 : outcome.mailboxFailures.empty() ? LogPriority::Info
                                                                   : LogPriority::Warning;
    Report(OutcomeLine(outcome), priority);
    return outcome;
}

int Scheduler::Run(const SchedulerOptions& options) {
    scans_ = 0;
    try {
        ExpiryCounts expired = ExpirePendingVerifications(services_);
        if (expired.removed > 0) {
            Report("expired " + std::to_string(expired.removed) + " pending verifications");
        }
    } catch (const std::exception& error) {
        Report(std::string("expiring pending verifications failed: ") + error.what(),
               LogPriority::Error);
    }

    const Clock& clock = services_.clock;
    constexpr int64_t kNever = INT64_MAX;
    int64_t nextScan = kNever;  // monotonic ms
    // The status record shows the next scan due; a loop that ends schedules none.
    auto schedule = [&] {
        const int minutes = IntervalMinutes(options);
        nextScan = minutes > 0 ? clock.MonotonicMs() + minutes * kMinuteMs : kNever;
        RecordNextScan(services_, minutes);
        return minutes;
    };
    std::string firstScan = "first scan now";
    if (options.scanAtOnce) {
        nextScan = clock.MonotonicMs();
    } else if (const int minutes = schedule(); minutes > 0) {
        firstScan = "first scan " + ClockTime(clock.Now(), minutes);
    }
    if (nextScan == kNever) {
        firstScan = "polling disabled (interval 0)";
        Report("polling disabled (interval 0): waiting for the shutdown file or a signal");
    }
    notifier_->Ready(firstScan);

    while (!ShutdownRequested()) {
        notifier_->Alive();
        const int64_t now = clock.MonotonicMs();
        if (nextScan <= now) {
            const LocalTime started = clock.Now();
            const ScanOutcome outcome = RunScan();
            const int minutes = schedule();  // counted from the end of the scan
            notifier_->Status(StatusLine(started, outcome, clock.Now(), minutes));
            continue;  // look at the shutdown file before waiting again
        }
        sleeper_.SleepMs(std::min(kShutdownCheckMs, nextScan - now), stop_);
    }
    notifier_->Stopping();
    RecordNextScan(services_, 0);
    return scans_;
}

ScanOutcome RunLockedScan(Services& services, SessionLock& lock) {
    std::lock_guard<SessionLock> guard(lock);
    UnusedPollTimer timer;
    return RunRecordedScan(services, timer, std::nullopt);
}

}  // namespace corvanteer
