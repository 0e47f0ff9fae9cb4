#include "support/DateTime.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

LocalTime At(int year, int month, int day, int hour, int minute, int second, long utcOffset = 0) {
    FakeClock clock;
    clock.Set(year, month, day, hour, minute, second, utcOffset);
    return clock.Now();
}

TEST(TimeZoneBias, MinutesWestOfUtc) {
    EXPECT_EQ(TimeZoneBias(At(2026, 1, 5, 7, 3, 9, 3600)), -60);
    EXPECT_EQ(TimeZoneBias(At(2026, 1, 5, 7, 3, 9, -5 * 3600)), 300);
    EXPECT_EQ(TimeZoneBias(At(2026, 1, 5, 7, 3, 9, 19800)), -330);
    EXPECT_EQ(TimeZoneBias(At(2026, 1, 5, 7, 3, 9)), 0);
}

TEST(TimeZoneText, SignIsEastPositive) {
    EXPECT_EQ(TimeZoneText(0), "GMT");
    EXPECT_EQ(TimeZoneText(-60), "+0100");
    EXPECT_EQ(TimeZoneText(300), "-0500");
    EXPECT_EQ(TimeZoneText(-330), "+0530");
    EXPECT_EQ(TimeZoneText(570), "-0930");
    EXPECT_EQ(TimeZoneText(-840), "+1400");
}

TEST(Rfc822Date, EnglishNamesDayWithoutLeadingZero) {
    EXPECT_EQ(Rfc822Date(At(2026, 1, 5, 7, 3, 9, 3600)), "Mon, 5 Jan 2026 07:03:09 +0100");
    EXPECT_EQ(Rfc822Date(At(2026, 12, 8, 5, 40, 30, -330 * 60)), "Tue, 8 Dec 2026 05:40:30 -0530");
    EXPECT_EQ(Rfc822Date(At(2024, 2, 29, 23, 59, 59)), "Thu, 29 Feb 2024 23:59:59 GMT");
}

TEST(Rfc822Date, WeekdayFollowsTheDateNotTheField) {
    LocalTime t = At(2026, 3, 9, 14, 5, 0);
    t.weekday = 99;  // a caller that filled in nonsense
    EXPECT_EQ(Rfc822Date(t), "Mon, 9 Mar 2026 14:05:00 GMT");
}

TEST(LogStamp, CLocaleForm) {
    EXPECT_EQ(LogStamp(At(2026, 12, 8, 5, 40, 30)), "Tue,08Dec26 05:40:30 ");
    EXPECT_EQ(LogStamp(At(2009, 1, 4, 0, 0, 7)), "Sun,04Jan09 00:00:07 ");
}

TEST(ShortDate, CLocaleForm) {
    EXPECT_EQ(ShortDate(At(2026, 3, 9, 14, 5, 0)), "03/09/26");
}

TEST(Stamps, FixedWidthDigits) {
    const LocalTime t = At(2026, 3, 9, 4, 5, 6);
    EXPECT_EQ(Stamp14(t), "20260309040506");
    EXPECT_EQ(Stamp12(t), "260309040506");
    EXPECT_EQ(Stamp12(At(2000, 12, 31, 23, 59, 59)), "001231235959");
}

}  // namespace
}  // namespace corvanteer
