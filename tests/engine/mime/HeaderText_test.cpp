#include "engine/mime/HeaderText.h"

#include <gtest/gtest.h>

#include "engine/mime/MimeLibrary.h"
#include "support/Text.h"

namespace corvanteer::mime {
namespace {

// The display name and address a mail program reads from "name <address>".
std::pair<std::string, std::string> ReadMailbox(const std::string& text) {
    EnsureStarted();
    Ptr<InternetAddressList> list(internet_address_list_parse(nullptr, text.c_str()));
    if (!list || internet_address_list_length(list.get()) != 1) {
        return {"<not one address>", ""};
    }
    InternetAddress* address = internet_address_list_get_address(list.get(), 0);
    const char* name = internet_address_get_name(address);
    return {name != nullptr ? name : "",
            internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address))};
}

TEST(HeaderText, DisplayNamesStayAsWrittenOrAreQuotedOrEncoded) {
    struct Case {
        std::string name;
        std::string expected;  // "" when the library writes it anew
        std::string reads;     // the name a mail program shows
    };
    const Case cases[] = {
        {"Alice Example", "Alice Example <list@x.example>", "Alice Example"},
        {"\"Smith, John\"", "\"Smith, John\" <list@x.example>", "Smith, John"},
        {"=?UTF-8?Q?J=C3=B6rg?=", "=?UTF-8?Q?J=C3=B6rg?= <list@x.example>", "J\xC3\xB6rg"},
        {"John Q. Public", "John Q. Public <list@x.example>", "John Q. Public"},
        {"", "<list@x.example>", ""},
        // Names that are no valid phrase: a bare address, a comma, an unpaired quote.
        {"alice@old.example", "\"alice@old.example\" <list@x.example>", "alice@old.example"},
        {"Smith, John", "\"Smith, John\" <list@x.example>", "Smith, John"},
        {"Ann \"The Boss", "", "Ann \"The Boss"},
        // Raw 8-bit names: UTF-8, or ISO-8859-1 when not.
        {"J\xC3\xB6rg M\xC3\xBCller", "", "J\xC3\xB6rg M\xC3\xBCller"},
        {"J\xF6rg", "", "J\xC3\xB6rg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = MailboxText(c.name, "list@x.example");
        if (!c.expected.empty()) {
            EXPECT_EQ(c.expected, text);
        }
        EXPECT_TRUE(IsSevenBit(text)) << text;
        EXPECT_EQ(std::make_pair(c.reads, std::string("list@x.example")), ReadMailbox(text));
    }
}

TEST(HeaderText, LinesGoOutSevenBitAndShortEnough) {
    std::string words;
    for (int i = 0; i < 200; ++i) {
        words += "word" + std::to_string(i) + " ";
    }
    std::string recipients;
    for (int i = 0; i < 60; ++i) {
        recipients += (i ? ", " : "") + std::string("member") + std::to_string(i) + "@x.example";
    }
    struct Case {
        std::string line;
        bool unchanged;
    };
    const Case cases[] = {
        {"Subject: Meeting on Friday", true},
        {"Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", true},
        {"Subject: Gr\xC3\xBC\xC3\x9F"
         "e aus K\xC3\xB6ln",
         false},
        {"Subject: Gr\xFC\xDF"
         "e",
         false},
        {"To: J\xC3\xB6rg <j@x.example>, b@x.example", false},
        {"Subject: " + words, false},
        {"Subject: x " + std::string(1500, 'a') + " y", false},
        {"To: " + recipients, false},
        {"X-Note: " + std::string(400, 'n'), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(OneLineText(c.line, 40));
        const std::string out = OutgoingHeaderLine(c.line);
        EXPECT_EQ(c.unchanged, out == c.line);
        EXPECT_TRUE(IsSevenBit(out));
        EXPECT_LE(LongestLine(out), kMaxLineOctets);
        EXPECT_EQ(Before(c.line, ":"), Before(out, ":"));
        // Unfolded and decoded, the value reads as it did (8-bit text as UTF-8 or Latin-1).
        EnsureStarted();
        const std::string value = After(out, ":");
        GText decoded(g_mime_utils_header_decode_text(nullptr, UnfoldedValue(value).c_str()));
        GText before(g_mime_utils_header_decode_text(nullptr, Trim(After(c.line, ":")).c_str()));
        EXPECT_EQ(CollapseSpaces(before.get()), CollapseSpaces(decoded.get()));
    }
}

}  // namespace
}  // namespace corvanteer::mime
