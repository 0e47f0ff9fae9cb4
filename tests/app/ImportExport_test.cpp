#include "app/ImportExport.h"

#include <tuple>

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "app/RosterOperations.h"
#include "support/Status.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

class ImportExportTest : public AppTest {
protected:
    ImportExportTest() { MakeList("news"); }
};

TEST_F(ImportExportTest, ImportCountsInvalidDuplicateAndNewLines) {
    SetSection("news", "MemberList", {"bob@example.test 1 222222"});
    const std::string file = dir.File("in.txt");
    Spit(file,
         "  Carl@Example.TEST \r\n"  // trimmed and lower-cased: new
         "bob@example.test\r\n"      // a member: duplicate
         "BOB@EXAMPLE.TEST\r\n"      // still a member: duplicate
         "not an address\r\n"        // invalid
         "\r\n"                      // blank: invalid
         "amy@example.test\n"        // LF only: new
         "carl@example.test\r\n"     // second time in the file: duplicate
         "\r\n");                    // empty last line: invalid
    ImportCounts counts;
    ActionResult result = ImportMembers(services, "news", file, &counts);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(counts.invalid, 3);
    EXPECT_EQ(counts.duplicate, 3);
    EXPECT_EQ(counts.added, 2);
    EXPECT_EQ(result.message, "Invalid names: 3\r\nDuplicate names: 3\r\nNew names imported: 2");

    Lines roster = Section("news", "MemberList");
    ASSERT_EQ(roster.size(), 3u);
    EXPECT_THAT(roster[0], MatchesRegex("amy@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_EQ(roster[1], "bob@example.test 1 222222");
    EXPECT_THAT(roster[2], MatchesRegex("carl@example\\.test 0 [1-9][0-9]{5}"));
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26 + imported 2"));
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) + "news:   imported 2"));
    EXPECT_EQ(FillRoster(services, "news").total, 3u);
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));
}

TEST(ImportedAddressTest, NameAndAddressAndSeparatedFieldsGiveTheAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"  Ann@Example.TEST ", "ann@example.test"},
        {"Ann Smith <Ann@Example.test>", "ann@example.test"},
        {"\"Smith, Ann\" <ann@example.test>", "ann@example.test"},
        {"ann@example.test,Ann Smith,2024-01-01", "ann@example.test"},
        {"\"ann@example.test\";Ann", "ann@example.test"},
        {"ann@example.test ; x", "ann@example.test"},
        {"Ann <unclosed@example.test", "ann <unclosed@example.test"},
        {"", ""},
    };
    for (const auto& [line, address] : cases) {
        EXPECT_EQ(ImportedAddress(line), address) << line;
    }
}

// Every line that adds nobody is named with its number and reason; the counts stay.
TEST_F(ImportExportTest, RefusedLinesAreNamedWithNumberAndReason) {
    SetSection("news", "MemberList", {"bob@example.test 0 222222"});
    const std::string file = dir.File("in.csv");
    Spit(file,
         "Amy <amy@example.test>\r\n"
         "bob@example.test,Bob\r\n"
         "\r\n"
         "nobody at all\x1b[2J\r\n"
         "amy@example.test;again\r\n");
    ImportCounts counts;
    ASSERT_TRUE(ImportMembers(services, "news", file, &counts).ok);
    EXPECT_EQ(counts.added, 1);
    EXPECT_EQ(counts.invalid, 2);
    EXPECT_EQ(counts.duplicate, 2);
    ASSERT_EQ(counts.refused.size(), 4u);
    const std::vector<std::tuple<int, std::string, std::string>> expected = {
        {2, "bob@example.test,Bob", "already a member"},
        {3, "", "empty"},
        {4, "nobody at all?[2J", "not a valid email address"},
        {5, "amy@example.test;again", "repeats line 1"},
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(counts.refused[i].number, std::get<0>(expected[i]));
        EXPECT_EQ(counts.refused[i].text, std::get<1>(expected[i]));
        EXPECT_EQ(counts.refused[i].reason, std::get<2>(expected[i]));
    }
}

TEST_F(ImportExportTest, ImportSurvivesBinaryGarbage) {
    std::string bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes += static_cast<char>((i * 131 + 7) % 256);
    }
    bytes += "\r\n";
    bytes += std::string("ok@example.test\r", 16);            // CR-only line end
    bytes += "x@y.z" + std::string(1, '\0') + "q\r";          // NUL inside: refused
    bytes += std::string(200000, 'a') + "@example.test\r\n";  // very long line
    bytes += "last@example.test";                             // no line end at all
    const std::string file = dir.File("garbage.bin");
    Spit(file, bytes);

    ImportCounts counts;
    ASSERT_TRUE(ImportMembers(services, "news", file, &counts).ok);
    RosterView view = FillRoster(services, "news");
    std::vector<std::string> addresses;
    for (const auto& entry : view.entries) {
        addresses.push_back(entry.address);
    }
    EXPECT_THAT(addresses, ::testing::IsSupersetOf({"ok@example.test", "last@example.test"}));
    for (const auto& entry : view.entries) {
        // Every stored entry still reads back as address, flag, six-digit password.
        EXPECT_THAT(entry.line, MatchesRegex("[^ ]+ 0 [1-9][0-9]{5}"));
        for (char c : entry.address) {
            EXPECT_GE(static_cast<unsigned char>(c), 0x21);
        }
        EXPECT_LE(entry.address.size(), 254u);
    }
    EXPECT_EQ(static_cast<size_t>(counts.added), view.total);
    EXPECT_GT(counts.invalid, 0);
}

TEST_F(ImportExportTest, ExportThenImportReportsEveryAddressAsDuplicate) {
    SetSection(
        "news", "MemberList",
        {"carl@example.test 0 333333", "amy@example.test 0 111111", "bob@example.test 1 222222"});
    const std::string file = dir.File("out.txt");
    ASSERT_TRUE(ExportMembers(services, "news", file).ok);
    EXPECT_EQ(Slurp(file), "amy@example.test\r\nbob@example.test\r\ncarl@example.test\r\n");
    EXPECT_THAT(Section("news", "Latest_Actions"), ElementsAre("03/09/26   exported to " + file));
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) + "news:   exported to " + file));

    ActionResult result = ImportMembers(services, "news", file);
    EXPECT_EQ(result.message, "Invalid names: 0\r\nDuplicate names: 3\r\nNew names imported: 0");
    EXPECT_THAT(Section("news", "MemberList"),
                ElementsAre("amy@example.test 0 111111", "bob@example.test 1 222222",
                            "carl@example.test 0 333333"));
    EXPECT_EQ(Section("news", "Latest_Actions")[0], "03/09/26 + imported 0");
}

TEST_F(ImportExportTest, MissingFilesAndUnknownListsChangeNothing) {
    SetSection("news", "MemberList", {"bob@example.test 1 222222"});
    EXPECT_THROW(ImportMembers(services, "news", dir.File("absent.txt")), Failure);
    EXPECT_THROW(ExportMembers(services, "news", dir.File("no/such/folder/out.txt")), Failure);
    EXPECT_FALSE(ImportMembers(services, "other", dir.File("absent.txt")).ok);
    EXPECT_FALSE(ExportMembers(services, "other", dir.File("out.txt")).ok);
    EXPECT_THAT(Section("news", "MemberList"), ElementsAre("bob@example.test 1 222222"));
    EXPECT_TRUE(Section("news", "Latest_Actions").empty());
    EXPECT_TRUE(LogLines().empty());
}

}  // namespace
}  // namespace corvanteer::testing
