#pragma once

// Where the program reads the time. Everything that needs "now" takes a Clock, so tests can
// hand in a FakeClock and get the same stamps on every run.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace corvanteer {

// A moment on the local wall clock, as broken down by the platform.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4;     // 0 = Sunday
    int yearDay = 0;     // 0..365
    long utcOffset = 0;  // seconds east of UTC (tm_gmtoff)
    bool isDst = false;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime Now() const = 0;
    // Monotonic time for waits and time-outs, in milliseconds.
    virtual int64_t MonotonicMs() const = 0;
    // Waits ms milliseconds before going on (a pause between tries). The system's clock
    // sleeps; a fake one only moves its monotonic time on.
    virtual void Pause(int64_t ms) const;
};

class SystemClock final : public Clock {
public:
    LocalTime Now() const override;
    int64_t MonotonicMs() const override;
};

// A clock that stands still until told to move. The weekday and day of the year are worked
// out from the date; the offset is whatever the test sets.
class FakeClock final : public Clock {
public:
    FakeClock();
    explicit FakeClock(const LocalTime& now);

    void Set(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             long utcOffset = 0);
    void Set(const LocalTime& now);
    void AdvanceSeconds(int64_t seconds);
    LocalTime Now() const override { return now_; }
    int64_t MonotonicMs() const override { return monotonic_; }
    // Moves the monotonic time on at once; the wall time stands still.
    void Pause(int64_t ms) const override {
        monotonic_ += ms;
        paused_.push_back(ms);
    }
    // Every pause asked for, in order.
    const std::vector<int64_t>& Pauses() const { return paused_; }

private:
    LocalTime now_;
    mutable int64_t monotonic_ = 0;
    mutable std::vector<int64_t> paused_;
};

// Days since 1970-01-01 of a civil date (proleptic Gregorian, H. Hinnant's algorithm), and
// back.
int64_t DaysFromCivil(int64_t year, int month, int day);
void CivilFromDays(int64_t days, int& year, int& month, int& day);

// Fills weekday and yearDay of a local time from its date (proleptic Gregorian).
void CompleteLocalTime(LocalTime& time);

// Days since 1899-12-30 (the day-count form of date-times used by the date difference),
// with the time of day as the fraction.
double ToDayCount(const LocalTime& time);
double ToDayCount(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                  int millisecond = 0);

// Seconds since 1970-01-01 00:00 UTC of a local time (its utcOffset taken off), and the
// moment of such a count as UTC ("2026-05-01 12:00:00 UTC"), for stored expiry times.
int64_t UnixSeconds(const LocalTime& time);
std::string UtcText(int64_t unixSeconds);

}  // namespace corvanteer
