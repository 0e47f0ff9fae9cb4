#pragma once

// Building a digest from the postings a list distributed: pure functions from the postings
// (each the whole message as it went to the members, CR LF line ends) to the digest message.
//
// The MIME digest is multipart/mixed: first a text/plain table of contents ("Today's
// Topics:"), then one multipart/digest whose parts are the postings as message/rfc822,
// byte for byte as distributed. The plain digest is one text/plain message: the table of
// contents, a line of 70 hyphens, then each posting's Date, From and Subject and its text,
// each followed by a line of 30 hyphens, and at the end "End of <List> Digest, Vol <V>,
// Issue <N>" over a line of as many asterisks.

#include <string>
#include <string_view>
#include <vector>

#include "support/Random.h"
#include "support/Text.h"

namespace corvanteer {

// "<List> Digest, Vol <V>, Issue <N>"
std::string DigestSubject(std::string_view listName, int volume, int issue);

// What the table of contents and the plain digest show of one posting, decoded to UTF-8.
struct PostingSummary {
    std::string date;     // the Date value as written
    std::string from;     // the From value, encoded words decoded
    std::string name;     // the sender's name, or the address when the From has no name
    std::string subject;  // "(no subject)" when there is none
};
PostingSummary SummarizePosting(std::string_view posting);

// "Today's Topics:", an empty line, then per posting its number right-aligned in four
// characters, ". ", subject, " (" + name + ")"; lines joined by CR LF, ending with one.
std::string TableOfContents(const std::vector<PostingSummary>& summaries);

// The readable text of a posting: its text/plain parts (not attachments) decoded to UTF-8,
// one after the other; each other part as one line "[" + type + (" " + file name) + " not
// included]". Line ends are CR LF.
std::string PostingText(std::string_view posting);

// What both digests carry above their MIME lines: the caller's header lines (To, From,
// Subject, Date, Message-ID, list headers, Precedence, ...), each a whole line without its
// line end, in the order they are to appear.
struct DigestEnvelope {
    std::string listName;
    int volume = 1;
    int issue = 1;
    Lines headerLines;
};

// The MIME digest, whole, with CR LF line ends. Boundaries are drawn from random and
// checked against the content. postings must not be empty.
std::string BuildMimeDigest(const DigestEnvelope& envelope,
                            const std::vector<std::string>& postings, RandomSource& random);

// The plain digest, whole, with CR LF line ends; its text is UTF-8, sent as 7bit when it is
// ASCII and quoted-printable otherwise. A text line of exactly 30 hyphens in a posting gets
// a blank in front, so it cannot be taken for a separator.
std::string BuildPlainDigest(const DigestEnvelope& envelope,
                             const std::vector<std::string>& postings);

}  // namespace corvanteer
