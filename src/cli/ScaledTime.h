#pragma once

// Shorter minutes for tests of `run`: a clock whose monotonic time runs faster by a factor
// and a sleeper that sleeps shorter by the same factor, so the run loop's minutes and its
// 5-second shutdown check pass in a fraction of the time. The wall clock (log stamps) keeps
// the real time.

#include <atomic>
#include <cstdint>

#include "app/Scheduler.h"
#include "support/Clock.h"

namespace corvanteer::cli {

class ScaledClock final : public Clock {
public:
    // minuteMs: the real milliseconds that pass as one minute of this clock.
    ScaledClock(const Clock& real, int64_t minuteMs) : real_(real), minuteMs_(minuteMs) {}
    LocalTime Now() const override { return real_.Now(); }
    int64_t MonotonicMs() const override;

private:
    const Clock& real_;
    int64_t minuteMs_;
};

class ScaledSleeper final : public Sleeper {
public:
    ScaledSleeper(Sleeper& real, int64_t minuteMs) : real_(real), minuteMs_(minuteMs) {}
    void SleepMs(int64_t ms, const std::atomic<bool>& stop) override;

private:
    Sleeper& real_;
    int64_t minuteMs_;
};

}  // namespace corvanteer::cli
