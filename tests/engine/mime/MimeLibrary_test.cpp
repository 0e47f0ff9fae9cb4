#include "engine/mime/MimeLibrary.h"

#include <gtest/gtest.h>

namespace corvanteer::mime {
namespace {

TEST(MimeLibrary, ParsesDecodesAndWritesWithCrLf) {
    // "Grüße" in UTF-8, base64, with LF line ends as a file might hold them.
    const std::string bytes =
        "From: Ann <ann@example.org>\nSubject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\n"
        "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\n"
        "Content-Transfer-Encoding: base64\n\nR3LDvMOfZQo=\n";
    Ptr<GMimeMessage> message = ParseMessage(bytes);
    ASSERT_TRUE(message);
    EXPECT_STREQ("Grüße", g_mime_message_get_subject(message.get()));
    GMimeObject* body = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_TEXT_PART(body));
    EXPECT_EQ("Grüße\n", DecodedContent(GMIME_PART(body)));
    EXPECT_EQ("Grüße\n", TextAsUtf8(GMIME_TEXT_PART(body)));

    const std::string written = Serialize(GMIME_OBJECT(message.get()));
    EXPECT_NE(std::string::npos, written.find("From: Ann <ann@example.org>\r\n"));
    EXPECT_NE(std::string::npos, written.find("\r\n\r\nR3LDvMOfZQo=\r\n"));
    EXPECT_EQ(std::string::npos, written.find("o=\n"));  // no bare LF left
}

TEST(MimeLibrary, TextWithoutCharsetIsReadAsLatin1WhenNotUtf8) {
    Ptr<GMimeMessage> message = ParseMessage("Content-Type: text/plain\r\n\r\n\xD6lfreunde\r\n");
    GMimeObject* body = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_TEXT_PART(body));
    EXPECT_EQ("Ölfreunde\r\n", TextAsUtf8(GMIME_TEXT_PART(body)));
    // A NUL byte does not end the text.
    message = ParseMessage(std::string("Content-Type: text/plain\r\n\r\na\0b\xD6\r\n", 34));
    body = g_mime_message_get_mime_part(message.get());
    EXPECT_EQ(std::string("a\0b\xC3\x96\r\n", 7), TextAsUtf8(GMIME_TEXT_PART(body)));
}

TEST(MimeLibrary, BytesWithoutHeaderStillGiveAMessage) {
    for (const std::string& bytes : {std::string(), std::string("\0\0", 2), std::string("hello")}) {
        Ptr<GMimeMessage> message = ParseMessage(bytes);
        ASSERT_TRUE(message) << bytes.size();
        EXPECT_NE(nullptr, g_mime_message_get_mime_part(message.get()));
    }
}

TEST(MimeLibrary, EntitiesWriteCrLfEverywhereAndReportDefects) {
    // The preamble and epilogue come back with LF from the library; they leave with CR LF.
    std::vector<ParseIssue> issues;
    Ptr<GMimeObject> entity = ParseEntity(
        "Content-Type: multipart/mixed; boundary=b\n\npre\n--b\n\nhi\n--b--\nepi\n", &issues);
    ASSERT_TRUE(GMIME_IS_MULTIPART(entity.get()));
    EXPECT_EQ("pre\r\n--b\r\n\r\nhi\r\n--b--\r\nepi\r\n", SerializeContent(entity.get()));
    EXPECT_TRUE(issues.empty());

    ParseEntity("Content-Type: multipart/mixed\r\n\r\n--b\r\n", &issues);
    ASSERT_EQ(1u, issues.size());
    EXPECT_EQ(GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY, issues[0].code);

    // No header at all: text/plain, as MIME reads it.
    entity = ParseEntity("\r\nplain\r\n");
    EXPECT_TRUE(
        g_mime_content_type_is_type(g_mime_object_get_content_type(entity.get()), "text", "plain"));
    EXPECT_EQ("plain\r\n", DecodedContent(GMIME_PART(entity.get())));
}

TEST(MimeLibrary, ConvertCharsetRefusesRatherThanReplaces) {
    std::string out;
    EXPECT_TRUE(ConvertCharset("K\xF6ln", "latin1", "utf-8", out));
    EXPECT_EQ("K\xC3\xB6ln", out);
    EXPECT_FALSE(ConvertCharset("\xE2\x80\x94", "utf-8", "iso-8859-1", out));  // no em dash
    EXPECT_FALSE(ConvertCharset("\xC3", "utf-8", "iso-8859-1", out));          // cut short
    EXPECT_FALSE(ConvertCharset("x", "x-unheard-of", "utf-8", out));
    EXPECT_EQ("text/plain; charset=utf-8", UnfoldedValue(" text/plain;\n charset=utf-8\n"));
}

}  // namespace
}  // namespace corvanteer::mime
