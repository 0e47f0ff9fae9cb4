#include "engine/bounce/BounceState.h"

#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "engine/bounce/MemberToken.h"
#include "support/Files.h"

namespace corvanteer::bounce {
namespace {

using testing::EngineTest;

const std::string kFile =
    "# address score last-bounce status disabled since notices last-notice code\r\n"
    "ann@example.org 2.5 2026-03-09 5.1.1 no - 0 - -\r\n"
    "bob@example.org 5.0 2026-03-12 5.2.1 bounces 2026-03-12 1 2026-03-12 enable-7KQ2M9XDPA\r\n"
    "cy@example.org 0.0 - - hand 2026-03-14 0 - -\r\n";

TEST(BounceState, ReadsAndWritesItsFormatByteForByte) {
    const BounceState state = BounceState::Parse(kFile);
    ASSERT_EQ(3u, state.Members().size());
    const MemberBounces* bob = state.Find("BOB@example.org");
    ASSERT_NE(nullptr, bob);
    EXPECT_EQ(10, bob->halfPoints);
    EXPECT_EQ(Disabled::Bounces, bob->disabled);
    EXPECT_EQ("2026-03-12", DayText(bob->lastNotice));
    EXPECT_EQ("enable-7KQ2M9XDPA", bob->code);
    EXPECT_EQ(Disabled::ByHand, state.Find("cy@example.org")->disabled);
    EXPECT_EQ(kFile, state.Format());
}

TEST(BounceState, LinesItCannotReadAreKeptAfterTheOthers) {
    const std::string text =
        "zed@example.org 1.0 2026-02-30 - no - 0 - -\r\n"  // no such day
        "ann@example.org 1.5 2026-03-09 4.2.2 no - 0 - -\r\n"
        "ann@example.org 9.0 2026-03-09 5.1.1 no - 0 - -\r\n"  // a second line of one address
        "free text\r\n";
    BounceState state = BounceState::Parse(text);
    EXPECT_EQ(1u, state.Members().size());
    state.Entry("abe@example.org").halfPoints = 2;
    EXPECT_EQ(
        "# address score last-bounce status disabled since notices last-notice code\r\n"
        "abe@example.org 1.0 - - no - 0 - -\r\n"
        "ann@example.org 1.5 2026-03-09 4.2.2 no - 0 - -\r\n"
        "zed@example.org 1.0 2026-02-30 - no - 0 - -\r\n"
        "ann@example.org 9.0 2026-03-09 5.1.1 no - 0 - -\r\n"
        "free text\r\n",
        state.Format());
}

TEST(BounceState, DaysCountAcrossMonthsAndYears) {
    LocalTime time;
    time.year = 2026;
    time.month = 3;
    time.day = 1;
    const int first = DayOf(time);
    time.month = 2;
    time.day = 28;
    EXPECT_EQ(1, first - DayOf(time));
    EXPECT_EQ("2024-02-29", DayText(*ParseDay("2024-02-29")));
    EXPECT_FALSE(ParseDay("2025-02-29"));
    EXPECT_EQ(0, *ParseDay("-"));
}

class BounceStateFile : public EngineTest {};

TEST_F(BounceStateFile, UpdatesReplaceTheFileAndAnEmptyStateRemovesIt) {
    AddList("news");
    UpdateBounceState(services, "news", [](BounceState& state) {
        state.Entry("ann@example.org").halfPoints = 3;
        state.Entry("bob@example.org").halfPoints = 2;
        return true;
    });
    EXPECT_EQ(2u, ReadBounceState(paths, "news").Members().size());
    ForgetMember(services, "news", "Ann@Example.org");
    EXPECT_EQ(nullptr, ReadBounceState(paths, "news").Find("ann@example.org"));
    UpdateBounceState(services, "news",
                      [](BounceState& state) { return state.KeepOnly({"someone@example.org"}); });
    EXPECT_FALSE(FileExists(paths.BounceStateFile("news")));
}

TEST_F(BounceStateFile, TheTokenKeyIsMadeOnceAndTokensNameTheirMember) {
    const std::string key = MemberTokenKey(*store, paths.SettingsKey());
    EXPECT_EQ(64u, key.size());
    EXPECT_EQ(key, MemberTokenKey(*store, paths.SettingsKey()));

    const std::string token = MemberToken(key, "News", "Ann@Example.org");
    EXPECT_EQ(32u, token.size());
    EXPECT_EQ(token, MemberToken(key, "news", "ann@example.org"));
    EXPECT_NE(token, MemberToken(key, "other", "ann@example.org"));
    EXPECT_NE(token, MemberToken(key, "news", "bob@example.org"));
    EXPECT_NE(token, MemberToken(std::string(64, '0'), "news", "ann@example.org"));
    EXPECT_EQ(std::string::npos, token.find("ann"));

    const MemberTokenIndex index(key, "news", {"ann@example.org", "bob@example.org"});
    ASSERT_NE(nullptr, index.Find(token));
    EXPECT_EQ("ann@example.org", *index.Find(token));
    EXPECT_EQ(nullptr, index.Find("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(std::vector<std::string>{token},
              TokensInText("> x-corvanteer-member:  " + token + " \r\nBody\r\n"));
    // A token ends at any blank: a tab or a folded line adds nothing to it.
    EXPECT_EQ(token, TokenOfValue("\t" + token + "\tmore"));
    EXPECT_EQ(token, TokenOfValue(" " + token + "\r\n more"));
    EXPECT_EQ("", TokenOfValue(" \t\r\n"));
}

}  // namespace
}  // namespace corvanteer::bounce
