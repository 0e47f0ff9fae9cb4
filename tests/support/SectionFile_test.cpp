#include "support/SectionFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/TempDir.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::Slurp;
using testing::Spit;
using testing::TempDir;

// A file as written by the section routines: three sections with gaps between them.
const std::string kThreeSections =
    "[Signature]\r\n-- \r\nsig\r\n\r\n####\r\n"
    "\r\n[memberlist]\r\na@x.org 0 111\r\nb@x.org 1 222\r\n\r\n####\r\n"
    "\r\n[Latest_Actions]\r\n01/02/26 + a@x.org\r\n\r\n####\r\n";

class SectionFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string file = dir.File("news.dat");
};

TEST_F(SectionFileTest, MissingFileReadsEmptyAndIsCreatedWithoutLeadingEmptyLine) {
    EXPECT_EQ(ReadSection(file, "MemberList"), "");
    WriteSection(file, "MemberList", {"a@x.org 0 1", "b@x.org 0 2"});
    EXPECT_EQ(Slurp(file), "[MemberList]\r\na@x.org 0 1\r\nb@x.org 0 2\r\n\r\n####\r\n");
    // The empty line before "####" leaves a final break, which turning text into lines drops.
    EXPECT_EQ(ReadSection(file, "MemberList"), "a@x.org 0 1\r\nb@x.org 0 2\r\n");
    EXPECT_EQ(TextToLines(ReadSection(file, "MemberList")), (Lines{"a@x.org 0 1", "b@x.org 0 2"}));
}

