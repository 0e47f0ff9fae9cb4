#include "engine/PostingFrom.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(PostingFrom, ShownAddressNeverEmptyWhileTheListHasOne) {
    struct Case {
        bool hide;
        const char* changeTo;
        const char* expected;
    };
    const Case cases[] = {
        {false, "hidden@lists.test", "ann@example.test"},
        {true, "  hidden@lists.test  ", "hidden@lists.test"},
        {true, "", "news@lists.test"},
        {true, "   ", "news@lists.test"},
        {true, "member@list.invalid", "news@lists.test"},  // stored by earlier versions
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.changeTo);
        EXPECT_EQ(c.expected,
                  ShownSenderAddress(c.hide, c.changeTo, "ann@example.test", " news@lists.test "));
    }
}

TEST(PostingFrom, ManualFromLines) {
    struct Case {
        const char* field;
        bool hide;
        const char* changeTo;
        const char* expected;
    };
    const Case cases[] = {
        {"Ann Example <ann@example.test>", true, "", "From: Ann Example <news@lists.test>"},
        {"Ann Example <ann@example.test>", true, "h@lists.test",
         "From: Ann Example <h@lists.test>"},
        {"  Ann <ann@example.test>  ", false, "", "From: Ann <ann@example.test>"},
        {"ann@example.test", false, "", "From: ann@example.test"},
        {"The Editors", false, "", "From: The Editors <news@lists.test>"},
        // A bare address as the name must be quoted to stand before another address.
        {"ann@example.test", true, "", "From: \"ann@example.test\" <news@lists.test>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        EXPECT_EQ(c.expected, ManualFromLine(c.field, c.hide, c.changeTo, "news@lists.test"));
    }
    EXPECT_EQ("From: Bob <bob@example.test>", PostingFromLine("Bob", "bob@example.test"));
}

}  // namespace
}  // namespace corvanteer
