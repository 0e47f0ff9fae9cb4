#include "engine/Roster.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "support/Random.h"

namespace corvanteer {
namespace {

// The scripted value that FakeRandom turns into the real number r.
uint32_t ScriptFor(double r) {
    return static_cast<uint32_t>(r * 4294967296.0);
}

TEST(RosterTest, SortsWithoutRegardToCaseAndDropsLaterDuplicates) {
    SortedRoster roster(Lines{"carol@x.org 0 333333", "Bob@x.org 1 222222", "alice@x.org 0 111111",
                              "BOB@X.ORG 0 999999", "bob@x.org 1 222222"});
    // The first of the lines equal without regard to case stays, wherever it stood.
    EXPECT_EQ(roster.Items(), (Lines{"alice@x.org 0 111111", "BOB@X.ORG 0 999999",
                                     "Bob@x.org 1 222222", "carol@x.org 0 333333"}));

    SortedRoster same(Lines{"b 1", "B 1", "a"});
    EXPECT_EQ(same.Items(), (Lines{"a", "b 1"}));
}

TEST(RosterTest, BlankLinesOfAHandEditedSectionNameNobody) {
    SortedRoster roster;
    roster.AssignText("b@x.org 0 1\r\n\r\n   \r\n\ta@x.org 0 2\r\n");
    EXPECT_EQ(roster.Items(), (Lines{"\ta@x.org 0 2", "b@x.org 0 1"}));
}

TEST(RosterTest, AddKeepsOrderAndRefusesEqualLines) {
    SortedRoster roster;
    EXPECT_TRUE(roster.Add("mike@x.org 0 1"));
    EXPECT_TRUE(roster.Add("Zed@x.org 0 2"));
    EXPECT_TRUE(roster.Add("adam@x.org 0 3"));
    EXPECT_FALSE(roster.Add("ADAM@x.org 0 3"));
    EXPECT_TRUE(roster.Add("adam@x.org 1 3"));  // another line of the same address
    EXPECT_EQ(roster.Items(),
              (Lines{"adam@x.org 0 3", "adam@x.org 1 3", "mike@x.org 0 1", "Zed@x.org 0 2"}));
    roster.Delete(1);
    roster.Delete(99);  // out of range: nothing
    EXPECT_EQ(roster.size(), 3u);
    EXPECT_EQ(roster[1], "mike@x.org 0 1");
}

TEST(RosterTest, AssignTextSplitsSectionLines) {
    SortedRoster roster;
    roster.AssignText("b@x.org 0 1\r\na@x.org 1 2");
    EXPECT_EQ(roster.Items(), (Lines{"a@x.org 1 2", "b@x.org 0 1"}));
    roster.AssignText("");
    EXPECT_TRUE(roster.empty());
}

TEST(RosterTest, FindAddressComparesTheWholeAddressWithoutCase) {
    SortedRoster roster(Lines{"ann@x.org 0 1", "Anna@X.org 1 2", "bo@x.org"});
    EXPECT_EQ(roster.FindAddress("anna@x.org"), 1u);
    EXPECT_EQ(roster.FindAddress("ann@x.org"), 0u);
    EXPECT_EQ(roster.FindAddress("bo@x.org"), 2u);  // an entry without blanks is all address
    EXPECT_EQ(roster.FindAddress("an@x.org"), SortedRoster::npos);
    EXPECT_EQ(roster.FindAddress(""), SortedRoster::npos);
}

TEST(RosterTest, EntryHelpers) {
    EXPECT_EQ(MemberEntry::AddressOf("a@b.c 0 123456"), "a@b.c");
    EXPECT_EQ(MemberEntry::AddressOf("a@b.c"), "a@b.c");
    EXPECT_EQ(MemberEntry::AddressOf(""), "");
    EXPECT_EQ(MemberEntry::New("a@b.c", "123456").Format(), "a@b.c 0 123456");
    EXPECT_TRUE(RosterLess("apple", "Banana"));
    EXPECT_FALSE(RosterLess("Banana", "apple"));
    EXPECT_TRUE(RosterLess("ABC", "abc"));  // equal ignoring case: ordered by bytes
    EXPECT_FALSE(RosterLess("abc", "abc"));
}

TEST(RosterTest, MemberEntryParsesAndFormatsTheLine) {
    struct Case {
        const char* line;
        const char* address;
        const char* flag;
        const char* password;
        const char* formatted;
    };
    const Case cases[] = {
        {"a@b.c 0 123456", "a@b.c", "0", "123456", "a@b.c 0 123456"},
        {"a@b.c 1 pw", "a@b.c", "1", "pw", "a@b.c 1 pw"},
        {"a@b.c", "a@b.c", "", "", "a@b.c  "},
        {"a@b.c 0", "a@b.c", "0", "", "a@b.c 0 "},
        {"a@b.c 0 pw extra", "a@b.c", "0", "pw", "a@b.c 0 pw"},  // a third blank ends it
        {"a@b.c  0", "a@b.c", "", "0", "a@b.c  0"},              // parts cut at single blanks
        {"", "", "", "", "  "},
    };
    for (const Case& c : cases) {
        const MemberEntry entry = MemberEntry::Parse(c.line);
        EXPECT_EQ(entry.address, c.address) << c.line;
        EXPECT_EQ(entry.flag, c.flag) << c.line;
        EXPECT_EQ(entry.password, c.password) << c.line;
        EXPECT_EQ(entry.Format(), c.formatted) << c.line;
        EXPECT_EQ(MemberEntry::AddressOf(c.line), c.address) << c.line;
    }
    EXPECT_TRUE(MemberEntry::Parse("a@b.c 0 1").MayPost());
    EXPECT_TRUE(MemberEntry::Parse("a@b.c 1 1").Banned());
    const MemberEntry odd = MemberEntry::Parse("a@b.c 2 1");  // neither may post nor banned
    EXPECT_FALSE(odd.MayPost());
    EXPECT_FALSE(odd.Banned());
}

TEST(RosterTest, PasswordIsTheRoundedDrawOfSixDigits) {
    FakeRandom random;
    random.Script({ScriptFor(0.1234564)});
    EXPECT_EQ(GeneratePassword(random), "123456");

    random.Script({ScriptFor(0.1234566)});
    EXPECT_EQ(GeneratePassword(random), "123457");  // rounded, not cut
}

TEST(RosterTest, PasswordDrawsAgainUntilSixDigits) {
    FakeRandom random;
    // 0.05 gives 50000 (five digits), 0.9999996 rounds to 1000000 (seven), 0 gives "0".
    random.Script({ScriptFor(0.05), ScriptFor(0.9999996), 0, ScriptFor(0.7000004)});
    EXPECT_EQ(GeneratePassword(random), "700000");
}

TEST(RosterTest, PasswordsFromTheGeneratorAlwaysHaveSixDigitsWithoutLeadingZero) {
    FakeRandom random(7);
    for (int i = 0; i < 2000; ++i) {
        std::string password = GeneratePassword(random);
        ASSERT_EQ(password.size(), 6u);
        ASSERT_NE(password[0], '0');
        ASSERT_EQ(password.find_first_not_of("0123456789"), std::string::npos);
    }
}

}  // namespace
}  // namespace corvanteer
