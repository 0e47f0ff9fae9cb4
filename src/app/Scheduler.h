#pragma once

// The run loop of a front end without a window: stale verifications are expired first, then
// a scan runs every interval counted from the end of the previous scan, until the shutdown
// file appears or the stop flag is set. Both are looked at every 5 seconds and between
// scans, so a running scan always finishes first. Time passes through a Sleeper and the
// services' clock, so tests run the loop without waiting.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/ServiceNotifier.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"

namespace corvanteer {

// Waits; the real one sleeps in short slices and returns early once the stop flag is set.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    virtual void SleepMs(int64_t ms, const std::atomic<bool>& stop) = 0;
};

class ThreadSleeper final : public Sleeper {
public:
    void SleepMs(int64_t ms, const std::atomic<bool>& stop) override;
};

struct SchedulerOptions {
    std::optional<int> intervalMinutes;  // else SessionInterval, read again after every scan
    bool scanAtOnce = false;             // one scan before the first interval
};

// One event of the loop, for standard error: the log stamp of its moment, the text, and how
// much it matters.
struct ReportLine {
    std::string stamp;
    std::string text;
    LogPriority priority = LogPriority::Info;

    std::string Whole() const { return stamp + text; }
};

class Scheduler {
public:
    // Runs one scan and reports what it did; the command line's holds the session lock.
    using ScanFunction = std::function<ScanOutcome()>;
    // Receives one line per event.
    using Reporter = std::function<void(const ReportLine&)>;

    static constexpr int64_t kShutdownCheckMs = 5000;

    Scheduler(Services& services, ScanFunction scan, Reporter report, Sleeper& sleeper,
              const std::atomic<bool>& stop);

    // The service manager to tell: ready once stale verifications are expired, the status
    // line after every scan (StatusLine), stopping at the end, and a sign of life at every
    // turn of the loop. Without one nobody is told.
    void SetNotifier(ServiceNotifier& notifier) { notifier_ = &notifier; }

    // Runs until the shutdown file appears (it is deleted) or the stop flag is set. Returns
    // the number of scans run. Errors of a scan or of the expiry are reported and the loop
    // goes on.
    int Run(const SchedulerOptions& options);

    // The line for a finished scan: "scan finished: R read, P posted, A answered, Q queued",
    // or "scan ended early (" + error + "): " and the counts.
    static std::string OutcomeLine(const ScanOutcome& outcome);

    // The service's status after a scan that started at `started`: "last scan 12:00: 5 read,
    // 2 posted, 0 queued; next 12:15" ("ended early" after the time when the scan failed,
    // ", N mailboxes failed" after the counts when some could not be read, "; polling
    // disabled" when no next scan is due: nextMinutes 0).
    static std::string StatusLine(const LocalTime& started, const ScanOutcome& outcome,
                                  const LocalTime& ended, int nextMinutes);

private:
    int IntervalMinutes(const SchedulerOptions& options) const;
    bool ShutdownRequested();
    // Runs one scan and reports its outcome; a scan that raises counts as ended early.
    ScanOutcome RunScan();
    void Report(const std::string& text, LogPriority priority = LogPriority::Info);

    Services& services_;
    ScanFunction scan_;
    Reporter report_;
    Sleeper& sleeper_;
    const std::atomic<bool>& stop_;
    SilentNotifier silent_;
    ServiceNotifier* notifier_ = &silent_;
    int scans_ = 0;
};

// A scan function for the command line: takes the session lock (waiting for a running scan
// or posting of any process to end) and runs one recorded session (RunRecordedScan) with a
// poll timer nobody reads; Run records the next scan it schedules.
ScanOutcome RunLockedScan(Services& services, SessionLock& lock);

}  // namespace corvanteer
