#include "app/MemberModeOperations.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "app/ListOperations.h"
#include "app/RosterOperations.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class MemberModeTest : public AppTest {
protected:
    MemberModeTest() {
        MakeList("news");
        SetSection("news", "MemberList", {"ann@example.test 0 111111", "bob@example.test 1 2"});
    }
    std::string Modes() const { return ReadFileIfExists(paths.appDir + "news.modes").value_or(""); }
    std::vector<std::string> Log() const {
        auto text = ReadFileIfExists(paths.LogFile());
        return text ? TextToLines(*text) : std::vector<std::string>{};
    }
};

TEST_F(MemberModeTest, OperatorSetsAModeTheRosterShowsAndTheLogTells) {
    ActionResult result = SetMemberMode(services, "NEWS", "Bob@Example.test", "Plain-Digest");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.message, "");
    EXPECT_EQ(Modes(), "bob@example.test plain-digest\r\n");
    EXPECT_THAT(Log(), ElementsAre("Mon,09Mar26 14:05:00 news: ~ bob@example.test(mode "
                                   "plain-digest, manual)"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));
    const RosterView view = FillRoster(services, "news");
    ASSERT_EQ(view.entries.size(), 2u);
    EXPECT_EQ(view.entries[0].mode, DeliveryMode::Each);
    EXPECT_EQ(view.entries[1].mode, DeliveryMode::PlainDigest);

    // The same mode again: done, nothing logged.
    EXPECT_TRUE(SetMemberMode(services, "news", "bob@example.test", "plain-digest").ok);
    EXPECT_EQ(Log().size(), 1u);
}

TEST_F(MemberModeTest, RefusalsChangeNothing) {
    const struct {
        const char* list;
        const char* address;
        const char* mode;
        const char* message;
    } cases[] = {
        {"nosuch", "ann@example.test", "digest", "There is no list named \"nosuch\"."},
        {"news", "ann@example.test", "weekly",
         "The mode must be each, digest, plain-digest or nomail (not \"weekly\")."},
        {"news", "carl@example.test", "digest", "carl@example.test is not a member."},
    };
    for (const auto& c : cases) {
        const ActionResult result = SetMemberMode(services, c.list, c.address, c.mode);
        EXPECT_FALSE(result.ok) << c.mode;
        EXPECT_EQ(result.message, c.message);
    }
    EXPECT_FALSE(FileExists(paths.appDir + "news.modes"));
    EXPECT_TRUE(Log().empty());
}

TEST_F(MemberModeTest, ARemovedMemberOrADeletedListTakesItsModesAlong) {
    ASSERT_TRUE(SetMemberMode(services, "news", "ann@example.test", "nomail").ok);
    ASSERT_TRUE(SetMemberMode(services, "news", "bob@example.test", "digest").ok);
    ASSERT_TRUE(RemoveMember(services, "news", "ann@example.test").ok);
    EXPECT_EQ(Modes(), "bob@example.test digest\r\n");
    // Back as a new member: each posting, as every new member.
    ASSERT_TRUE(AddMember(services, "news", "ann@example.test").ok);
    EXPECT_EQ(FillRoster(services, "news").entries[0].mode, DeliveryMode::Each);

    ASSERT_TRUE(DeleteList(services, "news").ok);
    EXPECT_FALSE(FileExists(paths.appDir + "news.modes"));
}

}  // namespace
}  // namespace corvanteer::testing
