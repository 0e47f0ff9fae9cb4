#include "support/Clock.h"

#include <cstdio>
#include <ctime>
#include <thread>

namespace corvanteer {

int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

namespace {}  // namespace

void Clock::Pause(int64_t ms) const {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

LocalTime SystemClock::Now() const {
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    LocalTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ms.count() % 1000);
    t.weekday = tm.tm_wday;
    t.yearDay = tm.tm_yday;
    t.utcOffset = tm.tm_gmtoff;
    t.isDst = tm.tm_isdst > 0;
    return t;
}

int64_t SystemClock::MonotonicMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FakeClock::FakeClock() {
    Set(2026, 3, 9, 14, 5, 0);
}

FakeClock::FakeClock(const LocalTime& now) {
    Set(now);
}

void FakeClock::Set(int year, int month, int day, int hour, int minute, int second,
                    long utcOffset) {
    LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.utcOffset = utcOffset;
    Set(t);
}

void FakeClock::Set(const LocalTime& now) {
    now_ = now;
    CompleteLocalTime(now_);
}

void FakeClock::AdvanceSeconds(int64_t seconds) {
    monotonic_ += seconds * 1000;
    int64_t days = DaysFromCivil(now_.year, now_.month, now_.day);
    int64_t total = days * 86400 + now_.hour * 3600 + now_.minute * 60 + now_.second + seconds;
    int64_t newDays = total >= 0 ? total / 86400 : (total - 86399) / 86400;
    int64_t rest = total - newDays * 86400;
    CivilFromDays(newDays, now_.year, now_.month, now_.day);
    now_.hour = static_cast<int>(rest / 3600);
    now_.minute = static_cast<int>(rest % 3600 / 60);
    now_.second = static_cast<int>(rest % 60);
    CompleteLocalTime(now_);
}

void CompleteLocalTime(LocalTime& time) {
    int64_t days = DaysFromCivil(time.year, time.month, time.day);
    int64_t weekday = (days + 4) % 7;  // 1970-01-01 was a Thursday
    if (weekday < 0) {
        weekday += 7;
    }
    time.weekday = static_cast<int>(weekday);
    time.yearDay = static_cast<int>(days - DaysFromCivil(time.year, 1, 1));
}

double ToDayCount(int year, int month, int day, int hour, int minute, int second, int millisecond) {
    // 1899-12-30 is day 0.
    int64_t days = DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30);
    double fraction =
        (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
    return static_cast<double>(days) + fraction;
}

double ToDayCount(const LocalTime& time) {
    return ToDayCount(time.year, time.month, time.day, time.hour, time.minute, time.second,
                      time.millisecond);
}

int64_t UnixSeconds(const LocalTime& time) {
    const int64_t days = DaysFromCivil(time.year, time.month, time.day);
    return days * 86400 + time.hour * 3600 + time.minute * 60 + time.second - time.utcOffset;
}

std::string UtcText(int64_t unixSeconds) {
    const int64_t days = unixSeconds >= 0 ? unixSeconds / 86400 : (unixSeconds - 86399) / 86400;
    const int64_t rest = unixSeconds - days * 86400;
    int year = 1970;
    int month = 1;
    int day = 1;
    CivilFromDays(days, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", year, month, day,
                  static_cast<int>(rest / 3600), static_cast<int>(rest % 3600 / 60),
                  static_cast<int>(rest % 60));
    return text;
}

}  // namespace corvanteer
