#include "support/WordWrap.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(WordWrapTest, WordsFillLinesUpToTheWidth) {
    struct Case {
        const char* text;
        std::size_t width;
        Lines lines;
    };
    const Case cases[] = {
        {"", 10, {}},
        {" \n\t ", 10, {}},
        {"one two three", 7, {"one two", "three"}},
        {"one two three", 13, {"one two three"}},
        // Any run of blanks and line breaks is one gap.
        {"one\r\n  two", 40, {"one two"}},
        // A word wider than the line stands alone, uncut.
        {"a verylongword b", 5, {"a", "verylongword", "b"}},
        // A UTF-8 sequence is one column: "für" is three wide.
        {"für für", 7, {"für für"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WrapWords(c.text, c.width), c.lines) << c.text << " at " << c.width;
    }
}

TEST(WordWrapTest, IndentsCountTowardsTheWidth) {
    EXPECT_EQ(WrapIndented("alpha beta gamma delta", 14, "  - ", "    "),
              "  - alpha beta\n    gamma\n    delta\n");
    EXPECT_EQ(WrapIndented("", 14, "  - ", "    "), "");
}

}  // namespace
}  // namespace corvanteer
