#include "support/Text.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(SplitString, PartsAndCount) {
    auto r = SplitString("a b  c ", " ");
    EXPECT_EQ(r.count, 5);
    EXPECT_EQ(r.Part(1), "a");
    EXPECT_EQ(r.Part(3), "");
    EXPECT_EQ(r.Part(4), "c");
    EXPECT_EQ(r.Part(5), "");
    EXPECT_EQ(r.Part(6), "");  // beyond the last part
    EXPECT_EQ(SplitString("abc", "").count, -1);
    EXPECT_EQ(SplitString("abc", ",").count, 1);
}

TEST(ReplaceAll, NeverRescansInsertedText) {
    EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(ReplaceAll("xaxa", "a", ""), "xx");
}

TEST(TextToLines, LineBreakForms) {
    EXPECT_TRUE(TextToLines("").empty());
    EXPECT_EQ(TextToLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(TextToLines("a\r\n\r\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(TextToLines("a\nb\rc"), (Lines{"a", "b", "c"}));
}

TEST(SplitString, SeparatorAtTheEdgesAndLongSeparators) {
    auto r = SplitString(",a,", ",");
    EXPECT_EQ(r.count, 3);
    EXPECT_EQ(r.Part(1), "");
    EXPECT_EQ(r.Part(2), "a");
    EXPECT_EQ(r.Part(3), "");
    auto crlf = SplitString("x\r\ny\r\n", "\r\n");
    EXPECT_EQ(crlf.count, 3);
    EXPECT_EQ(crlf.Part(2), "y");
    EXPECT_EQ(SplitString("", " ").count, 1);
}

TEST(ReplaceAll, EmptyPatternsAndOverlaps) {
    EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
    EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
    EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_EQ(ReplaceAll("{ListName}{ListName}", "{ListName}", "{ListName}!"),
              "{ListName}!{ListName}!");
    EXPECT_EQ(ReplaceAll("Case", "case", "x"), "Case");
}

TEST(CollapseSpaces, TabsAndRuns) {
    EXPECT_EQ(CollapseSpaces("\t   "), " ");
    EXPECT_EQ(CollapseSpaces("  a \t b\t\t"), " a b ");
    EXPECT_EQ(CollapseSpaces("a\r\n  b"), "a\r\n b");
}

TEST(ZeroPad, SignCountsAsACharacter) {
    EXPECT_EQ(ZeroPad(5, 2), "05");
    EXPECT_EQ(ZeroPad(123, 2), "123");
    EXPECT_EQ(ZeroPad(-5, 3), "0-5");
    EXPECT_EQ(ZeroPad(0, 0), "0");
}

TEST(Trim, BlanksAndControlCharacters) {
    EXPECT_EQ(Trim(" \t\r\na b\x01 "), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a \r\n"), "  a");
    EXPECT_EQ(Trim("\xa0x\xa0"), "\xa0x\xa0");  // bytes above 127 are text
}

TEST(CaseRoutines, AsciiLettersOnly) {
    EXPECT_EQ(LowerCase("AbC\xc4@"), "abc\xc4@");
    EXPECT_EQ(UpperCase("aBc\xe4"), "ABC\xe4");
    EXPECT_TRUE(SameText("MemberList", "memberLIST"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_FALSE(SameText("\xc4", "\xe4"));
    EXPECT_TRUE(StartsWithText("SUBSCRIBE news", "subs"));
    EXPECT_FALSE(StartsWithText("sub", "subs"));
    EXPECT_TRUE(StartsWith("abc", ""));
    EXPECT_FALSE(StartsWith("ab", "abc"));
    EXPECT_TRUE(EndsWith("file.TMP", ".TMP"));
    EXPECT_FALSE(EndsWith("file.TMP", ".tmp"));
    EXPECT_TRUE(Contains("abc", "bc"));
}

TEST(BeforeAfter, FirstOccurrence) {
    EXPECT_EQ(Before("a:b:c", ":"), "a");
    EXPECT_EQ(After("a:b:c", ":"), "b:c");
    EXPECT_EQ(Before("abc", ":"), "abc");
    EXPECT_EQ(After("abc", ":"), "");
}

TEST(LinesToText, EveryLineEndsWithCrLf) {
    EXPECT_EQ(LinesToText({}), "");
    EXPECT_EQ(LinesToText({""}), "\r\n");
    EXPECT_EQ(LinesToText({"a", "b"}), "a\r\nb\r\n");
    EXPECT_EQ(JoinLines({"a", "b"}), "a\r\nb");
    EXPECT_EQ(JoinLines({"a", "b"}, ","), "a,b");
    EXPECT_EQ(JoinLines({}), "");
}

TEST(AppendCrLf, EntriesAndTextsBecomeCrLfLines) {
    const struct {
        const char* text;
        const char* asLine;   // AppendCrLfLine: one entry, every break inside it kept
        const char* asLines;  // AppendCrLfLines: the lines of TextToLines
    } cases[] = {
        {"", "\r\n", ""},
        {"a", "a\r\n", "a\r\n"},
        {"a\r\n", "a\r\n\r\n", "a\r\n"},
        {"a\nb\rc\r\n\r\n", "a\r\nb\r\nc\r\n\r\n\r\n", "a\r\nb\r\nc\r\n\r\n"},
        {"\r\r\n", "\r\n\r\n\r\n", "\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string line = "x";
        AppendCrLfLine(line, c.text);
        EXPECT_EQ(line, std::string("x") + c.asLine);
        std::string lines;
        AppendCrLfLines(lines, c.text);
        EXPECT_EQ(lines, c.asLines);
        EXPECT_EQ(lines, LinesToText(TextToLines(c.text)));
    }
}

TEST(OneLineText, ControlBytesShownAndLongTextCut) {
    const struct {
        std::string text;
        std::size_t max;
        std::string shown;
    } cases[] = {
        {"250 OK\r\nfake line\x1b[2J", 300, "250 OK??fake line?[2J"},
        {std::string("a\0b\x7f", 4), 300, "a?b?"},
        {"abcdef", 3, "abc..."},
        {"abc", 3, "abc"},
        {"\xC3\xB6\xC3\xB6\xC3\xB6", 2, "\xC3\xB6\xC3\xB6..."},  // never inside a UTF-8 sequence
        {"", 300, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.shown, OneLineText(c.text, c.max)) << c.text;
    }
    EXPECT_EQ(303u, OneLineText(std::string(1000000, 'x')).size());
}

TEST(TryParseInt, WholeNumbersIn32Bits) {
    int v = 7;
    EXPECT_TRUE(TryParseInt(" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryParseInt("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(TryParseInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TryParseInt("-2147483648", v));
    EXPECT_EQ(v, -2147483647 - 1);
    v = 7;
    for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999999", "", "-", "1 2",
                            "0x10", "+-1", "12a", "1.5"}) {
        EXPECT_FALSE(TryParseInt(bad, v)) << bad;
        EXPECT_EQ(v, 7) << bad;
    }
    EXPECT_EQ(StrToIntDef("x", -1), -1);
    EXPECT_EQ(StrToIntDef("110", -1), 110);
}

}  // namespace
}  // namespace corvanteer
