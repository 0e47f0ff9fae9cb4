#include "engine/mime/Decoration.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/mime/DecorationChecks.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::mime {
namespace {

const std::string kAsciiSignature = "-- \r\nGrowers list: https://lists.example/";
// "—" has no place in ISO-8859-1: a Latin-1 part must turn UTF-8 to carry it.
const std::string kWideSignature =
    "-- \r\nListe \xC2\xB7 Gr\xC3\xBC\xC3\x9F"
    "e \xE2\x80\x94 https://lists.example/";

std::string Corpus(const std::string& name) {
    return ReadFile(std::string(CORVANTEER_MIME_CORPUS) + "/" + name);
}

std::vector<std::string> CorpusFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(CORVANTEER_MIME_CORPUS)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Joined(const std::vector<std::string>& faults) {
    return JoinLines(faults, "\n");
}

using P = SignaturePlace;

struct Shape {
    const char* file;
    const std::string& signature;
    P place;
    const char* contentType;  // what the value begins with; "" for no field
    const char* encoding;
};

// Each shape of the corpus, with the field values its decoration must give.
const Shape kShapes[] = {
    {"plain-7bit.eml", kAsciiSignature, P::AfterText, "", ""},
    {"plain-7bit.eml", kWideSignature, P::AfterText, "text/plain; charset=utf-8",
     "quoted-printable"},
    {"base64-utf8.eml", kWideSignature, P::AfterText, "text/plain; charset=UTF-8; format=flowed",
     "base64"},
    {"qp-latin1.eml", kAsciiSignature, P::AfterText, "text/plain; charset=\"ISO-8859-1\"",
     "quoted-printable"},
    {"qp-latin1.eml", kWideSignature, P::AfterText, "text/plain; charset=utf-8",
     "quoted-printable"},
    {"html-only.eml", kWideSignature, P::NewMixed, "multipart/mixed; boundary=\"=_corvanteer_", ""},
    {"alternative.eml", kAsciiSignature, P::NewMixed, "multipart/mixed; boundary=\"=_corvanteer_",
     ""},
    {"mixed-binary.eml", kWideSignature, P::LastPart, "multipart/mixed; boundary=\"mix-Aa91\"", ""},
    {"related-image.eml", kAsciiSignature, P::NewMixed, "multipart/mixed; boundary=\"=_corvanteer_",
     ""},
    {"signed.eml", kWideSignature, P::NewMixed, "multipart/mixed; boundary=\"=_corvanteer_", ""},
    {"long-line.eml", kAsciiSignature, P::AfterText, "", "quoted-printable"},
    {"long-line.eml", kWideSignature, P::AfterText, "text/plain; charset=utf-8",
     "quoted-printable"},
    {"rfc2047-headers.eml", kWideSignature, P::AfterText, "text/plain; charset=utf-8", "8bit"},
};

TEST(Decoration, EveryShapeShowsTheSignatureAndKeepsTheOriginal) {
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(std::string(shape.file) + " with " + OneLineText(shape.signature, 20));
        const std::string posting = Corpus(shape.file);
        const DecoratedBody decorated = DecorateBody(posting, shape.signature);
        EXPECT_EQ("", Joined(DecorationFaults(posting, shape.signature, decorated)));
        EXPECT_EQ(shape.place, decorated.signature);
        EXPECT_TRUE(StartsWith(decorated.fields.contentType, shape.contentType))
            << decorated.fields.contentType;
        EXPECT_EQ(shape.encoding, decorated.fields.contentTransferEncoding);

        // What leaves must be free of MIME defects and of lines a server refuses.
        std::vector<ParseIssue> issues;
        ParseMessage(DecoratedMessage(decorated), &issues);
        EXPECT_TRUE(issues.empty()) << issues.size() << ": " << issues[0].item;
        for (const std::string& line : TextToLines(decorated.body)) {
            EXPECT_LE(line.size(), kMaxLineOctets);
        }
        // The same posting always gives the same bytes (no random boundary).
        EXPECT_EQ(decorated.body, DecorateBody(posting, shape.signature).body);
    }
}

