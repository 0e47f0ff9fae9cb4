#include "engine/digest/DigestSchedule.h"

#include <gtest/gtest.h>

namespace corvanteer::testing {
namespace {

LocalTime At(int year, int month, int day, int hour) {
    FakeClock clock;
    clock.Set(year, month, day, hour);
    return clock.Now();
}

TEST(DigestSchedule, SizeAndHourTriggers) {
    using T = DigestTrigger;
    const struct {
        const char* what;
        size_t count;
        uint64_t bytes;
        DigestTiming timing;
        int hour;
        T trigger;
    } cases[] = {
        {"nothing waits", 0, 0, {30, 6, ""}, 23, T::None},
        {"before the hour, small", 2, 30 * 1024, {30, 6, ""}, 5, T::None},
        {"passes the size", 2, 30 * 1024 + 1, {30, 6, "2026-03-09"}, 5, T::Size},
        {"size 0: never by size", 9, 1 << 30, {0, 6, "2026-03-09"}, 5, T::None},
        {"at the hour", 1, 10, {30, 6, "2026-03-08"}, 6, T::Hour},
        {"past the hour, none sent yet", 1, 10, {30, 6, ""}, 22, T::Hour},
        {"one went out today already", 1, 10, {30, 6, "2026-03-09"}, 22, T::None},
        {"hour 0", 1, 10, {30, 0, "2026-03-08"}, 0, T::Hour},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DigestDue(c.count, c.bytes, c.timing, At(2026, 3, 9, c.hour)), c.trigger)
            << c.what;
    }
}

TEST(DigestSchedule, IssuesCountUpAndStartAgainWhenTheVolumeRisesOn1January) {
    const struct {
        int volume;
        int lastIssue;
        const char* lastDay;
        LocalTime now;
        int wantVolume;
        int wantIssue;
    } cases[] = {
        {1, 0, "", At(2026, 3, 9, 6), 1, 1},
        {1, 41, "2026-03-08", At(2026, 3, 9, 6), 1, 42},
        {1, 365, "2026-12-31", At(2026, 12, 31, 23), 1, 366},
        {1, 366, "2026-12-31", At(2027, 1, 1, 0), 2, 1},
        {4, 9, "2024-06-01", At(2026, 1, 2, 6), 6, 1},  // two new years passed
        {0, -3, "", At(2026, 3, 9, 6), 1, 1},
    };
    for (const auto& c : cases) {
        const DigestNumber number = NextDigestNumber(c.volume, c.lastIssue, c.lastDay, c.now);
        EXPECT_EQ(number.volume, c.wantVolume) << c.lastDay << " " << c.lastIssue;
        EXPECT_EQ(number.issue, c.wantIssue) << c.lastDay << " " << c.lastIssue;
    }
    EXPECT_EQ(DayText(At(2026, 3, 9, 6)), "2026-03-09");
}

}  // namespace
}  // namespace corvanteer::testing
