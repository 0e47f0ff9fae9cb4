#pragma once

#include <cstdint>

#include "support/Clock.h"

namespace corvanteer::testing {

// A clock that moves on by stepMs each time it is read, so whole-reply bounds of minutes
// are reached in a few hundred reads.
class TickingClock final : public Clock {
public:
    explicit TickingClock(int64_t stepMs) : stepMs_(stepMs) {}
    LocalTime Now() const override { return {}; }
    int64_t MonotonicMs() const override { return now_ += stepMs_; }

private:
    int64_t stepMs_;
    mutable int64_t now_ = 0;
};

}  // namespace corvanteer::testing