TEST(Decoration, EveryCorpusFilePassesWithEverySignature) {
    const std::vector<std::string> files = CorpusFiles();
    ASSERT_GE(files.size(), 10u);
    const std::string latin1Signature =
        "Gr\xFC\xDF"
        "e";  // not UTF-8: read as ISO-8859-1
    for (const std::string& file : files) {
        for (const std::string& signature :
             {std::string(), std::string(" \r\n"), kAsciiSignature, kWideSignature, latin1Signature,
              std::string(3000, 'x')}) {
            SCOPED_TRACE(file + " with " + OneLineText(signature, 20));
            const std::string posting = Corpus(file);
            EXPECT_EQ(
                "", Joined(DecorationFaults(posting, signature, DecorateBody(posting, signature))));
        }
    }
}

TEST(Decoration, PlainSevenBitPostingKeepsTheDescribedLayout) {
    const std::string posting = "From: a@b.example\r\nSubject: x\r\n\r\nline one\r\n\r\nline two";
    const DecoratedBody signed_ = DecorateBody(posting, "--\r\nsig one\r\nsig two");
    EXPECT_EQ(BodyFields{}, signed_.fields);
    EXPECT_EQ("line one\r\n\r\nline two\r\n--\r\nsig one\r\nsig two\r\n", signed_.body);
    // An empty signature is still one more (empty) line, as it always was.
    EXPECT_EQ("line one\r\n\r\nline two\r\n\r\n", DecorateBody(posting, "").body);
    // LF line ends as a file may hold them come out as CR LF.
    EXPECT_EQ("a\r\nb\r\nS\r\n", DecorateBody("Subject: x\n\na\nb\n", "S").body);
}

TEST(Decoration, BlankSignatureChangesNoMimePosting) {
    for (const char* file : {"base64-utf8.eml", "alternative.eml", "signed.eml"}) {
        SCOPED_TRACE(file);
        const std::string posting = Corpus(file);
        const DecoratedBody plain = DecorateBody(posting, "");
        EXPECT_EQ(plain.fields, DecorateBody(posting, "\r\n  \r\n").fields);
        EXPECT_FALSE(plain.fields.contentType.empty());
        const size_t body = posting.find("\n\n") + 2;
        EXPECT_EQ(LinesToText(TextToLines(posting.substr(body))), plain.body);
    }
}

