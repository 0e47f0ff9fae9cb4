#include "app/RosterOperations.h"

#include <gmock/gmock.h>

#include "AppFixture.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class RosterTest : public AppTest {
protected:
    RosterTest() { MakeList("news"); }
};

TEST_F(RosterTest, AddStoresLowerCaseEntryAndRecordsIt) {
    SetSection("news", "Latest_Actions", {"03/01/26 + old@example.test"});
    ActionResult result = AddMember(services, "NEWS", "Ann.Smith@Example.TEST");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, "");  // no password message unless members post with passwords

    Lines roster = Section("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_THAT(roster[0], MatchesRegex("ann\\.smith@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_THAT(Section("news", "Latest_Actions"),
                ElementsAre("03/09/26 + ann.smith@example.test", "03/01/26 + old@example.test"));
    EXPECT_THAT(LogLines(),
                ElementsAre(std::string(kStamp) + "news: + ann.smith@example.test(manual add)"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));

    RosterView view = FillRoster(services, "news");
    ASSERT_EQ(view.total, 1u);
    EXPECT_EQ(view.entries[0].address, "ann.smith@example.test");
    EXPECT_FALSE(view.entries[0].banned);
}

TEST_F(RosterTest, AddAppendsWithoutSortingAndDoesNotTrimRecentActivity) {
    SetSection("news", "MemberList", {"zed@example.test 0 111111"});
    Lines actions;
    for (int i = 0; i < 25; ++i) {
        actions.push_back("03/01/26 + a" + std::to_string(i) + "@example.test");
    }
    SetSection("news", "Latest_Actions", actions);

    ASSERT_TRUE(AddMember(services, "news", "amy@example.test").ok);
    Lines roster = Section("news", "MemberList");
    ASSERT_EQ(roster.size(), 2u);
    EXPECT_EQ(roster[0], "zed@example.test 0 111111");
    EXPECT_THAT(roster[1], MatchesRegex("amy@example\\.test 0 [0-9]{6}"));
    EXPECT_EQ(Section("news", "Latest_Actions").size(), 26u);
}

TEST_F(RosterTest, PasswordMessageOnlyWhenMembersPostWithPasswords) {
    store->WriteRegBool(ListKey("news"), "RequirePassword", true);
    store->WriteRegInteger(ListKey("news"), "AllowPostBy", 2);
    ActionResult anybody = AddMember(services, "news", "a@example.test");
    EXPECT_TRUE(anybody.ok);
    EXPECT_EQ(anybody.message, "");

    store->WriteRegInteger(ListKey("news"), "AllowPostBy", 1);
    ActionResult members = AddMember(services, "news", "b@example.test");
    ASSERT_TRUE(members.ok);
    const std::string stored = Section("news", "MemberList")[1];
    EXPECT_EQ(members.message, "Password for b@example.test is \r\n" + stored.substr(17));

    store->WriteRegBool(ListKey("news"), "RequirePassword", false);
    EXPECT_EQ(AddMember(services, "news", "c@example.test").message, "");
}

TEST_F(RosterTest, AddRefusesBadAndDuplicateAddressesWithoutWriting) {
    SetSection("news", "MemberList", {"bob@example.test 1 222222"});
    EXPECT_EQ(AddMember(services, "news", "").message, "Please enter user email.");
    EXPECT_EQ(AddMember(services, "news", "no at sign").message,
              "no at sign is not a valid email address");
    EXPECT_EQ(AddMember(services, "news", "x@y.z\x01").message,
              "x@y.z\x01 is not a valid email address");
    EXPECT_EQ(AddMember(services, "news", std::string(250, 'a') + "@b.cd").message,
              std::string(250, 'a') + "@b.cd is not a valid email address");
    ActionResult duplicate = AddMember(services, "news", "BOB@example.test");
    EXPECT_FALSE(duplicate.ok);
    EXPECT_EQ(duplicate.message, "bob@example.test is aready a member.");
    ActionResult unknown = AddMember(services, "other", "a@example.test");
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.message, "There is no list named \"other\".");

    EXPECT_THAT(Section("news", "MemberList"), ElementsAre("bob@example.test 1 222222"));
    EXPECT_TRUE(Section("news", "Latest_Actions").empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_TRUE(observer.rosterChanges.empty());
}

