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
}

TEST(MimeLibrary, BytesWithoutHeaderStillGiveAMessage) {
    for (const std::string& bytes : {std::string(), std::string("\0\0", 2), std::string("hello")}) {
        Ptr<GMimeMessage> message = ParseMessage(bytes);
        ASSERT_TRUE(message) << bytes.size();
        EXPECT_NE(nullptr, g_mime_message_get_mime_part(message.get()));
    }
}

}  // namespace
}  // namespace corvanteer::mime