TEST(Decoration, CharsetsOfTextWithoutLabelOrThatCannotBeRead) {
    struct Case {
        const char* name;
        std::string posting;
        const std::string& signature;
        const char* contentType;
        const char* encoding;
    };
    const Case cases[] = {
        // 8-bit text sent without any MIME line: labelled as a mail program reads it.
        {"unlabelled latin-1", "Subject: x\r\n\r\nK\xF6ln\r\n", kAsciiSignature,
         "text/plain; charset=iso-8859-1", "quoted-printable"},
        {"unlabelled latin-1, wide signature", "Subject: x\r\n\r\nK\xF6ln\r\n", kWideSignature,
         "text/plain; charset=utf-8", "quoted-printable"},
        {"unlabelled utf-8", "Subject: x\r\n\r\nK\xC3\xB6ln\r\n", kAsciiSignature,
         "text/plain; charset=utf-8", "quoted-printable"},
        // A charset no converter knows: the text is left alone beside the signature.
        {"unknown charset",
         "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=x-unheard-of\r\n\r\n\xF6\r\n",
         kWideSignature, "multipart/mixed", ""},
        // Bytes that are no ISO-2022-JP at all cannot turn UTF-8 either.
        {"invalid bytes",
         "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=iso-2022-jp\r\n"
         "Content-Transfer-Encoding: 8bit\r\n\r\n\xFF\xFE\r\n",
         kWideSignature, "multipart/mixed", ""},
        // A text sent as an attachment is not where the signature goes.
        {"attached text",
         "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
         "Content-Disposition: attachment; filename=notes.txt\r\n\r\nnotes\r\n",
         kAsciiSignature, "multipart/mixed", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecoratedBody decorated = DecorateBody(c.posting, c.signature);
        EXPECT_TRUE(StartsWith(decorated.fields.contentType, c.contentType))
            << decorated.fields.contentType;
        EXPECT_EQ(c.encoding, decorated.fields.contentTransferEncoding);
        EXPECT_EQ("", Joined(DecorationFaults(c.posting, c.signature, decorated)));
    }
}

TEST(Decoration, LongLinesAreEncodedAgainExceptWhereSigned) {
    const std::string longHtml = "<p>" + std::string(2000, 'h') + "</p>";
    const std::string alternative =
        "MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n"
        "--b\r\nContent-Type: text/plain\r\n\r\nshort\r\n"
        "--b\r\nContent-Type: text/html\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
        longHtml + "\r\n--b--\r\n";
    // With no signature at all the long line still cannot go out as it is.
    DecoratedBody decorated = DecorateBody(alternative, "");
    EXPECT_EQ("multipart/alternative; boundary=b", decorated.fields.contentType);
    EXPECT_NE(std::string::npos,
              decorated.body.find("Content-Transfer-Encoding: quoted-printable"));
    EXPECT_EQ("", Joined(DecorationFaults(alternative, "", decorated)));

    // Inside a signed part nothing is touched: the author's signature must still verify.
    const std::string signedPosting =
        "MIME-Version: 1.0\r\nContent-Type: multipart/signed; boundary=s; "
        "protocol=\"application/pgp-signature\"\r\n\r\n--s\r\nContent-Type: text/html\r\n\r\n" +
        longHtml + "\r\n--s\r\nContent-Type: application/pgp-signature\r\n\r\nSIG\r\n--s--\r\n";
    decorated = DecorateBody(signedPosting, kAsciiSignature);
    EXPECT_NE(std::string::npos, decorated.body.find(longHtml + "\r\n--s\r\n"));
    EXPECT_EQ("", Joined(DecorationFaults(signedPosting, kAsciiSignature, decorated)));
}

TEST(Decoration, BrokenStructuresGoAsTheyCameWithoutTheSignature) {
    const std::string postings[] = {
        "Content-Type: multipart/mixed\r\n\r\n--b\r\n\r\nx\r\n--b--\r\n",  // no boundary
        "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nnever closed\r\n",
        "Content-Type: \x12multipart/mixed; boundary=b\r\n\r\n--b\r\n\r\nx\r\n--b--\r\n",
        std::string("Content-Type: text/plain\r\n\r\nnul \0 byte\r\n", 40),
    };
    for (const std::string& posting : postings) {
        SCOPED_TRACE(OneLineText(posting, 60));
        const DecoratedBody decorated = DecorateBody(posting, kAsciiSignature);
        EXPECT_EQ(SignaturePlace::LeftOut, decorated.signature);
        EXPECT_TRUE(EndsWith(LinesToText(TextToLines(posting)), decorated.body));
        EXPECT_TRUE(IsSevenBit(DecoratedMessage(decorated)));
    }
}

// The checks see the faults of appending the signature to the raw body.
TEST(Decoration, ChecksSeeASignatureAppendedToTheRawBody) {
    for (const char* file : {"base64-utf8.eml", "alternative.eml", "mixed-binary.eml"}) {
        SCOPED_TRACE(file);
        const std::string posting = Corpus(file);
        DecoratedBody raw = DecorateBody(posting, "");
        raw.body += kAsciiSignature + "\r\n";
        EXPECT_FALSE(DecorationFaults(posting, kAsciiSignature, raw).empty());
    }
    const std::string posting = Corpus("mixed-binary.eml");
    DecoratedBody decorated = DecorateBody(posting, kAsciiSignature);
    decorated.body.replace(decorated.body.find("AAEC"), 4, "AAED");  // the attachment changed
    EXPECT_NE("", Joined(DecorationFaults(posting, kAsciiSignature, decorated)));
}

}  // namespace
}  // namespace corvanteer::mime