TEST_F(SectionFileTest, HeaderNamesCompareWithoutCaseAndIgnoreTextAfterBracket) {
    Spit(file,
         "[MEMBERLIST] roster\r\nm@x.org 0 1\r\n\r\n####\r\n"
         "[latest_actions]\r\nx\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "MemberList"), "m@x.org 0 1\r\n");
    EXPECT_EQ(ReadSection(file, "LATEST_Actions"), "x");
    EXPECT_EQ(ReadSection(file, "Member"), "");  // a prefix of a name is not the name
}

TEST_F(SectionFileTest, FirstMatchingHeaderWins) {
    Spit(file, "[A]\r\none\r\n####\r\n[a]\r\ntwo\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "a"), "one");
    WriteSection(file, "a", {"new"});
    EXPECT_EQ(Slurp(file), "[A]\r\nnew\r\n\r\n####\r\n[a]\r\ntwo\r\n####\r\n");
}

TEST_F(SectionFileTest, ReplacingMiddleSectionKeepsNeighboursByteForByte) {
    Spit(file, kThreeSections);
    WriteSection(file, "MemberList", {"c@x.org 0 333"});
    EXPECT_EQ(Slurp(file),
              "[Signature]\r\n-- \r\nsig\r\n\r\n####\r\n"
              "\r\n[memberlist]\r\nc@x.org 0 333\r\n\r\n####\r\n"  // header keeps its spelling
              "\r\n[Latest_Actions]\r\n01/02/26 + a@x.org\r\n\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "Signature"), "-- \r\nsig\r\n");
    EXPECT_EQ(ReadSection(file, "Latest_Actions"), "01/02/26 + a@x.org\r\n");
}

TEST_F(SectionFileTest, MissingSectionIsAppendedAfterOneEmptyLineWithCallersSpelling) {
    Spit(file, kThreeSections);
    WriteSection(file, "Subscribe_Verify", {"Hello {ListName}"});
    EXPECT_EQ(Slurp(file),
              kThreeSections + "\r\n[Subscribe_Verify]\r\nHello {ListName}\r\n\r\n####\r\n");
}

TEST_F(SectionFileTest, AppendingToFileWithoutFinalLineBreakEndsThatLineFirst) {
    Spit(file, "[A]\r\nx\r\n####");
    WriteSection(file, "B", {"y"});
    EXPECT_EQ(Slurp(file), "[A]\r\nx\r\n####\r\n\r\n[B]\r\ny\r\n\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "A"), "x");
    EXPECT_EQ(ReadSection(file, "B"), "y\r\n");
}

TEST_F(SectionFileTest, EmptyListWritesHeaderEmptyLineTerminatorAndReadsEmpty) {
    WriteSection(file, "Blacklist", {});
    EXPECT_EQ(Slurp(file), "[Blacklist]\r\n\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "Blacklist"), "");
}

TEST_F(SectionFileTest, ReadBackGivesTheWrittenLinesWhenTheLastIsNotEmpty) {
    Spit(file, kThreeSections);
    const Lines lines{"", "  indented  ", "tab\there", "last"};
    WriteSection(file, "Signature", lines);
    EXPECT_EQ(TextToLines(ReadSection(file, "Signature")), lines);
    EXPECT_EQ(ReadSection(file, "Signature"), "\r\n  indented  \r\ntab\there\r\nlast\r\n");
}

TEST_F(SectionFileTest, MissingTerminatorExtendsToEndOfFile) {
    Spit(file, "[A]\r\na1\r\n####\r\n[B]\r\nb1\r\nb2\r\n[C]\r\nc1");
    EXPECT_EQ(ReadSection(file, "B"), "b1\r\nb2\r\n[C]\r\nc1");
    WriteSection(file, "B", {"new"});
    // Nothing after the unterminated section survives its replacement.
    EXPECT_EQ(Slurp(file), "[A]\r\na1\r\n####\r\n[B]\r\nnew\r\n\r\n####\r\n");
}

TEST_F(SectionFileTest, HeaderOnLastLineReadsEmptyAndIsCompletedInPlace) {
    for (const std::string& ending : {std::string("\r\n"), std::string()}) {
        Spit(file, "[A]\r\na\r\n####\r\n[MemberList]" + ending);
        EXPECT_EQ(ReadSection(file, "memberlist"), "");
        WriteSection(file, "memberlist", {"m@x.org 0 1"});
        // One header only: reading it back gives exactly the written member.
        EXPECT_EQ(Slurp(file), "[A]\r\na\r\n####\r\n[MemberList]\r\nm@x.org 0 1\r\n\r\n####\r\n");
        EXPECT_EQ(ReadSection(file, "MemberList"), "m@x.org 0 1\r\n");
    }
}

TEST_F(SectionFileTest, TerminatorMustBeExact) {
    Spit(file, "[A]\r\n#### \r\n ####\r\n#####\r\n####\r\nafter\r\n");
    EXPECT_EQ(ReadSection(file, "A"), "#### \r\n ####\r\n#####");
}

TEST_F(SectionFileTest, LoneCarriageReturnStaysInsideItsLine) {
    Spit(file, "[A]\r\nx\ry\r\n####\r\n[B]\r\nold\r\n####\r\nz\rw\r\n");
    EXPECT_EQ(ReadSection(file, "A"), "x\ry");
    WriteSection(file, "B", {"new"});
    EXPECT_EQ(Slurp(file), "[A]\r\nx\ry\r\n####\r\n[B]\r\nnew\r\n\r\n####\r\nz\rw\r\n");
}

TEST_F(SectionFileTest, BareLineFeedsAreReadAndRewrittenAsCrLf) {
    Spit(file, "[A]\nx\n####\n\n[B]\nold\n####\ntail");
    EXPECT_EQ(ReadSection(file, "A"), "x");
    WriteSection(file, "B", {"new"});
    EXPECT_EQ(Slurp(file), "[A]\r\nx\r\n####\r\n\r\n[B]\r\nnew\r\n\r\n####\r\ntail\r\n");
}

TEST_F(SectionFileTest, NulAndHighBytesSurvive) {
    const std::string odd = std::string("a\0b", 3) + "\xff\xfe\x80 caf\xe9";
    Spit(file, "[A]\r\n" + odd + "\r\n####\r\n[B]\r\nold\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "A"), odd);
    WriteSection(file, "B", {odd});
    EXPECT_EQ(Slurp(file), "[A]\r\n" + odd + "\r\n####\r\n[B]\r\n" + odd + "\r\n\r\n####\r\n");
}

TEST_F(SectionFileTest, MegabyteLinesAreKeptWhole) {
    const std::string big(1 << 20, 'q');
    Spit(file, "[A]\r\n" + big + "\r\n####\r\n[B]\r\n####\r\n");
    WriteSection(file, "B", {big + "!"});
    EXPECT_EQ(ReadSection(file, "A"), big);
    EXPECT_EQ(ReadSection(file, "B"), big + "!\r\n");
}

TEST_F(SectionFileTest, BigSectionsReadTheSameWhateverTheirLineEnds) {
    // A section that fills most of the file is taken from the file's bytes directly unless a
    // line in it ends with LF alone; both routes must give the same lines.
    const std::string roster = "a@x.org 0 1\r\nb@x.org 0 2\r\nc@x.org 0 3";
    Spit(file, "[M]\r\n" + roster + "\r\n\r\n####\r\n");
    EXPECT_EQ(ReadSection(file, "M"), roster + "\r\n");
    Spit(file, "[M]\r\n" + roster);  // no terminator, no final break
    EXPECT_EQ(ReadSection(file, "M"), roster);
    Spit(file, "[M]\r\n" + roster + "\r");  // a final lone CR belongs to the line
    EXPECT_EQ(ReadSection(file, "M"), roster + "\r");
    Spit(file, "[M]\r\na@x.org 0 1\nb@x.org 0 2\r\nc@x.org 0 3\n####\r\n");
    EXPECT_EQ(ReadSection(file, "M"), roster);
    Spit(file, "[M]\r\n\nb@x.org 0 2\r\nc@x.org 0 3\r\n");
    EXPECT_EQ(ReadSection(file, "M"), "\r\nb@x.org 0 2\r\nc@x.org 0 3");
}

TEST_F(SectionFileTest, LinesBetweenSectionsPassThrough) {
    Spit(file, "junk before\r\n[A]\r\nx\r\n####\r\n; note\r\n\r\n\r\n[B]\r\ny\r\n####\r\n");
    WriteSection(file, "A", {"z"});
    EXPECT_EQ(Slurp(file),
              "junk before\r\n[A]\r\nz\r\n\r\n####\r\n; note\r\n\r\n\r\n[B]\r\ny\r\n####\r\n");
}

TEST_F(SectionFileTest, ExistingEmptyFileGetsTheAppendForm) {
    Spit(file, "");
    WriteSection(file, "A", {"x"});
    EXPECT_EQ(Slurp(file), "\r\n[A]\r\nx\r\n\r\n####\r\n");
}

TEST_F(SectionFileTest, ReplacementLeavesNoTemporaryFilesAndKeepsPermissions) {
    Spit(file, kThreeSections);
    ::chmod(file.c_str(), 0600);
    WriteSection(file, "memberlist", {"z@x.org 0 9"});
    WriteSection(file, "Other", {"o"});
    size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_EQ(entry.path().filename(), "news.dat");
        ++entries;
    }
    EXPECT_EQ(entries, 1u);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SectionFileTest, IoErrorsRaiseAndLeaveTheFileAlone) {
    std::filesystem::create_directory(file);  // a folder where the file should be
    EXPECT_THROW(ReadSection(file, "A"), Failure);
    EXPECT_THROW(WriteSection(file, "A", {"x"}), Failure);
    EXPECT_THROW(WriteSection(dir.File("missing/news.dat"), "A", {"x"}), Failure);
}

// What a backup's restore refuses: a data file cut short.
TEST(SectionFileDefect, WholeFilesPassAndCutOnesAreNamed) {
    const std::string whole =
        "[MemberList]\r\na@x.y 0 1\r\n\r\n####\r\n\r\n[Signature]\r\n\r\n####\r\n";
    EXPECT_EQ(SectionFileDefect(whole), "");
    EXPECT_EQ(SectionFileDefect("stray line\n[A]\n[B] is content\n####\n"), "");
    struct Case {
        std::string bytes;
        std::string defect;
    };
    const Case cases[] = {
        {"", "it is empty"},
        {whole.substr(0, whole.size() - 1), "its last line is cut off"},
        {whole.substr(0, 27), "the section [MemberList] has no \"####\" line"},
        {whole.substr(0, whole.size() - 8), "the section [Signature] has no \"####\" line"},
        {"[A] note\r\n##\r\n", "the section [A] has no \"####\" line"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SectionFileDefect(c.bytes), c.defect) << c.bytes;
    }
}

}  // namespace
}  // namespace corvanteer
