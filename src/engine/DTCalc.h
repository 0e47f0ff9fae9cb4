#pragma once

#include <cstdint>

namespace corvanteer {

// The span between two date-times (day counts with the time of day as fraction), in several
// units at once. Each result is the whole span in that unit, truncated toward zero. Setting
// either end recomputes every result from the current pair.
class TDTCalc {
public:
    double StartTime() const { return start_; }
    double EndTime() const { return end_; }
    void SetStartTime(double value);
    void SetEndTime(double value);

    int32_t Years() const { return years_; }
    int32_t Months() const { return months_; }
    int32_t Days() const { return days_; }
    int32_t Hours() const { return hours_; }
    int32_t Minutes() const { return minutes_; }
    int32_t Seconds() const { return seconds_; }
    int32_t MSeconds() const { return mseconds_; }

private:
    void Recompute();

    double start_ = 0;
    double end_ = 0;
    int32_t years_ = 0, months_ = 0, days_ = 0, hours_ = 0, minutes_ = 0, seconds_ = 0,
            mseconds_ = 0;
};

}  // namespace corvanteer
