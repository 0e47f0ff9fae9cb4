#include "cli/ScaledTime.h"

#include <algorithm>

namespace corvanteer::cli {

namespace {
constexpr int64_t kMinuteMs = 60000;
}

int64_t ScaledClock::MonotonicMs() const {
    return real_.MonotonicMs() * kMinuteMs / minuteMs_;
}

void ScaledSleeper::SleepMs(int64_t ms, const std::atomic<bool>& stop) {
    // At least a millisecond, so a loop that waits never spins.
    real_.SleepMs(std::max<int64_t>(1, ms * minuteMs_ / kMinuteMs), stop);
}

}  // namespace corvanteer::cli
