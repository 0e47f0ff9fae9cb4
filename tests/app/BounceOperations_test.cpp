// Enabling and disabling a member's delivery by hand, and the roster's view of it.

#include "app/BounceOperations.h"

#include <gtest/gtest.h>

#include "AppFixture.h"
#include "app/RosterOperations.h"
#include "engine/bounce/BounceState.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

class BounceOperationsTest : public AppTest {
protected:
    BounceOperationsTest() {
        MakeList("news");
        SetSection("news", "MemberList", {"amy@example.test 0 111111", "bo@example.test 0 222222"});
    }
    bounce::BounceState State() const { return bounce::ReadBounceState(paths, "news"); }
};

TEST_F(BounceOperationsTest, DisableAndEnableByHandWithRecordsAndTheRosterView) {
    EXPECT_EQ(DisableMember(services, "NEWS", "Amy@Example.test").message, "");
    EXPECT_EQ(DisableMember(services, "news", "amy@example.test").message,
              "amy@example.test was disabled already.");
    EXPECT_FALSE(DisableMember(services, "news", "nobody@example.test").ok);
    EXPECT_FALSE(EnableMember(services, "gone", "amy@example.test").ok);

    const RosterView view = FillRoster(services, "news");
    EXPECT_EQ(view.disabled, 1u);
    EXPECT_TRUE(view.entries[0].disabled);
    EXPECT_EQ(view.entries[0].score, "");  // disabled by hand, without a score
    EXPECT_FALSE(view.entries[1].disabled);
    EXPECT_EQ(view.entries[1].score, "");

    EXPECT_EQ(EnableMember(services, "news", "AMY@example.test").message,
              "amy@example.test gets the list's mail again.");
    EXPECT_EQ(EnableMember(services, "news", "amy@example.test").message,
              "amy@example.test was not disabled.");
    EXPECT_TRUE(State().empty());
    const Lines log = LogLines();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], std::string(kStamp) + "news: x amy@example.test(delivery disabled by hand)");
    EXPECT_EQ(log[1], std::string(kStamp) + "news: + amy@example.test(delivery enabled, by hand)");
    EXPECT_EQ(Section("news", "Latest_Actions"),
              (Lines{std::string(kShortDate) + " + amy@example.test(delivery enabled)",
                     std::string(kShortDate) + " x amy@example.test(delivery disabled)"}));
}

TEST_F(BounceOperationsTest, ARemovedMemberAddedAgainStartsFromZero) {
    ForceDirectories(paths.appDir + "Lists/news");
    Spit(paths.BounceStateFile("news"), "bo@example.test 4.5 2026-03-09 5.1.1 no - 0 - -\r\n");
    EXPECT_EQ(FillRoster(services, "news").entries[1].score, "4.5");
    ASSERT_TRUE(RemoveMember(services, "news", "bo@example.test").ok);
    ASSERT_TRUE(AddMember(services, "news", "bo@example.test").ok);
    EXPECT_EQ(FillRoster(services, "news").entries[1].score, "");
    EXPECT_TRUE(State().empty());
}

}  // namespace
}  // namespace corvanteer::testing
