#include "engine/bounce/Scoring.h"

#include <gtest/gtest.h>

namespace corvanteer::bounce {
namespace {

constexpr int kDay = 46090;  // any day will do

struct Step {
    int day;  // days after kDay
    Verdict verdict;
    ChargeResult result;
    std::string score;  // after the step
    bool disabledNow;
};

TEST(Scoring, OncePerDayStaleAfterAWeekDisabledAtTheThreshold) {
    const BounceRules rules;  // threshold 5, stale after 7 days
    const std::vector<Step> steps = {
        {0, Verdict::Soft, ChargeResult::Counted, "0.5", false},
        {0, Verdict::Hard, ChargeResult::CountedToday, "0.5", false},  // once a day
        {1, Verdict::Hard, ChargeResult::Counted, "1.5", false},
        {8, Verdict::Hard, ChargeResult::Counted, "2.5", false},   // 7 days: not yet stale
        {16, Verdict::Hard, ChargeResult::Counted, "1.0", false},  // 8 days: from zero
        {17, Verdict::Hard, ChargeResult::Counted, "2.0", false},
        {18, Verdict::Hard, ChargeResult::Counted, "3.0", false},
        {19, Verdict::Soft, ChargeResult::Counted, "3.5", false},
        {20, Verdict::Hard, ChargeResult::Counted, "4.5", false},
        {21, Verdict::Soft, ChargeResult::Counted, "5.0", true},
        {22, Verdict::Hard, ChargeResult::AlreadyOff, "5.0", false},
        {23, Verdict::Policy, ChargeResult::NotChargeable, "5.0", false},
    };
    BounceState state;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.day);
        const Charge charge =
            ChargeBounce(state, "Ann@Example.org", step.verdict, "5.1.1", kDay + step.day, rules);
        EXPECT_EQ(step.result, charge.result);
        EXPECT_EQ(step.disabledNow, charge.disabledNow);
        EXPECT_EQ(step.score, state.Find("ann@example.org")->ScoreText());
    }
    const MemberBounces& ann = *state.Find("ann@example.org");
    EXPECT_EQ(Disabled::Bounces, ann.disabled);
    EXPECT_EQ(kDay + 21, ann.disabledSince);
}

TEST(Scoring, NoticesEveryIntervalThenRemoval) {
    BounceRules rules;
    rules.warnIntervalDays = 7;
    rules.warnings = 3;
    BounceState state;
    DisableMember(state.Entry("ann@example.org"), Disabled::Bounces, kDay, "enable-X");
    DisableMember(state.Entry("cy@example.org"), Disabled::ByHand, kDay, "");
    state.Entry("bob@example.org").halfPoints = 2;

    auto dueOn = [&](int day) {
        std::string what;
        for (const DueAction& action : DueActions(state, kDay + day, rules)) {
            what += action.address + (action.what == Due::Notice ? " notice" : " removal");
        }
        return what;
    };
    EXPECT_EQ("ann@example.org notice", dueOn(0));
    NoticeSent(*state.Find("ann@example.org"), kDay);
    EXPECT_EQ("", dueOn(6));
    EXPECT_EQ("ann@example.org notice", dueOn(7));
    NoticeSent(*state.Find("ann@example.org"), kDay + 7);
    EXPECT_EQ("ann@example.org notice", dueOn(14));
    NoticeSent(*state.Find("ann@example.org"), kDay + 14);
    EXPECT_EQ("", dueOn(20));
    EXPECT_EQ("ann@example.org removal", dueOn(21));  // three notices in all, then removal
}

TEST(Scoring, StaleLinesGoButDisabledOnesStay) {
    const BounceRules rules;
    BounceState state;
    ChargeBounce(state, "bob@example.org", Verdict::Hard, "5.1.1", kDay, rules);
    ChargeBounce(state, "dee@example.org", Verdict::Hard, "5.1.1", kDay + 5, rules);
    DisableMember(state.Entry("cy@example.org"), Disabled::ByHand, kDay, "");
    EXPECT_FALSE(DropStale(state, kDay + 7, rules));
    EXPECT_TRUE(DropStale(state, kDay + 8, rules));
    ASSERT_EQ(2u, state.Members().size());
    EXPECT_EQ("cy@example.org", state.Members()[0].address);
    EXPECT_EQ("dee@example.org", state.Members()[1].address);
}

}  // namespace
}  // namespace corvanteer::bounce
