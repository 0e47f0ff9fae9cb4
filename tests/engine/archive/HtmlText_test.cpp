#include "engine/archive/HtmlText.h"

#include <gtest/gtest.h>

#include "engine/archive/HtmlSanitizer.h"

namespace corvanteer::archive {
namespace {

TEST(HtmlTextTest, EscapingLeavesNothingThatCouldBecomeMarkup) {
    struct Case {
        std::string text;
        std::string html;
    };
    const Case cases[] = {
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"a & b \"q\"", "a &amp; b &quot;q&quot;"},
        {"&amp;", "&amp;amp;"},
        {"line\r\nnext\rlast", "line\nnext\nlast"},
        {std::string("bell\x07 nul") + '\0' + "del\x7f tab\t", "bell nuldel tab\t"},
        {"c1 \xc2\x85 kept \xc2\xa0", "c1  kept \xc2\xa0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Escaped(c.text), c.html) << c.text;
    }
    EXPECT_EQ(ValidUtf8("ok \xff\xfe end"), "ok \xef\xbf\xbd\xef\xbf\xbd end");
    EXPECT_EQ(OneLine("  a \r\n\t b  "), "a b");
}

TEST(HtmlTextTest, AddressesAreHiddenUnlessShownAndWebAddressesBecomeLinks) {
    struct Case {
        const char* text;
        bool show;
        const char* html;
    };
    const Case cases[] = {
        {"Mail john.doe@example.org now", false, "Mail jo...@example.org now"},
        {"Mail john.doe@example.org now", true, "Mail john.doe@example.org now"},
        {"<a@b.example>, x@y", false, "&lt;a...@b.example&gt;, x@y"},
        {"see https://example.org/a?b=1&c=2.", false,
         "see <a href=\"https://example.org/a?b=1&amp;c=2\" rel=\"nofollow noopener "
         "noreferrer\">https://example.org/a?b=1&amp;c=2</a>."},
        {"(http://x.example/p)", false,
         "(<a href=\"http://x.example/p\" rel=\"nofollow noopener noreferrer\">"
         "http://x.example/p</a>)"},
        {"https://u@example.org/ hides", false, "https://u...@example.org/ hides"},
        {"javascript:alert(1) http:// xhttp://a", false, "javascript:alert(1) http:// xhttp://a"},
        {"\"><img src=x onerror=alert(1)>", false, "&quot;&gt;&lt;img src=x onerror=alert(1)&gt;"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TextToHtml(c.text, c.show), c.html) << c.text;
    }
}

TEST(HtmlSanitizerTest, OnlyTheAllowListSurvives) {
    struct Case {
        const char* html;
        bool show;
        const char* kept;
    };
    const Case cases[] = {
        {"<p onclick=\"x()\" style=\"color:red\">Hi <b>there</b></p>", false,
         "<p>Hi <b>there</b></p>"},
        {"<script>alert(1)</script><style>p{}</style>text", false, "<p>text</p>"},
        {"<a href=\"javascript:alert(1)\">j</a><a href=\"https://ok.example/\" "
         "onmouseover=\"x\">w</a>",
         false,
         "<a>j</a><a href=\"https://ok.example/\" rel=\"nofollow noopener noreferrer\">w</a>"},
        {"<img src=\"http://tracker.example/p.png\" alt=\"logo\"><img src=x onerror=alert(1)>",
         false, "[image: logo]"},
        {"<iframe src=\"https://x.example\"></iframe><form action=\"/x\"><input "
         "name=q>find</form>",
         false, "find"},
        {"<a href=\"mailto:bob@example.org\">bob@example.org</a>", false,
         "<a>bo...@example.org</a>"},
        {"<a href=\"mailto:bob@example.org\">bob@example.org</a>", true,
         "<a href=\"mailto:bob@example.org\" rel=\"nofollow noopener noreferrer\">"
         "bob@example.org</a>"},
        {"<table><tr><td colspan=\"2\" width=\"9\">c</td><td rowspan=\"x\">d</td></tr></table>",
         false, "<table><tr><td colspan=\"2\">c</td><td>d</td></tr></table>"},
        {"<td>loose cell</td><li>loose item</li>", false, "loose cellloose item"},
        {"<h1>Title</h1><font color=red>&lt;b&gt; &amp;</font>", false,
         "<h2>Title</h2>&lt;b&gt; &amp;"},
        {"<!-- comment --><svg><script>x</script></svg><math>m</math>ok", false, "ok"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SanitizeHtml(c.html, c.show), c.kept) << c.html;
    }
}

}  // namespace
}  // namespace corvanteer::archive