TEST_F(RosterTest, RemoveTakesTheFirstMatchingEntryAndRecordsIt) {
    SetSection(
        "news", "MemberList",
        {"carl@example.test 0 333333", "Amy@example.test 0 111111", "bob@example.test 1 222222"});
    ASSERT_TRUE(RemoveMember(services, "news", "bob@example.test").ok);
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("Amy@example.test 0 111111", "carl@example.test 0 333333"));
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26 - bob@example.test"));
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) +
                                        "news: - bob@example.test(manual remove by moderator)"));

    // Without an exact match the address is matched without regard to case; the records name
    // the entry as stored.
    ASSERT_TRUE(RemoveMember(services, "news", "amy@example.test").ok);
    EXPECT_THAT(Section("news", "MemberList"), ElementsAre("carl@example.test 0 333333"));
    EXPECT_EQ(Section("news", "Latest_Actions")[0], "03/09/26 - Amy@example.test");

    ActionResult missing = RemoveMember(services, "news", "nobody@example.test");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.message, "nobody@example.test is not a member.");
    EXPECT_EQ(LogLines().size(), 2u);
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news", "news"));
}

TEST_F(RosterTest, BanRewritesEveryLineSortedKeepingPasswordsAndOtherFlags) {
    // Unsorted, as Add and subscriptions leave it.
    SetSection("news", "MemberList",
               {"dora@example.test 0 444444", "bob@example.test 1 222222",
                "amy@example.test 0 111111", "carl@example.test x 333333"});
    RosterView before = FillRoster(services, "news");
    EXPECT_EQ(before.total, 4u);
    EXPECT_EQ(before.banned, 1u);
    EXPECT_EQ(before.entries[1].address, "bob@example.test");
    EXPECT_TRUE(before.entries[1].banned);

    ASSERT_TRUE(SetBanned(services, "news", "DORA@example.test", true).ok);
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("amy@example.test 0 111111", "bob@example.test 1 222222",
                            "carl@example.test 0 333333", "dora@example.test 1 444444"));
    ASSERT_TRUE(SetBanned(services, "news", "bob@example.test", false).ok);
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("amy@example.test 0 111111", "bob@example.test 0 222222",
                            "carl@example.test 0 333333", "dora@example.test 1 444444"));
    EXPECT_EQ(FillRoster(services, "news").banned, 1u);

    EXPECT_FALSE(SetBanned(services, "news", "eve@example.test", true).ok);
    // Ban changes are not recorded in the recent activity or the log.
    EXPECT_TRUE(Section("news", "Latest_Actions").empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_EQ(observer.rosterChanges.size(), 2u);
}

TEST_F(RosterTest, ChangePasswordReplacesThePasswordOnly) {
    SetSection("news", "MemberList", {"bob@example.test 1 222222", "amy@example.test 0 111111"});
    ASSERT_TRUE(ChangePassword(services, "news", "BOB@example.test", "s3cret!").ok);
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("amy@example.test 0 111111", "bob@example.test 1 s3cret!"));
    ASSERT_TRUE(ChangePassword(services, "news", "amy@example.test", "").ok);
    EXPECT_EQ(Section("news", "MemberList")[0], "amy@example.test 0 ");

    ActionResult blank = ChangePassword(services, "news", "bob@example.test", "two words");
    EXPECT_FALSE(blank.ok);
    EXPECT_THAT(blank.message, ::testing::HasSubstr("blank"));
    EXPECT_FALSE(ChangePassword(services, "news", "bob@example.test", "a\r\nb").ok);
    EXPECT_FALSE(ChangePassword(services, "news", "eve@example.test", "x").ok);
    EXPECT_EQ(Section("news", "MemberList")[1], "bob@example.test 1 s3cret!");
}

}  // namespace
}  // namespace corvanteer::testing
