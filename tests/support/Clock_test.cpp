#include "support/Clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace corvanteer {
namespace {

TEST(CompleteLocalTime, WeekdayAndDayOfYear) {
    LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 9;
    CompleteLocalTime(t);
    EXPECT_EQ(t.weekday, 1);  // Monday
    EXPECT_EQ(t.yearDay, 67);
    t.year = 2024;
    t.month = 12;
    t.day = 31;
    CompleteLocalTime(t);
    EXPECT_EQ(t.weekday, 2);
    EXPECT_EQ(t.yearDay, 365);
    t.year = 1899;
    t.month = 12;
    t.day = 30;
    CompleteLocalTime(t);
    EXPECT_EQ(t.weekday, 6);
}

TEST(ToDayCount, DayZeroIs30December1899) {
    EXPECT_EQ(ToDayCount(1899, 12, 30), 0.0);
    EXPECT_EQ(ToDayCount(1900, 1, 1), 2.0);
    EXPECT_EQ(ToDayCount(2026, 3, 9), 46090.0);
    EXPECT_EQ(ToDayCount(2026, 3, 9, 12), 46090.5);
    EXPECT_EQ(ToDayCount(1899, 12, 29, 18), -1.0 + 0.75);
    LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 9;
    t.hour = 6;
    EXPECT_EQ(ToDayCount(t), 46090.25);
}

TEST(FakeClock, StandsStillUntilAdvanced) {
    FakeClock clock;
    clock.Set(2024, 2, 28, 23, 59, 30, 3600);
    EXPECT_EQ(clock.Now().weekday, 3);
    clock.AdvanceSeconds(31);
    LocalTime t = clock.Now();
    EXPECT_EQ(t.month, 2);
    EXPECT_EQ(t.day, 29);  // leap day
    EXPECT_EQ(t.second, 1);
    EXPECT_EQ(t.utcOffset, 3600);
    EXPECT_EQ(clock.MonotonicMs(), 31000);
    clock.Set(2025, 12, 31, 23, 0, 0);
    clock.AdvanceSeconds(3600);
    t = clock.Now();
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 1);
    EXPECT_EQ(t.day, 1);
    EXPECT_EQ(t.hour, 0);
    EXPECT_EQ(t.yearDay, 0);
    clock.AdvanceSeconds(-1);
    t = clock.Now();
    EXPECT_EQ(t.year, 2025);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 59);
    EXPECT_EQ(t.second, 59);
}

TEST(SystemClock, AgreesWithTheOperatingSystem) {
    SystemClock clock;
    const std::time_t before = std::time(nullptr);
    const LocalTime now = clock.Now();
    const std::time_t after = std::time(nullptr);
    // Local fields minus the offset give the moment in UTC.
    const double days = ToDayCount(now.year, now.month, now.day) - ToDayCount(1970, 1, 1);
    const long long epoch = static_cast<long long>(days) * 86400 + now.hour * 3600 +
                            now.minute * 60 + now.second - now.utcOffset;
    EXPECT_GE(epoch, before);
    EXPECT_LE(epoch, after);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LT(now.millisecond, 1000);
    LocalTime completed = now;
    CompleteLocalTime(completed);
    EXPECT_EQ(completed.weekday, now.weekday);
    EXPECT_EQ(completed.yearDay, now.yearDay);
    const int64_t first = clock.MonotonicMs();
    EXPECT_GE(clock.MonotonicMs(), first);
}

}  // namespace
}  // namespace corvanteer
