#include "engine/digest/DigestAssembly.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/mime/MimeLibrary.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

// Two postings as a list distributes them: one quoted-printable text with a signature and a
// line of 30 hyphens, one multipart with an attachment.
const std::string kFirst =
    "To: news@example.org\r\nFrom: Ann Example <news@example.org>\r\nReply-To: "
    "news@example.org\r\nSubject: =?utf-8?q?Caf=C3=A9?= at noon\r\nDate: Mon, 9 Mar 2026 "
    "09:00:00 GMT\r\nMessage-ID: <one@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: "
    "text/plain; charset=utf-8\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nMeet at the "
    "caf=C3=A9.\r\n------------------------------\r\n\r\n-- \r\nnews list\r\n";
const std::string kSecond =
    "To: news@example.org\r\nFrom: bob@example.org\r\nSubject: Minutes\r\nDate: Mon, 9 Mar 2026 "
    "10:00:00 GMT\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
    "boundary=\"b1\"\r\n\r\n--b1\r\nContent-Type: text/plain\r\n\r\nSee attached.\r\n--b1\r\n"
    "Content-Type: application/pdf; name=\"m.pdf\"\r\nContent-Disposition: attachment; "
    "filename=\"m.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\nJVBERi0=\r\n--b1--\r\n"
    "epilogue\r\n";

DigestEnvelope Envelope() {
    return DigestEnvelope{"news",
                          2,
                          7,
                          {"To: news@example.org", "From: news@example.org",
                           "Subject: news Digest, Vol 2, Issue 7", "Precedence: list"}};
}

std::string TextOf(GMimeObject* object) {
    return mime::TextAsUtf8(GMIME_TEXT_PART(object));
}

// The posting stands in the digest byte for byte (an epilogue with its CR LF included), as
// the content of a message/rfc822 part, up to the CR LF before the next boundary.
void ExpectCarriedWhole(const std::string& digest, const std::string& boundary,
                        const std::string& posting) {
    EXPECT_NE(digest.find("Content-Type: message/rfc822\r\n\r\n" + posting + "\r\n--" + boundary),
              std::string::npos);
}

TEST(DigestAssembly, MimeDigestCarriesTheTopicsThenEachPostingWholeAsMessageRfc822) {
    FakeRandom random;
    const std::string digest = BuildMimeDigest(Envelope(), {kFirst, kSecond}, random);
    for (size_t i = digest.find('\n'); i != std::string::npos; i = digest.find('\n', i + 1)) {
        ASSERT_EQ(digest[i - 1], '\r') << i;  // no bare line feed anywhere
    }
    // The caller's lines first, in their order, then the MIME lines.
    EXPECT_EQ(digest.rfind("To: news@example.org\r\nFrom: news@example.org\r\nSubject: news "
                           "Digest, Vol 2, Issue 7\r\nPrecedence: list\r\nMIME-Version: "
                           "1.0\r\nContent-Type: multipart/mixed",
                           0),
              0u);

    mime::Ptr<GMimeMessage> message = mime::ParseMessage(digest);
    EXPECT_STREQ(g_mime_message_get_subject(message.get()), "news Digest, Vol 2, Issue 7");
    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    EXPECT_TRUE(
        g_mime_content_type_is_type(g_mime_object_get_content_type(top), "multipart", "mixed"));
    GMimeMultipart* mixed = GMIME_MULTIPART(top);
    ASSERT_EQ(g_mime_multipart_get_count(mixed), 2);

    GMimeObject* topics = g_mime_multipart_get_part(mixed, 0);
    ASSERT_TRUE(GMIME_IS_TEXT_PART(topics));
    EXPECT_EQ(TextOf(topics),
              "Today's Topics:\r\n\r\n   1. Caf\xC3\xA9 at noon (Ann Example)\r\n"
              "   2. Minutes (bob@example.org)\r\n");

    GMimeObject* inner = g_mime_multipart_get_part(mixed, 1);
    ASSERT_TRUE(
        g_mime_content_type_is_type(g_mime_object_get_content_type(inner), "multipart", "digest"));
    GMimeMultipart* parts = GMIME_MULTIPART(inner);
    ASSERT_EQ(g_mime_multipart_get_count(parts), 2);
    const std::string boundary = g_mime_multipart_get_boundary(parts);
    const std::string* postings[] = {&kFirst, &kSecond};
    for (int i = 0; i < 2; ++i) {
        GMimeObject* part = g_mime_multipart_get_part(parts, i);
        ASSERT_TRUE(GMIME_IS_MESSAGE_PART(part)) << i;
        GMimeMessage* carried = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        EXPECT_EQ(mime::Serialize(GMIME_OBJECT(carried)),
                  mime::Serialize(GMIME_OBJECT(mime::ParseMessage(*postings[i]).get())))
            << i;
        ExpectCarriedWhole(digest, boundary, *postings[i]);
    }
}

