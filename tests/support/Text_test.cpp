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

}  // namespace
}  // namespace corvanteer
