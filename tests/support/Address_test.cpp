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

}  // namespace
}  // namespace corvanteer
