// members show|add|remove|ban|unban|password|import|export.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;

class MemberCommandsTest : public CliTest {
protected:
    void SetUp() override { ASSERT_EQ(Run({"lists", "add", "news"}).status, 0); }
    // The roster lines, without the tab and mode that follow each (a bounce standing stays).
    Lines Roster() {
        Lines lines = OutputLines(Run({"members", "show", "news"}).out);
        for (std::string& line : lines) {
            EXPECT_EQ(line.substr(line.find('\t'), 5), "\teach") << line;
            line.erase(line.find('\t'), 5);
        }
        return lines;
    }
    Lines Log() {
        auto text = ReadFileIfExists(paths.LogFile());
        return text ? TextToLines(*text) : Lines{};
    }
};

TEST_F(MemberCommandsTest, AddStoresTheAddressLowerCasedWithANewPasswordAndRecordsIt) {
    CliResult r = Run({"members", "add", "news", "Alice@Example.TEST"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    Lines roster = Roster();
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_THAT(roster[0], MatchesRegex("alice@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26 + alice@example.test"));
    EXPECT_THAT(Log(), ElementsAre("Mon,09Mar26 14:05:00 news: + alice@example.test(manual add)"));
}

TEST_F(MemberCommandsTest, AddPrintsThePasswordWhenMembersPostWithPasswords) {
    ASSERT_EQ(Run({"config", "set", "RequirePassword", "1", "--list", "news"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "AllowPostBy", "1", "--list", "news"}).status, 0);
    CliResult r = Run({"members", "add", "news", "bob@example.test"});
    EXPECT_EQ(r.status, 0);
    Lines out = OutputLines(r.out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], "Password for bob@example.test is ");
    EXPECT_EQ("bob@example.test 0 " + out[1], Roster()[0]);
}

TEST_F(MemberCommandsTest, RefusalsUseTheWindowsTextsAndWriteNothing) {
    ASSERT_EQ(Run({"members", "add", "news", "alice@example.test"}).status, 0);
    const std::string before = Fingerprint();

    CliResult twice = Run({"members", "add", "news", "ALICE@example.test"});
    EXPECT_EQ(twice.status, 1);
    EXPECT_EQ(twice.err, "corvanteer-cli: alice@example.test is aready a member.\n");

    CliResult invalid = Run({"members", "add", "news", "not an address"});
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err, "corvanteer-cli: not an address is not a valid email address\n");

    EXPECT_EQ(Run({"members", "add", "nosuch", "carol@example.test"}).status, 1);
    EXPECT_EQ(Run({"members", "remove", "news", "carol@example.test"}).status, 1);
    EXPECT_EQ(Run({"members", "ban", "news", "carol@example.test"}).status, 1);
    EXPECT_EQ(Run({"members", "password", "news", "alice@example.test", "two words"}).status, 1);
    EXPECT_EQ(Run({"members", "show", "nosuch"}).status, 1);
    EXPECT_EQ(Fingerprint(), before);
}

TEST_F(MemberCommandsTest, BanUnbanAndPasswordRewriteOnlyTheirPart) {
    WriteSection(DataFile("news"), "MemberList",
                 {"zed@example.test 0 222222", "amy@example.test 0 111111"});
    ASSERT_EQ(Run({"members", "ban", "news", "ZED@example.test"}).status, 0);
    EXPECT_THAT(Roster(), ElementsAre("amy@example.test 0 111111", "zed@example.test 1 222222"));
    ASSERT_EQ(Run({"members", "password", "news", "amy@example.test", "opensesame"}).status, 0);
    ASSERT_EQ(Run({"members", "unban", "news", "zed@example.test"}).status, 0);
    EXPECT_THAT(Roster(),
                ElementsAre("amy@example.test 0 opensesame", "zed@example.test 0 222222"));
    // Stored sorted.
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("amy@example.test 0 opensesame", "zed@example.test 0 222222"));
}

TEST_F(MemberCommandsTest, RemoveTakesTheMemberOutAndRecordsIt) {
    WriteSection(DataFile("news"), "MemberList",
                 {"amy@example.test 0 111111", "zed@example.test 1 222222"});
    ASSERT_EQ(Run({"members", "remove", "news", "zed@example.test"}).status, 0);
    EXPECT_THAT(Roster(), ElementsAre("amy@example.test 0 111111"));
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26 - zed@example.test"));
    EXPECT_THAT(Log(), ElementsAre("Mon,09Mar26 14:05:00 news: - zed@example.test(manual "
                                   "remove by moderator)"));
}

