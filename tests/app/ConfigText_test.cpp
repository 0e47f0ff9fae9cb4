#include "app/ConfigText.h"

#include <gmock/gmock.h>

namespace corvanteer {
namespace {

using ::testing::ElementsAre;

TEST(ConfigTextTest, BlocksAndNamesAreSortedAndAwkwardValuesSurviveTheRoundTrip) {
    ConfigText config;
    config.globals = {{"SessionInterval", "15"}, {"ListServerAddress", "lists@example.org"}};
    ConfigList news{"news", {}, {}};
    news.settings = {
        {"VerifySubject", "  padded  "},
        {"Moderators", "ann@example.org\r\nbob@example.org"},
        {"ListTo", "\"quoted\" start"},
        {"ErrorsTo", ""},
        {"ChangeSenderEmailTo",
         "back\\slash and Gr\xC3\xBC\xC3\x9F"
         "e \xE9t\xE9"},
    };
    news.sections = {{"Signature", {"-- ", "", "The news list"}},
                     {"ExtraHeaders", {"X-List: news", "\x01odd"}}};
    config.lists = {news, {"Default List", {{"AllowPostBy", "1"}}, {}}};

    const std::string text = FormatConfig(config);
    EXPECT_EQ(text,
              "# Corvanteer configuration: `corvanteer-cli config import FILE` applies it.\n"
              "\n[global]\n"
              "ListServerAddress = lists@example.org\n"
              "SessionInterval = 15\n"
              "\n[list \"Default List\"]\n"
              "AllowPostBy = 1\n"
              "\n[list \"news\"]\n"
              "ChangeSenderEmailTo = back\\\\slash and Gr\xC3\xBC\xC3\x9F"
              "e \\xE9t\\xE9\n"
              "ErrorsTo =\n"
              "ListTo = \"\\\"quoted\\\" start\"\n"
              "Moderators = ann@example.org\\r\\nbob@example.org\n"
              "VerifySubject = \"  padded  \"\n"
              "\n[list \"news\" section \"ExtraHeaders\"]\n"
              "|X-List: news\n"
              "|\\x01odd\n"
              "\n[list \"news\" section \"Signature\"]\n"
              "|-- \n"
              "|\n"
              "|The news list\n");

    const ParsedConfig parsed = ParseConfig(text);
    EXPECT_THAT(parsed.problems, ElementsAre());
    EXPECT_EQ(FormatConfig(parsed.config), text);
    ASSERT_EQ(parsed.config.lists.size(), 2u);
    const ConfigList& back = parsed.config.lists[1];
    EXPECT_EQ(back.name, "news");
    EXPECT_EQ(back.settings[4].value, "  padded  ");
    EXPECT_EQ(back.settings[4].line, 15);
    EXPECT_EQ(back.sections[1].lines, (Lines{"-- ", "", "The news list"}));
}

TEST(ConfigTextTest, HandWrittenTextIsReadAndEveryFaultIsNamedWithItsLine) {
    const ParsedConfig fine = ParseConfig(
        "  # a comment\r\n[ global ]\r\n  SessionInterval=20  \r\n\r\n[list \"news\"]\r\n"
        "AllowPostBy =  2\r\n");
    EXPECT_THAT(fine.problems, ElementsAre());
    EXPECT_EQ(fine.config.globals[0].value, "20");
    EXPECT_EQ(fine.config.lists[0].settings[0].value, "2");

    const ParsedConfig bad = ParseConfig(
        "Orphan = 1\n"                     // 1
        "[global]\n"                       // 2
        "SessionInterval = 1\n"            // 3
        "sessioninterval = 2\n"            // 4
        "no equals sign\n"                 // 5
        "Name = bad\\q escape\n"           // 6
        "Name2 = \"open\n"                 // 7
        "[global]\n"                       // 8
        "[lists \"x\"]\n"                  // 9
        "[list \"news\" section \"A\"]\n"  // 10
        "Setting = 1\n"                    // 11
        "|caf\xE9\n"                       // 12
        "[list \"news\" section \"a\"]\n"  // 13
        "[list news]\n");                  // 14
    EXPECT_THAT(bad.problems,
                ElementsAre("line 1: a setting outside a block ([global] or [list \"NAME\"])",
                            "line 4: sessioninterval is given twice in this block",
                            "line 5: NAME = VALUE expected", "line 6: unknown escape \\q",
                            "line 7: a double quote is not closed", "line 8: [global] given twice",
                            "line 9: unknown block (write [global], [list \"NAME\"] or [list "
                            "\"NAME\" section \"SECTION\"])",
                            "line 11: a section's lines begin with |",
                            "line 12: not UTF-8 (write other bytes as \\xHH)",
                            "line 13: the section \"a\" of \"news\" is given twice",
                            "line 14: a name in double quotes was expected"));
}

}  // namespace
}  // namespace corvanteer
