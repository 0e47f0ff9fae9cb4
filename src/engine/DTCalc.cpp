#include "engine/DTCalc.h"

#include <cmath>

namespace corvanteer {

namespace {

// Truncates toward zero into 32 bits; spans too long for a unit saturate at the range's end
// instead of overflowing (a NaN span counts as none).
int32_t Truncate(long double value) {
    if (std::isnan(value)) {
        return 0;
    }
    const long double whole = std::trunc(value);
    if (whole >= static_cast<long double>(INT32_MAX)) {
        return INT32_MAX;
    }
    if (whole <= static_cast<long double>(INT32_MIN)) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(whole);
}

}  // namespace

void TDTCalc::SetStartTime(double value) {
    start_ = value;
    Recompute();
}

void TDTCalc::SetEndTime(double value) {
    end_ = value;
    Recompute();
}

void TDTCalc::Recompute() {
    const double span = end_ - start_;
    // Each smaller unit is derived from the millisecond figure in extended precision, so
    // every result is the whole span in that unit.
    long double m = static_cast<long double>(span) * 86400000.0L;
    mseconds_ = Truncate(m);
    m /= 1000;
    seconds_ = Truncate(m);
    m /= 60;
    minutes_ = Truncate(m);
    m /= 60;
    hours_ = Truncate(m);
    m /= 24;
    days_ = Truncate(m);
    months_ = Truncate(static_cast<long double>(span / 30.4375));
    years_ = Truncate(static_cast<long double>(span / 365.25));
}

}  // namespace corvanteer