TEST_F(MemberCommandsTest, ImportCountsInvalidDuplicateAndNewLinesOfAnyBytes) {
    WriteSection(DataFile("news"), "MemberList", {"old@example.test 0 111111"});
    // CR-only line ends, LF, CR LF, blanks and capitals, a binary line, a long line, a blank
    // line, a member already present, an address twice.
    const std::string file = home.File("import.txt");
    using namespace std::string_literals;
    Spit(file, "  New1@Example.TEST \rnew2@example.test\nold@example.test\r\n"s +
                   "garbage\x01\xff\x00line\n"s + std::string(100000, 'a') + "\n\n" +
                   "new2@example.test\r\nnot an address\n");
    CliResult r = Run({"members", "import", "news", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Invalid names: 4\nDuplicate names: 2\nNew names imported: 2\n");
    // Each refused line on standard error, by number, without its control bytes.
    const Lines refused = OutputLines(r.err);
    ASSERT_EQ(refused.size(), 6u) << r.err;
    EXPECT_EQ(refused[0], "line 3: already a member: \"old@example.test\"");
    EXPECT_EQ(refused[1], "line 4: not a valid email address: \"garbage?\xff?line\"");
    EXPECT_EQ(refused[5], "line 8: not a valid email address: \"not an address\"");
    Lines roster = Roster();
    ASSERT_EQ(roster.size(), 3u);
    EXPECT_THAT(roster[0], MatchesRegex("new1@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_THAT(roster[1], MatchesRegex("new2@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_EQ(roster[2], "old@example.test 0 111111");
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26 + imported 2"));
    EXPECT_THAT(Log(), ElementsAre("Mon,09Mar26 14:05:00 news:   imported 2"));
}

TEST_F(MemberCommandsTest, ImportOfAMissingFileChangesNothing) {
    const std::string before = Fingerprint();
    CliResult r = Run({"members", "import", "news", home.File("absent.txt")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("absent.txt"));
    EXPECT_EQ(OutputLines(r.err).size(), 1u);
    EXPECT_EQ(Fingerprint(), before);
}

TEST_F(MemberCommandsTest, ExportWritesTheSortedAddressesAndReimportFindsOnlyDuplicates) {
    WriteSection(DataFile("news"), "MemberList",
                 {"zed@example.test 1 222222", "Amy@example.test 0 111111"});
    const std::string file = home.File("export.txt");
    CliResult r = Run({"members", "export", "news", file});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(file), "Amy@example.test\r\nzed@example.test\r\n");
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26   exported to " + file));

    EXPECT_EQ(Run({"members", "import", "news", file}).out,
              "Invalid names: 0\nDuplicate names: 2\nNew names imported: 0\n");

    CliResult unwritable = Run({"members", "export", "news", home.File("no/such/dir/x.txt")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(OutputLines(unwritable.err).size(), 1u);
}

TEST_F(MemberCommandsTest, AddressesNoMailServerTakesAreRefusedByAddAndCountedInvalidByImport) {
    // Each address with the way the refusal shows it: control bytes as "?".
    const std::vector<std::pair<std::string, std::string>> unusable = {
        {std::string(65, 'l') + "@example.test", std::string(65, 'l') + "@example.test"},
        {std::string(60, 'l') + "@" + std::string(190, 'd') + ".test",
         std::string(60, 'l') + "@" + std::string(190, 'd') + ".test"},
        {"j\xC3\xB6"
         "e@example.test",
         "j\xC3\xB6"
         "e@example.test"},
        {"jo\x1B"
         "e@example.test",
         "jo?e@example.test"},
    };
    std::string importFile = "ok@example.test\n";
    for (const auto& [address, shown] : unusable) {
        CliResult r = Run({"members", "add", "news", address});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "corvanteer-cli: " + shown + " is not a valid email address\n");
        importFile += address + "\n";
    }
    EXPECT_THAT(Roster(), ::testing::IsEmpty());
    Spit(home.File("in.txt"), importFile);
    CliResult r = Run({"members", "import", "news", home.File("in.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Invalid names: 4\nDuplicate names: 0\nNew names imported: 1\n");
    EXPECT_EQ(Roster().size(), 1u);
}

TEST_F(MemberCommandsTest, ModeSetsHowAMemberReceivesTheListAndShowPrintsIt) {
    ASSERT_EQ(Run({"members", "add", "news", "alice@example.test"}).status, 0);
    CliResult set = Run({"members", "mode", "news", "Alice@Example.TEST", "digest"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "");
    const Lines shown = OutputLines(Run({"members", "show", "news"}).out);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_THAT(shown[0], MatchesRegex("alice@example\\.test 0 [0-9]{6}\tdigest"));
    EXPECT_EQ(Log().back(), "Mon,09Mar26 14:05:00 news: ~ alice@example.test(mode digest, manual)");

    CliResult bad = Run({"members", "mode", "news", "alice@example.test", "weekly"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err,
              "corvanteer-cli: The mode must be each, digest, plain-digest or nomail "
              "(not \"weekly\").\n");
    EXPECT_EQ(Run({"members", "mode", "news", "alice@example.test"}).status, 2);
}

TEST_F(MemberCommandsTest, DisableAndEnableAreWiredAndShowMarksTheMember) {
    ASSERT_EQ(Run({"members", "add", "news", "amy@example.test"}).status, 0);
    CliResult disable = Run({"members", "disable", "news", "amy@example.test"});
    EXPECT_EQ(disable.status, 0) << disable.err;
    EXPECT_THAT(Roster()[0], MatchesRegex("amy@example\\.test 0 [0-9]{6} \\(delivery disabled\\)"));
    EXPECT_EQ(Run({"members", "disable", "news", "nobody@example.test"}).err,
              "corvanteer-cli: nobody@example.test is not a member.\n");

    CliResult enable = Run({"members", "enable", "news", "amy@example.test"});
    EXPECT_EQ(enable.status, 0) << enable.err;
    EXPECT_EQ(enable.out, "amy@example.test gets the list's mail again.\n");
    EXPECT_THAT(Roster()[0], MatchesRegex("amy@example\\.test 0 [0-9]{6}"));
}

}  // namespace
}  // namespace corvanteer::testing