TEST(DigestAssembly, BoundariesNeverOccurInTheContent) {
    // The scripted draws make the first boundary "=_digest_" + 24 x "A"; a posting holds it.
    FakeRandom random;
    random.Script(std::vector<uint32_t>(24, 10));
    const std::string tricky = kSecond + "--=_digest_AAAAAAAAAAAAAAAAAAAAAAAA\r\n";
    const std::string digest = BuildMimeDigest(Envelope(), {tricky}, random);
    mime::Ptr<GMimeMessage> message = mime::ParseMessage(digest);
    GMimeMultipart* mixed = GMIME_MULTIPART(g_mime_message_get_mime_part(message.get()));
    GMimeMultipart* parts = GMIME_MULTIPART(g_mime_multipart_get_part(mixed, 1));
    ASSERT_EQ(g_mime_multipart_get_count(parts), 1);
    const std::string boundary = g_mime_multipart_get_boundary(parts);
    EXPECT_NE(boundary, "=_digest_AAAAAAAAAAAAAAAAAAAAAAAA");
    ExpectCarriedWhole(digest, boundary, tricky);
}

TEST(DigestAssembly, PlainDigestFollowsTheSeparatorsAndTrailerOfPlainTextDigests) {
    const std::string digest = BuildPlainDigest(Envelope(), {kFirst, kSecond});
    mime::Ptr<GMimeMessage> message = mime::ParseMessage(digest);
    GMimeObject* body = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_TEXT_PART(body));
    const std::string rule(70, '-');
    const std::string separator(30, '-');
    EXPECT_EQ(TextOf(body),
              "Today's Topics:\r\n\r\n   1. Caf\xC3\xA9 at noon (Ann Example)\r\n"
              "   2. Minutes (bob@example.org)\r\n\r\n" +
                  rule +
                  "\r\n\r\nDate: Mon, 9 Mar 2026 09:00:00 GMT\r\n"
                  "From: Ann Example <news@example.org>\r\nSubject: Caf\xC3\xA9 at noon\r\n\r\n"
                  "Meet at the caf\xC3\xA9.\r\n " +
                  separator + "\r\n\r\n-- \r\nnews list\r\n\r\n" + separator +
                  "\r\n\r\nDate: Mon, 9 Mar 2026 10:00:00 GMT\r\nFrom: bob@example.org\r\n"
                  "Subject: Minutes\r\n\r\nSee attached.\r\n\r\n[application/pdf m.pdf not "
                  "included]\r\n\r\n" +
                  separator +
                  "\r\n\r\nEnd of news Digest, Vol 2, Issue 7\r\n"
                  "**********************************\r\n");
    // Sent in a form every mail server takes.
    EXPECT_EQ(g_mime_part_get_content_encoding(GMIME_PART(body)),
              GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    for (unsigned char c : digest) {
        ASSERT_LT(c, 0x80);
    }
}

TEST(DigestAssembly, PostingTextTakesThePlainAlternativeAndNamesWhatItLeavesOut) {
    const struct {
        const char* body;
        const char* text;
    } cases[] = {
        {"Content-Type: text/plain\r\n\r\nplain only\r\n\r\n\r\n", "plain only\r\n"},
        {"Content-Type: multipart/alternative; boundary=a\r\n\r\n--a\r\nContent-Type: "
         "text/html\r\n\r\n<p>html</p>\r\n--a\r\nContent-Type: text/plain\r\n\r\nthe plain "
         "one\r\n--a--\r\n",
         "the plain one\r\n"},
        {"Content-Type: text/html\r\n\r\n<p>only html</p>\r\n", "[text/html not included]\r\n"},
        {"Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: "
         "quoted-printable\r\n\r\nna=EFve\r\n",
         "na\xC3\xAFve\r\n"},
        {"\r\nno MIME header at all\r\n", "no MIME header at all\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PostingText(std::string("From: a@example.org\r\n") + c.body), c.text) << c.body;
    }
}

TEST(DigestAssembly, SummaryFallsBackWhereTheHeaderSaysLittle) {
    const PostingSummary bare = SummarizePosting("From: x@example.org\r\n\r\nbody\r\n");
    EXPECT_EQ(bare.subject, "(no subject)");
    EXPECT_EQ(bare.name, "x@example.org");
    const PostingSummary folded = SummarizePosting(
        "From: \"Doe, Jane\" <jane@example.org>\r\nSubject: a long\r\n subject\r\n\r\n");
    EXPECT_EQ(folded.name, "Doe, Jane");
    EXPECT_THAT(folded.subject, HasSubstr("long"));
    EXPECT_EQ(folded.subject.find('\n'), std::string::npos);
    EXPECT_EQ(DigestSubject("news", 3, 12), "news Digest, Vol 3, Issue 12");
}

}  // namespace
}  // namespace corvanteer::testing
