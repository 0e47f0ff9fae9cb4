#include "engine/DTCalc.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/Clock.h"

namespace corvanteer {
namespace {

TDTCalc Span(double start, double end) {
    TDTCalc calc;
    calc.SetStartTime(start);
    calc.SetEndTime(end);
    return calc;
}

TEST(TDTCalc, EqualEndsGiveZero) {
    const TDTCalc c = Span(46000.25, 46000.25);
    EXPECT_EQ(c.Years(), 0);
    EXPECT_EQ(c.Months(), 0);
    EXPECT_EQ(c.Days(), 0);
    EXPECT_EQ(c.Hours(), 0);
    EXPECT_EQ(c.Minutes(), 0);
    EXPECT_EQ(c.Seconds(), 0);
    EXPECT_EQ(c.MSeconds(), 0);
}

TEST(TDTCalc, EveryUnitIsTheWholeSpan) {
    const TDTCalc c = Span(10.0, 11.5);
    EXPECT_EQ(c.Days(), 1);
    EXPECT_EQ(c.Hours(), 36);
    EXPECT_EQ(c.Minutes(), 2160);
    EXPECT_EQ(c.Seconds(), 129600);
    EXPECT_EQ(c.MSeconds(), 129600000);
}

TEST(TDTCalc, NegativeSpansTruncateTowardZero) {
    const TDTCalc c = Span(11.5, 10.0);
    EXPECT_EQ(c.Days(), -1);
    EXPECT_EQ(c.Hours(), -36);
    EXPECT_EQ(c.MSeconds(), -129600000);
    EXPECT_EQ(Span(0, -0.5).Days(), 0);
}

TEST(TDTCalc, MidnightToNextDayBeforeMidnight) {
    const TDTCalc c = Span(ToDayCount(2026, 3, 9), ToDayCount(2026, 3, 10, 23, 59));
    EXPECT_EQ(c.Days(), 1);
    EXPECT_EQ(c.Hours(), 47);
}

TEST(TDTCalc, MonthsAndYears) {
    EXPECT_EQ(Span(0, 365).Years(), 0);
    EXPECT_EQ(Span(0, 366).Years(), 1);
    EXPECT_EQ(Span(0, 61).Months(), 2);
    EXPECT_EQ(Span(0, 60).Months(), 1);
    EXPECT_EQ(Span(ToDayCount(2024, 1, 1), ToDayCount(2026, 1, 1)).Years(), 2);
}

TEST(TDTCalc, EachSetterRecomputesFromTheCurrentPair) {
    TDTCalc calc;
    calc.SetEndTime(46000);  // start is still day zero
    EXPECT_EQ(calc.Days(), 46000);
    calc.SetStartTime(45990);
    EXPECT_EQ(calc.Days(), 10);
    EXPECT_EQ(calc.StartTime(), 45990);
    EXPECT_EQ(calc.EndTime(), 46000);
}

TEST(TDTCalc, LongSpansSaturateInsteadOfOverflowing) {
    const TDTCalc c = Span(0, 46000);  // about 126 years
    EXPECT_EQ(c.Days(), 46000);
    EXPECT_EQ(c.Hours(), 46000 * 24);
    EXPECT_EQ(c.Minutes(), 46000 * 24 * 60);
    EXPECT_EQ(c.Seconds(), INT32_MAX);
    EXPECT_EQ(c.MSeconds(), INT32_MAX);
    EXPECT_EQ(c.Years(), 125);
    const TDTCalc back = Span(46000, 0);
    EXPECT_EQ(back.MSeconds(), INT32_MIN);
    EXPECT_EQ(back.Days(), -46000);
    const TDTCalc huge = Span(0, 1e300);
    EXPECT_EQ(huge.Days(), INT32_MAX);
    EXPECT_EQ(huge.Years(), INT32_MAX);
    const TDTCalc nan = Span(0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.Days(), 0);
}

}  // namespace
}  // namespace corvanteer
