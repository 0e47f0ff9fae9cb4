#pragma once

// The MIME library (GMime 3) as the engine uses it: started once per process, owning
// pointers for its objects, and the few conversions every user needs (parse a message from
// bytes, write an object out, the decoded content of a part). Postings, bounces, digests and
// the archive all read mail through here.

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::mime {

// Starts the library for this process; safe to call from any thread, any number of times.
// Every function below calls it first.
void EnsureStarted();

// Frees what the library hands out with g_free (strings it allocates); GText owns one.
struct GFree {
    void operator()(void* memory) const;
};
using GText = std::unique_ptr<char, GFree>;

// Drops one reference of a GObject (nothing for null).
struct ObjectUnref {
    void operator()(void* object) const;
};
// An owned reference to a GMime object (a message, part, stream, ...).
template <class T>
using Ptr = std::unique_ptr<T, ObjectUnref>;

// Takes over a reference the caller owns (a function whose name says new, or one the caller
// ref'ed); null stays null.
template <class T>
Ptr<T> Own(T* object) {
    return Ptr<T>(object);
}
// Adds a reference to an object the library keeps (a getter's result) and owns that one.
template <class T>
Ptr<T> Share(T* object) {
    if (object != nullptr) {
        g_object_ref(object);
    }
    return Ptr<T>(object);
}

// One thing the parser found wrong in what it read (a MIME defect): the library's
// GMimeParserWarning code and the text it concerns (may be empty).
struct ParseIssue {
    int code = 0;
    std::string item;
};

// Parses a whole message: header, empty line, body, with LF or CR LF line ends. Never null:
// bytes that hold no header at all give a message with an empty header and the bytes as its
// body, as a mail program would show them. Parsing never fails on malformed input. With
// issues, every defect the parser meets is appended there.
Ptr<GMimeMessage> ParseMessage(std::string_view bytes, std::vector<ParseIssue>* issues = nullptr);

// Parses one MIME entity (a part's header lines, an empty line, its content) as a part, a
// multipart or an attached message. Never null: bytes without any header give a text/plain
// part holding them, as MIME reads a header-less entity.
Ptr<GMimeObject> ParseEntity(std::string_view bytes, std::vector<ParseIssue>* issues = nullptr);

// The object (message or part, header included) written out with CR LF line ends, every
// one of them (preambles and epilogues too, which the library writes as they were read).
std::string Serialize(GMimeObject* object);
// The same without the object's own header: what follows its empty line.
std::string SerializeContent(GMimeObject* object);

// The content of a leaf part with its transfer encoding undone (base64, quoted-printable,
// uuencode); the bytes as they stand for 7bit, 8bit and binary. Empty for a part without
// content.
std::string DecodedContent(GMimePart* part);

// A text part's content decoded and converted from its charset to UTF-8. Invalid sequences
// in UTF-8 text become U+FFFD. Without a charset, or when the bytes are not valid in another
// one, they are read as UTF-8 when they are valid UTF-8, else as ISO-8859-1. NUL bytes are
// kept.
std::string TextAsUtf8(GMimeTextPart* part);

// True when the bytes are valid UTF-8 (NUL bytes allowed).
bool IsUtf8(std::string_view text);
// The text as UTF-8: as it is when it is, else read as ISO-8859-1 (text from outside that
// carries no charset: mail programs read it so).
std::string AsUtf8(std::string_view text);

// The longest line any message may carry (RFC 5322), CR LF not counted.
inline constexpr std::size_t kMaxLineOctets = 998;

// True when every byte is below 0x80 (text 7bit may carry, when its lines are short).
bool IsSevenBit(std::string_view text);

// The longest line of the text in octets, lines ending at LF (a CR before it not counted):
// what an SMTP server measures.
std::size_t LongestLine(std::string_view text);

// Converts text between two charsets (any name the library knows, "latin1" and "utf8"
// included) into out. False, out undefined, when a charset is unknown, the input holds a
// byte sequence invalid in `from`, or a character has no form in `to`: nothing is dropped or
// replaced silently.
bool ConvertCharset(std::string_view text, std::string_view from, std::string_view to,
                    std::string& out);

// The value of a header line as the library writes it (a content type, a disposition),
// unfolded and trimmed into one line.
std::string UnfoldedValue(std::string_view folded);

}  // namespace corvanteer::mime
