#pragma once

// The list's signature added to a posting so that every mail program shows it, whatever the
// posting's MIME structure, without changing any part of the original. A pure function: the
// same posting and signature always give the same bytes (the boundary of a new multipart is
// derived from the content, not drawn at random).

#include <string>
#include <string_view>

namespace corvanteer::mime {

// The header fields that describe a body, as values in one line each (continuation lines
// joined by one blank, as GetHeaderValue reads them); "" means the field is absent.
struct BodyFields {
    std::string mimeVersion;
    std::string contentType;
    std::string contentTransferEncoding;

    bool operator==(const BodyFields&) const = default;
};

// Where the signature went.
enum class SignaturePlace {
    None,       // blank signature: nothing added
    AfterText,  // after the text of the body, itself text/plain (or of no MIME type at all)
    LastPart,   // a new last part of the posting's multipart/mixed
    NewMixed,   // the second part of a new multipart/mixed around the original
    LeftOut,    // not added: the posting's structure is too broken to change safely
};

struct DecoratedBody {
    // Go in the posting's header in place of the incoming message's MIME lines.
    BodyFields fields;
    // The body with CR LF line ends, not dot-stuffed.
    std::string body;
    SignaturePlace signature = SignaturePlace::None;
};

// The posting as the list reads its MIME structure: its well-formed Content-* header lines
// (with their continuation lines), an empty line, and its body lines, every line ending in
// CR LF. The header ends at the first empty line, as the scan cuts a downloaded message; the
// other header fields do not describe the body. ParseEntity reads the result.
std::string MimeEntity(std::string_view posting);

// Decorates a posting: posting holds the incoming message (header, empty line, body; CR LF,
// LF or CR line ends) and signature the list's signature text (UTF-8; bytes that are not are
// read as ISO-8859-1). Of the header only the Content-* lines and MIME-Version are read.
//
// - A posting without any MIME header line whose body and signature are 7-bit and short-lined
//   keeps the described layout byte for byte: the body lines, then the signature as one more
//   entry (an empty signature gives an empty line); no MIME fields. So does one with 8-bit
//   text when the signature is blank and no line is too long.
// - text/plain (not an attachment), any transfer encoding and charset, also a header-less
//   8-bit body (read as UTF-8 when valid, else ISO-8859-1): decoded, the signature appended
//   after a line break, encoded again with the same encoding where it carries the result,
//   else quoted-printable; when the part's charset cannot write the signature the part
//   becomes UTF-8 (charset parameter changed).
// - multipart/mixed: the signature becomes a new last part (text/plain; charset=utf-8,
//   inline).
// - anything else (multipart/alternative, related, signed, encrypted, text/html, a text/plain
//   that cannot be converted, ...): the original, unchanged inside, becomes the first part of
//   a new multipart/mixed, the signature its second.
// - A signature of blanks and line breaks only adds nothing to a MIME posting.
// - No line of the result passes kMaxLineOctets where it can be helped: a leaf part with a
//   longer line is encoded again (text quoted-printable, other content base64, base64 and
//   quoted-printable content re-wrapped); never inside multipart/signed or
//   multipart/encrypted, nor inside an attached message, which stay byte for byte.
// - A posting whose structure the library reports broken in a way other programs may read
//   otherwise (a multipart without a boundary, without parts or cut short, conflicting Content-*
//   fields, a part without header or content, nesting too deep, an unreadable header line),
//   or whose MIME fields hold control or 8-bit bytes, or whose body holds a NUL byte (which
//   no mail may carry and the library reads headers only up to), keeps its body byte for byte and
//   the signature is left out (LeftOut): changing it could change what members see. Its fields are
//   then the library's reading where the originals may not go out.
// - Every original part decodes to the same bytes afterwards, but the text/plain part that
//   takes the signature (its old text, possibly in UTF-8 now, followed by the signature).
// Unchanged postings keep their MIME field values and body.
DecoratedBody DecorateBody(std::string_view posting, std::string_view signature);

}  // namespace corvanteer::mime
