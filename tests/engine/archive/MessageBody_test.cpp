#include "engine/archive/MessageBody.h"

#include <gtest/gtest.h>

#include "engine/archive/MessageFacts.h"

namespace corvanteer::archive {
namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(MessageFactsTest, HeaderValuesAreDecoded) {
    const MessageFacts facts = ReadMessageFacts(
        "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <juergen@example.org>\r\n"
        "Subject: =?ISO-8859-1?Q?Gr=FC=DFe?= aus =?UTF-8?B?S8O2bG4=?=\r\n"
        "Message-ID: <m1@example.org>\r\n"
        "In-Reply-To: <p1@example.org> (Someone's message)\r\n"
        "References: <r0@example.org>\r\n <p1@example.org>\r\n"
        "Date: Fri, 1 May 2026 14:00:00 +0200\r\n"
        "\r\nFrom the body: not a header\r\n",
        7);
    EXPECT_EQ(facts.fromName, "J\xc3\xbcrgen M\xc3\xbcller");
    EXPECT_EQ(facts.fromAddress, "juergen@example.org");
    EXPECT_EQ(facts.subject,
              "Gr\xc3\xbc\xc3\x9f"
              "e aus K\xc3\xb6ln");
    EXPECT_EQ(facts.messageId, "m1@example.org");
    EXPECT_EQ(facts.inReplyTo, "p1@example.org");
    EXPECT_EQ(facts.references, (std::vector<std::string>{"r0@example.org", "p1@example.org"}));
    EXPECT_EQ(facts.date, 1777636800);
    EXPECT_EQ(facts.dateText, "2026-05-01 14:00 +0200");

    const MessageFacts bare = ReadMessageFacts("Subject: \xe9t\xe9 latin-1\n\nbody\n", 1777636800);
    EXPECT_EQ(bare.messageId, "");
    EXPECT_EQ(bare.date, 1777636800);
    EXPECT_EQ(bare.dateText, "2026-05-01 12:00 +0000");
    EXPECT_TRUE(Has(bare.subject, "latin-1"));
    EXPECT_EQ(IdFromHeader(" <a@b> "), "a@b");
    EXPECT_EQ(MessagePageOf("a@b"), MessagePageOf("a@b"));
    EXPECT_NE(MessagePageOf("a@b"), MessagePageOf("a@c"));
    EXPECT_EQ(MessagePageOf("a@b").size(), std::string("msg/").size() + 20 + 5);
}

TEST(MessageBodyTest, TextIsDecodedFromItsEncodingAndCharset) {
    const MessageBody body = RenderMessageBody(
        "Subject: x\n"
        "MIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\n\n"
        "--b\n"
        "Content-Type: text/plain; charset=iso-8859-1\n"
        "Content-Transfer-Encoding: quoted-printable\n\n"
        "Caf=E9 <au> lait, soft=\n"
        "break. Write to anna@example.org\n"
        "--b\n"
        "Content-Type: text/plain; charset=utf-8\n"
        "Content-Transfer-Encoding: base64\n\n"
        "U2Vjb25kIHBhcnQ6IMOcYmVyIGFsbGVz\n"
        "--b\n"
        "Content-Type: application/pdf; name=\"../../Report 2026.pdf\"\n"
        "Content-Disposition: attachment; filename=\"../../Report 2026.pdf\"\n"
        "Content-Transfer-Encoding: base64\n\n"
        "JVBERi0xLjQK\n"
        "--b--\n",
        false);
    EXPECT_TRUE(
        Has(body.html, "Caf\xc3\xa9 &lt;au&gt; lait, softbreak. Write to an...@example.org"))
        << body.html;
    EXPECT_TRUE(Has(body.html,
                    "Second part: \xc3\x9c"
                    "ber alles"))
        << body.html;
    ASSERT_EQ(body.attachments.size(), 1u);
    EXPECT_EQ(body.attachments[0].name, "../../Report 2026.pdf");
    EXPECT_EQ(body.attachments[0].fileName, "1-Report_2026.pdf");
    EXPECT_EQ(body.attachments[0].bytes, "%PDF-1.4\n");
    EXPECT_EQ(body.attachments[0].contentType, "application/pdf");
}

TEST(MessageBodyTest, AnAlternativeShowsItsPlainTextAndHtmlAloneIsSanitized) {
    const std::string alternative =
        "Content-Type: multipart/alternative; boundary=\"a\"\n\n"
        "--a\nContent-Type: text/plain\n\nplain words\n"
        "--a\nContent-Type: text/html\n\n<p>html words</p>\n--a--\n";
    const MessageBody both = RenderMessageBody(alternative, false);
    EXPECT_TRUE(Has(both.html, "plain words"));
    EXPECT_FALSE(Has(both.html, "html words"));

    const MessageBody html = RenderMessageBody(
        "Content-Type: text/html; charset=utf-8\n\n"
        "<p>Hello<script>document.title='pwned'</script> <b onclick=x>bold</b></p>\n",
        false);
    EXPECT_TRUE(Has(html.html, "<div class=\"html\"><p>Hello <b>bold</b></p>")) << html.html;
    EXPECT_FALSE(Has(html.html, "script"));
    EXPECT_FALSE(Has(html.html, "pwned"));
}

TEST(MessageBodyTest, SafeFileNamesAndSizes) {
    struct Case {
        const char* name;
        const char* safe;
    };
    const Case cases[] = {
        {"report.pdf", "report.pdf"},
        {"C:\\Users\\x\\evil name?.doc", "evil_name_.doc"},
        {"..", "attachment.bin"},
        {".hidden", "hidden.bin"},
        {"page.HTML", "page.HTML.txt"},
        {"image.svg", "image.svg.txt"},
        {"\xc3\xbc"
         "bersicht.txt",
         "bersicht.txt"},
        {"README", "README.bin"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeFileName(c.name), c.safe) << c.name;
    }
    EXPECT_EQ(SafeFileName(std::string(200, 'a') + ".pdf").size(), 80u);
    EXPECT_EQ(SizeText(512), "512 bytes");
    EXPECT_EQ(SizeText(2048), "2 KB");
    EXPECT_EQ(SizeText(3 * 1024 * 1024 + 400 * 1024), "3.4 MB");
}

}  // namespace
}  // namespace corvanteer::archive
