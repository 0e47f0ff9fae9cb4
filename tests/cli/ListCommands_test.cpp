// lists, lists add|delete, section get|set.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class ListCommandsTest : public CliTest {};

TEST_F(ListCommandsTest, WithoutListsTheDefaultListStandsAlone) {
    CliResult r = Run({"lists"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Default List\n");
}

TEST_F(ListCommandsTest, AddTurnsBlanksIntoUnderscoresAndCreatesTheKeyAtOnce) {
    CliResult r = Run({"lists", "add", "my list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "my_list\n");
    EXPECT_TRUE(Store().KeyExists(paths.ListKey("my_list")));
    ASSERT_EQ(Run({"lists", "add", "alpha"}).status, 0);
    EXPECT_EQ(Run({"lists"}).out, "alpha\nmy_list\n");
}

TEST_F(ListCommandsTest, AddCopiesTheDefaultListsDataFileAsModel) {
    WriteSection(DataFile("Default List"), "Signature", {"-- ", "The model"});
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    EXPECT_THAT(Section("news", "Signature"), ElementsAre("-- ", "The model"));
}

TEST_F(ListCommandsTest, AddRefusesNamesInUseAndNamesThatCannotNameAFile) {
    ASSERT_EQ(Run({"lists", "add", "my list"}).status, 0);
    const std::string before = Fingerprint();
    CliResult taken = Run({"lists", "add", "MY LIST"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err, "corvanteer-cli: The name already exists. Please select a new one.\n");
    for (const char* bad : {"", "   ", "a/b", "a\\b", "..", ".", "tab\there"}) {
        CliResult r = Run({"lists", "add", bad});
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(Fingerprint(), before);
    EXPECT_EQ(Run({"lists"}).out, "my_list\n");
}

TEST_F(ListCommandsTest, DeleteRemovesKeyAndDataFileButNeverTheModel) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    WriteSection(DataFile("news"), "MemberList", {"a@example.test 0 123456"});
    WriteSection(DataFile("Default List"), "Signature", {"model"});
    // "Default List" names a list only while no other list exists.
    EXPECT_EQ(Run({"config", "set", "VerifyDays", "3", "--list", "Default List"}).status, 1);

    EXPECT_EQ(Run({"lists", "delete", "NEWS"}).status, 0);
    EXPECT_FALSE(Store().KeyExists(paths.ListKey("news")));
    EXPECT_FALSE(FileExists(DataFile("news")));
    EXPECT_EQ(Run({"lists"}).out, "Default List\n");

    ASSERT_EQ(Run({"config", "set", "VerifyDays", "3", "--list", "Default List"}).status, 0);
    EXPECT_TRUE(Store().KeyExists(paths.ListKey("Default List")));
    EXPECT_EQ(Run({"lists", "delete", "Default List"}).status, 0);
    EXPECT_FALSE(Store().KeyExists(paths.ListKey("Default List")));
    EXPECT_TRUE(FileExists(DataFile("Default List")));

    CliResult r = Run({"lists", "delete", "news"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvanteer-cli: There is no list named \"news\".\n");
}

TEST_F(ListCommandsTest, SectionSetReadsAFileWithLfOrCrLfLineEnds) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    Spit(home.File("lf.txt"), "-- \nBest wishes\n\nThe news team\n");
    ASSERT_EQ(Run({"section", "set", "news", "Signature", home.File("lf.txt")}).status, 0);
    EXPECT_THAT(Section("news", "Signature"),
                ElementsAre("-- ", "Best wishes", "", "The news team"));

    Spit(home.File("crlf.txt"), "X-List: news\r\nX-Mood: fine\r\n");
    ASSERT_EQ(Run({"section", "set", "news", "extraheaders", home.File("crlf.txt")}).status, 0);
    EXPECT_THAT(Section("news", "ExtraHeaders"), ElementsAre("X-List: news", "X-Mood: fine"));
    // The data file keeps its CR LF form whatever the input had.
    const std::string bytes = Slurp(DataFile("news"));
    EXPECT_THAT(bytes, HasSubstr("[Signature]\r\n-- \r\nBest wishes\r\n\r\nThe news team\r\n"));
    EXPECT_THAT(bytes, HasSubstr("[ExtraHeaders]\r\nX-List: news\r\nX-Mood: fine\r\n"));
}

TEST_F(ListCommandsTest, SectionSetReadsStandardInputWithEitherLineEnd) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(
        Run({"section", "set", "news", "BlackList"}, "spam@example.test\r\nbad@x.test\r\n").status,
        0);
    EXPECT_THAT(Section("news", "BlackList"), ElementsAre("spam@example.test", "bad@x.test"));
    ASSERT_EQ(Run({"section", "set", "news", "BlackList", "-"}, "one@x.test\ntwo@x.test").status,
              0);
    EXPECT_THAT(Section("news", "BlackList"), ElementsAre("one@x.test", "two@x.test"));

    CliResult got = Run({"section", "get", "NEWS", "blacklist"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "one@x.test\ntwo@x.test\n");
    // An absent section prints nothing (a new list's answers come from "Default List").
    EXPECT_EQ(Run({"section", "get", "news", "Signature"}).out, "");
    // The help text the scan answers "help LIST" with is a template like the others.
    ASSERT_EQ(Run({"section", "set", "news", "help"}, "Write to {ListAddress}.\n").status, 0);
    EXPECT_EQ(Run({"section", "get", "news", "Help"}).out, "Write to {ListAddress}.\n");
}

TEST_F(ListCommandsTest, SectionBadInputWritesNothing) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(Run({"section", "set", "news", "Signature"}, "kept\n").status, 0);
    const std::string before = Fingerprint();

    CliResult missing = Run({"section", "set", "news", "Signature", home.File("absent.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("absent.txt"));
    EXPECT_EQ(OutputLines(missing.err).size(), 1u);

    CliResult unknownList = Run({"section", "set", "nosuch", "Signature"}, "x\n");
    EXPECT_EQ(unknownList.status, 1);
    EXPECT_EQ(unknownList.err, "corvanteer-cli: There is no list named \"nosuch\".\n");

    CliResult unknownSection = Run({"section", "set", "news", "Signatur"}, "x\n");
    EXPECT_EQ(unknownSection.status, 2);
    EXPECT_EQ(OutputLines(unknownSection.err).size(), 1u);
    EXPECT_EQ(Run({"section", "get", "news", "[Signature]"}).status, 2);

    EXPECT_EQ(Fingerprint(), before);
}

}  // namespace
}  // namespace corvanteer::testing
