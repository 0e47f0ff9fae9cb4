#include "support/Address.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(IsValidEmail, OnlyShapeIsChecked) {
    EXPECT_TRUE(IsValidEmail("joe@example.org"));
    EXPECT_TRUE(IsValidEmail("j.oe@localhost"));     // the only dot before the at sign
    EXPECT_TRUE(IsValidEmail("<joe@example.org>"));  // other characters are allowed
    EXPECT_TRUE(IsValidEmail("a@@b.c"));
    EXPECT_FALSE(IsValidEmail("@example.org"));   // at sign first
    EXPECT_FALSE(IsValidEmail("joe@localhost"));  // no dot
    EXPECT_FALSE(IsValidEmail(".joe@example"));   // first dot first
    EXPECT_FALSE(IsValidEmail("joe @example.org"));
    EXPECT_FALSE(IsValidEmail("joe@example.org "));
    EXPECT_FALSE(IsValidEmail("joe.example.org"));
    EXPECT_FALSE(IsValidEmail(""));
}

TEST(ExtractEmail, FindsTheFirstAddressLikeToken) {
    EXPECT_EQ(ExtractEmail("\"Joe Bloggs\" <Joe@Example.org>"), "Joe@Example.org");
    EXPECT_EQ(ExtractEmail("joe@example.org (Joe Bloggs)"), "joe@example.org");
    EXPECT_EQ(ExtractEmail("joe@example.org"), "joe@example.org");
    EXPECT_EQ(ExtractEmail("Joe <joe@x.org>, Ann <ann@x.org>"), "joe@x.org");
    EXPECT_EQ(ExtractEmail("[joe@x.org]{a}`b'"), "joe@x.org");
    EXPECT_EQ(ExtractEmail("'joe@x.org'"), "joe@x.org");
}

TEST(ExtractEmail, EmptyWhenNoTokenHasAnAtSignAfterItsStart) {
    EXPECT_EQ(ExtractEmail(""), "");
    EXPECT_EQ(ExtractEmail(" \t\r\n"), "");
    EXPECT_EQ(ExtractEmail("Joe Bloggs"), "");
    EXPECT_EQ(ExtractEmail("<@example.org>"), "");  // the only at sign starts its token
    EXPECT_EQ(ExtractEmail("@x @y"), "");
}

TEST(ExtractEmail, CutsOnlyAtSingleSpaces) {
    // A tab is not a separator, so it stays in the token it touches.
    EXPECT_EQ(ExtractEmail("Joe\tjoe@x.org"), "Joe\tjoe@x.org");
    EXPECT_EQ(ExtractEmail("Joe  <joe@x.org>"), "joe@x.org");
}

// The member gate: what no mail server takes is refused, whatever road it comes by.
TEST(IsUsableMemberAddress, RefusesWhatNoMailServerTakes) {
    const std::string local64(64, 'l');
    const std::string domain189 = std::string(185, 'd') + ".org";  // 64 + 1 + 189 = 254
    struct Case {
        std::string address;
        bool usable;
    };
    const Case cases[] = {
        {"joe@example.org", true},
        {local64 + "@" + domain189, true},               // 254 octets, local part 64
        {local64 + "@" + domain189 + "x", false},        // 255 octets
        {local64 + "l@example.org", false},              // local part 65
        {"a@b@" + std::string(60, 'c') + ".org", true},  // the last "@" ends the local part
        {"jo e@example.org", false},
        {"jo\te@example.org", false},
        {std::string("jo\0e@example.org", 16), false},
        {"jo\x01"
         "e@example.org",
         false},
        {"jo\x7F"
         "e@example.org",
         false},
        {"j\xC3\xB6"
         "e@example.org",
         false},  // 8-bit (UTF-8 "ö")
        {"joe@ex\xFF"
         "ample.org",
         false},
        {"@example.org", false},  // IsValidEmail still applies
        {"joe@localhost", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsUsableMemberAddress(c.address), c.usable) << PrintableAddress(c.address);
    }
}

TEST(PrintableAddress, ShowsOnlyVisibleAsciiAndCutsLongText) {
    EXPECT_EQ(PrintableAddress(std::string("a\0b\x1B[2J\xC3\xB6@x.y", 13)), "a?b?[2J??@x.y");
    const std::string shown = PrintableAddress(std::string(5000, 'a') + "@x.y");
    EXPECT_EQ(shown, std::string(300, 'a') + "...");
}

}  // namespace
}  // namespace corvanteer
