#pragma once

// The MIME library (GMime 3) as the engine uses it: started once per process, owning
// pointers for its objects, and the few conversions every user needs (parse a message from
// bytes, write an object out, the decoded content of a part). Postings, bounces, digests and
// the archive all read mail through here.

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>

namespace corvanteer::mime {

// Starts the library for this process; safe to call from any thread, any number of times.
// Every function below calls it first.
void EnsureStarted();

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

// Parses a whole message: header, empty line, body, with LF or CR LF line ends. Never null:
// bytes that hold no header at all give a message with an empty header and the bytes as its
// body, as a mail program would show them. Parsing never fails on malformed input.
Ptr<GMimeMessage> ParseMessage(std::string_view bytes);

// The object (message or part, header included) written out with CR LF line ends.
std::string Serialize(GMimeObject* object);

// The content of a leaf part with its transfer encoding undone (base64, quoted-printable,
// uuencode); the bytes as they stand for 7bit, 8bit and binary. Empty for a part without
// content.
std::string DecodedContent(GMimePart* part);

// A text part's content decoded and converted from its charset to UTF-8 (an unknown or
// missing charset is read as ISO-8859-1 when the bytes are not valid UTF-8).
std::string TextAsUtf8(GMimeTextPart* part);

}  // namespace corvanteer::mime
