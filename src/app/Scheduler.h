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

class Scheduler {
public:
    // Runs one scan and reports what it did; the command line's holds the session lock.
    using ScanFunction = std::function<ScanOutcome()>;
    // Receives one line per event (no line end), for standard error.
    using Reporter = std::function<void(const std::string&)>;

    static constexpr int64_t kShutdownCheckMs = 5000;

    Scheduler(Services& services, ScanFunction scan, Reporter report, Sleeper& sleeper,
              const std::atomic<bool>& stop);

    // Runs until the shutdown file appears (it is deleted) or the stop flag is set. Returns
    // the number of scans run. Errors of a scan or of the expiry are reported and the loop
    // goes on.
    int Run(const SchedulerOptions& options);

    // The line for a finished scan: "scan finished: R read, P posted, A answered, Q queued",
    // or "scan ended early (" + error + "): " and the counts.
    static std::string OutcomeLine(const ScanOutcome& outcome);

private:
    int IntervalMinutes(const SchedulerOptions& options) const;
    bool ShutdownRequested();
    void RunScan();
    void Report(const std::string& text);

    Services& services_;
    ScanFunction scan_;
    Reporter report_;
    Sleeper& sleeper_;
    const std::atomic<bool>& stop_;
    int scans_ = 0;
};

// A scan function for the command line: takes the session lock (waiting for a running scan
// or posting of any process to end) and runs one recorded session (RunRecordedScan) with a
// poll timer nobody reads; Run records the next scan it schedules.
ScanOutcome RunLockedScan(Services& services, SessionLock& lock);

}  // namespace corvanteer
