#include "engine/ListHeaders.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(ListHeaders, LinesFollowTheListsSettings) {
    const std::string help = "List-Help: <mailto:ls@example.org?subject=help%20news>";
    const std::string subscribe =
        "List-Subscribe: <mailto:ls@example.org?subject=subscribe%20news>";
    const std::string unsubscribe =
        "List-Unsubscribe: <mailto:ls@example.org?subject=unsubscribe%20news>";
    const struct {
        const char* what;
        ListHeaderValues values;
        Lines extraHeaders;
        Lines expected;
    } cases[] = {
        {"members may post",
         {"news", "news@example.org", "ls@example.org", 1, true},
         {},
         {"List-Id: news <news.example.org>", "List-Post: <mailto:news@example.org>", help,
          subscribe, unsubscribe, "Precedence: list"}},
        {"moderators only, no subscription by mail",
         {"news", " News <news@example.org> ", "ls@example.org", 0, false},
         {},
         {"List-Id: news <news.example.org>", "List-Post: NO", help, "Precedence: list"}},
        {"no List Server address, no posting address",
         {"news", "", "", 2, true},
         {},
         {"Precedence: list"}},
        {"the operator's own headers stand",
         {"news", "news@example.org", "", 2, true},
         {"precedence : bulk", "List-Id: Our news <n.example.org>"},
         {"List-Post: <mailto:news@example.org>"}},
        {"names and addresses that need quoting or encoding",
         {"my.list\"x", "a%b@example.org", "l?s@example.org", 2, true},
         {},
         {"List-Id: \"my.list\\\"x\" <a%b.example.org>", "List-Post: <mailto:a%25b@example.org>",
          "List-Help: <mailto:l%3Fs@example.org?subject=help%20my.list%22x>",
          "List-Subscribe: <mailto:l%3Fs@example.org?subject=subscribe%20my.list%22x>",
          "List-Unsubscribe: <mailto:l%3Fs@example.org?subject=unsubscribe%20my.list%22x>",
          "Precedence: list"}},
        {"a name that is not plain ASCII has no phrase",
         {"caf\xc3\xa9", "cafe@example.org", "", 0, true},
         {},
         {"List-Id: <cafe.example.org>", "List-Post: NO", "Precedence: list"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ListHeaderLines(c.values, c.extraHeaders), c.expected) << c.what;
    }
    EXPECT_EQ(ListLabel("News@Example.org"), "News.Example.org");
}

}  // namespace
}  // namespace corvanteer
