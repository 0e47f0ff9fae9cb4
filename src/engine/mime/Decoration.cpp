#include "engine/mime/Decoration.h"

#include <cstring>
#include <memory>
#include <vector>

#include "engine/mime/MimeLibrary.h"
#include "support/HeaderFields.h"
#include "support/Text.h"

namespace corvanteer::mime {

namespace {

// Calls emit(line, broken) for every line of text cut at CR LF, LF or a lone CR; broken says
// whether a break followed the line.
template <typename Emit>
void ForEachLine(std::string_view text, Emit emit) {
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            emit(text.substr(start, i - start), true);
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < text.size()) {
        emit(text.substr(start), false);
    }
}

// Every line of text followed by CR LF, as the scan's line lists give a body.
void AppendCrLfLines(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + text.size() / 32 + 2);
    ForEachLine(text, [&](std::string_view line, bool) {
        out += line;
        out += "\r\n";
    });
}

// The text with every line break (CR LF, LF, lone CR) written as newline; no break added.
std::string WithBreaks(std::string_view text, std::string_view newline) {
    std::string out;
    ForEachLine(text, [&](std::string_view line, bool broken) {
        out += line;
        if (broken) {
            out += newline;
        }
    });
    return out;
}

// The posting's Content-* header lines (with their continuation lines) and its body, cut at
// the first empty line as the scan cuts a downloaded message.
struct PostingParts {
    Lines header;      // every header line as it came, for the field values
    Lines mimeHeader;  // the well-formed Content-* lines alone
    std::string_view body;
};

// "Name: value" with a name of visible ASCII characters: a line the MIME library reads as a
// header field (others would end its header early).
bool IsFieldLine(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return false;
    }
    for (char c : line.substr(0, colon)) {
        if (c < 33 || c > 126) {
            return false;
        }
    }
    return true;
}

PostingParts SplitPosting(std::string_view posting) {
    PostingParts parts;
    Lines field;  // the Content-* field being read, with its continuation lines
    bool blank = true;
    auto endField = [&] {
        // An empty field is no field (as GetHeaderValue reads it), not a broken one.
        if (!blank) {
            parts.mimeHeader.insert(parts.mimeHeader.end(), field.begin(), field.end());
        }
        field.clear();
        blank = true;
    };
    size_t start = 0;
    while (start < posting.size()) {
        size_t end = posting.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = posting.size();
        }
        size_t next = end;
        if (next < posting.size()) {
            next +=
                (posting[next] == '\r' && next + 1 < posting.size() && posting[next + 1] == '\n')
                    ? 2
                    : 1;
        }
        if (end == start) {
            parts.body = posting.substr(next);
            break;
        }
        const std::string_view raw = posting.substr(start, end - start);
        // A header line ends at a NUL byte for the library: so it does in what it reads.
        const std::string_view line = raw.substr(0, raw.find('\0'));
        const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (!continuation) {
            endField();
            if (StartsWithText(line, "content-") && IsFieldLine(line)) {
                field.emplace_back(line);
                blank = Trim(line.substr(line.find(':') + 1)).empty();
            }
        } else if (!field.empty()) {
            field.emplace_back(line);
            blank = blank && Trim(line).empty();
        }
        parts.header.emplace_back(raw);
        start = next;
    }
    endField();
    return parts;
}

// The Content-* lines, an empty line, the body lines.
std::string EntityOf(const PostingParts& parts) {
    std::string entity;
    for (const std::string& line : parts.mimeHeader) {
        entity += line;
        entity += "\r\n";
    }
    entity += "\r\n";
    AppendCrLfLines(entity, parts.body);
    return entity;
}

// Printable ASCII and tabs only.
bool IsPlainValue(std::string_view value) {
    for (unsigned char c : value) {
        if ((c < 0x20 && c != '\t') || c > 0x7E) {
            return false;
        }
    }
    return true;
}

// How many lines of the header carry the field, and whether all of them, continuation lines
// included, are printable ASCII and tabs (GetHeaderValue trims control bytes away, which
// the library may read otherwise).
struct FieldLines {
    int count = 0;
    bool plain = true;
};

FieldLines LinesOf(const Lines& header, std::string_view name) {
    FieldLines field;
    bool inField = false;
    for (const std::string& line : header) {
        const bool continuation = !line.empty() && (line.front() == ' ' || line.front() == '\t');
        if (!continuation) {
            const size_t colon = line.find(':');
            inField = colon != std::string::npos && SameText(line.substr(0, colon), name);
            field.count += inField;
        }
        if (inField) {
            field.plain = field.plain && IsPlainValue(line);
        }
    }
    return field;
}

GMimeContentEncoding EncodingOf(GMimeObject* object) {
    return GMIME_IS_PART(object) ? g_mime_part_get_content_encoding(GMIME_PART(object))
                                 : GMIME_CONTENT_ENCODING_DEFAULT;
}

// The library's folding of a Content-Type parameter runs without end (and without bound in
// memory) for some names of about 70 octets whose value needs encoding. No parameter a reader
// knows has a name anywhere near that long.
constexpr std::size_t kMaxParameterName = 40;

bool IsOverlongParameter(GMimeParam* param) {
    const char* name = g_mime_param_get_name(param);
    return name != nullptr && std::strlen(name) > kMaxParameterName;
}

// A part whose Content-Type the library must never encode (nor change, which encodes it).
bool HasOverlongParameter(GMimeObject* object) {
    GMimeParamList* list =
        g_mime_content_type_get_parameters(g_mime_object_get_content_type(object));
    const int count = list != nullptr ? g_mime_param_list_length(list) : 0;
    for (int i = 0; i < count; ++i) {
        if (IsOverlongParameter(g_mime_param_list_get_parameter_at(list, i))) {
            return true;
        }
    }
    return false;
}

// The Content-Type value as the library reads it; parameters of an overlong name are left out.
std::string ContentTypeValue(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    Ptr<GMimeContentType> shortened;
    if (HasOverlongParameter(object)) {
        // A type of its own: the part's, changed, would be encoded into its header at once.
        shortened = Own(g_mime_content_type_new(g_mime_content_type_get_media_type(type),
                                                g_mime_content_type_get_media_subtype(type)));
        GMimeParamList* list = g_mime_content_type_get_parameters(type);
        for (int i = 0; i < g_mime_param_list_length(list); ++i) {
            GMimeParam* param = g_mime_param_list_get_parameter_at(list, i);
            if (!IsOverlongParameter(param)) {
                g_mime_content_type_set_parameter(shortened.get(), g_mime_param_get_name(param),
                                                  g_mime_param_get_value(param));
            }
        }
        type = shortened.get();
    }
    GText encoded(g_mime_content_type_encode(type, nullptr));
    return encoded ? UnfoldedValue(encoded.get()) : std::string();
}

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
    return g_mime_content_type_is_type(g_mime_object_get_content_type(object), type, subtype);
}

// Gives the part new decoded content, to be written in the given encoding.
void SetContent(GMimePart* part, std::string_view bytes, GMimeContentEncoding encoding) {
    auto stream = Own(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    auto wrapper =
        Own(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part, wrapper.get());
    g_mime_part_set_content_encoding(part, encoding);
}

// The encoding a text takes: the part's own where it can carry the text (7bit only 7-bit
// text, 7bit, 8bit and binary only lines up to the limit), else quoted-printable.
GMimeContentEncoding TextEncoding(GMimeContentEncoding original, std::string_view text) {
    switch (original) {
        case GMIME_CONTENT_ENCODING_BASE64:
        case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
        case GMIME_CONTENT_ENCODING_UUENCODE:
            return original;
        case GMIME_CONTENT_ENCODING_DEFAULT:
        case GMIME_CONTENT_ENCODING_7BIT:
            return IsSevenBit(text) && LongestLine(text) <= kMaxLineOctets
                       ? original
                       : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
        default:
            return LongestLine(text) <= kMaxLineOctets ? original
                                                       : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    }
}

// A charset in which CR LF and the other ASCII characters are written as in ASCII, so that
// bytes in it can be joined at line breaks (not UTF-16, for one).
bool AsciiCompatible(const std::string& charset) {
    std::string newline;
    return ConvertCharset("\r\n", "utf-8", charset, newline) && newline == "\r\n";
}

// The multipart/signed and multipart/encrypted of the original, and attached messages, are
// left byte for byte; leaf parts elsewhere with a line over the limit are encoded again.
// True when a part was.
bool ShortenLongLines(GMimeObject* object) {
    if (GMIME_IS_MULTIPART_SIGNED(object) || GMIME_IS_MULTIPART_ENCRYPTED(object)) {
        return false;
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        bool any = false;
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
            any = ShortenLongLines(g_mime_multipart_get_part(multipart, i)) || any;
        }
        return any;
    }
    if (!GMIME_IS_PART(object) || LongestLine(SerializeContent(object)) <= kMaxLineOctets) {
        return false;
    }
    GMimePart* part = GMIME_PART(object);
    GMimeContentEncoding encoding = g_mime_part_get_content_encoding(part);
    if (encoding != GMIME_CONTENT_ENCODING_BASE64 &&
        encoding != GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) {
        encoding = IsType(object, "text", "*") ? GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE
                                               : GMIME_CONTENT_ENCODING_BASE64;
    }
    // New content written fresh: base64 and quoted-printable come out re-wrapped.
    SetContent(part, DecodedContent(part), encoding);
    return true;
}

// Appends the signature to a text/plain part in its own charset, or in UTF-8 when that
// cannot write it. False, with the part unchanged, when the text cannot be converted either.
bool AppendToText(GMimePart* part, const std::string& signature) {
    GMimeObject* object = GMIME_OBJECT(part);
    if (HasOverlongParameter(object)) {
        return false;  // a charset label would encode its Content-Type
    }
    const std::string bytes = DecodedContent(part);
    const char* declared = g_mime_object_get_content_type_parameter(object, "charset");
    std::string charset = declared != nullptr ? declared : "";
    // Text without a charset: ASCII as MIME says; other bytes were sent without a label, and
    // UTF-8 or ISO-8859-1 is how a mail program reads them.
    bool label = false;
    if (charset.empty()) {
        label = !IsSevenBit(bytes);
        charset = !label ? "us-ascii" : IsUtf8(bytes) ? "utf-8" : "iso-8859-1";
    }

    std::string text;
    std::string tail;
    std::string readable;  // the text reads in its charset (else no signature joins it)
    if (AsciiCompatible(charset) && ConvertCharset(bytes, charset, "utf-8", readable) &&
        ConvertCharset(signature, "utf-8", charset, tail)) {
        text = bytes;
    } else if (ConvertCharset(bytes, charset, "utf-8", text) &&
               (!GMIME_IS_TEXT_PART(part) || text == TextAsUtf8(GMIME_TEXT_PART(part)))) {
        // In UTF-8 only when the text then reads as it did: a part whose bytes its label (or
        // the lack of one) reads otherwise keeps them, and the signature goes apart.
        tail = signature;
        charset = "utf-8";
        label = true;
    } else {
        return false;
    }

    const std::string_view newline = text.find("\r\n") != std::string::npos ? "\r\n"
                                     : text.find('\n') != std::string::npos ? "\n"
                                                                            : "\r\n";
    if (!text.empty() && text.back() != '\n' && text.back() != '\r') {
        text += newline;
    }
    text += WithBreaks(tail, newline);
    text += newline;
    if (label) {
        g_mime_object_set_content_type_parameter(object, "charset", charset.c_str());
    }
    SetContent(part, text, TextEncoding(g_mime_part_get_content_encoding(part), text));
    return true;
}

// The signature as a part of its own: text/plain; charset=utf-8, inline.
Ptr<GMimeObject> SignaturePart(const std::string& signature) {
    Ptr<GMimeObject> part(GMIME_OBJECT(g_mime_part_new_with_type("text", "plain")));
    g_mime_object_set_content_type_parameter(part.get(), "charset", "utf-8");
    g_mime_object_set_disposition(part.get(), "inline");
    const std::string text = WithBreaks(signature, "\r\n") + "\r\n";
    SetContent(GMIME_PART(part.get()), text,
               IsSevenBit(text) && LongestLine(text) <= kMaxLineOctets
                   ? GMIME_CONTENT_ENCODING_7BIT
                   : GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
    return part;
}

// A boundary found in neither text: derived from their bytes, so the same posting always
// gets the same one. "=_" never occurs in base64 or quoted-printable content.
std::string BoundaryFor(std::string_view original, std::string_view signature) {
    for (unsigned salt = 0;; ++salt) {
        std::string seed(original);
        seed += signature;
        seed += std::to_string(salt);
        GText digest(g_compute_checksum_for_data(
            G_CHECKSUM_SHA1, reinterpret_cast<const guchar*>(seed.data()), seed.size()));
        const std::string boundary = "=_corvanteer_" + std::string(digest.get()).substr(0, 24);
        if (original.find(boundary) == std::string_view::npos &&
            signature.find(boundary) == std::string_view::npos) {
            return boundary;
        }
    }
}

// Asked for a boundary it lacks, the library makes a random one up: this asks the header.
bool HasBoundary(GMimeObject* multipart) {
    return g_mime_object_get_content_type_parameter(multipart, "boundary") != nullptr;
}

// A multipart/mixed that a new last part can join: its boundary known and parts read.
bool IsMixedWithParts(GMimeObject* object) {
    return GMIME_IS_MULTIPART(object) && !GMIME_IS_MULTIPART_SIGNED(object) &&
           !GMIME_IS_MULTIPART_ENCRYPTED(object) && IsType(object, "multipart", "mixed") &&
           HasBoundary(object) && g_mime_multipart_get_count(GMIME_MULTIPART(object)) > 0;
}

// True when the part's written content holds the multipart's boundary: as its part, it would
// cut the multipart short (a signature line "---" against a boundary "-").
bool HoldsBoundary(GMimeObject* part, GMimeObject* multipart) {
    const std::string boundary = g_mime_object_get_content_type_parameter(multipart, "boundary");
    return SerializeContent(part).find("--" + boundary) != std::string::npos;
}

// True when the written multipart closes after its last part. The library leaves the close
// delimiter out when the posting had none (as it reads it), and the new part would then run
// to the end of the message.
bool ClosesAfterLastPart(std::string_view content, GMimeObject* multipart) {
    const std::string boundary = g_mime_object_get_content_type_parameter(multipart, "boundary");
    const size_t last = content.rfind("\n--" + boundary + "\r\n");
    return last != std::string_view::npos &&
           content.find("\n--" + boundary + "--", last) != std::string_view::npos;
}

// A structure other programs may read otherwise than the library does (a multipart without
// a boundary, without parts or cut short, conflicting fields, a part without header or
// content, nesting past the library's limit, a header it cannot read): the list cannot
// change it safely.
bool IsBroken(const std::vector<ParseIssue>& issues) {
    for (const ParseIssue& issue : issues) {
        switch (issue.code) {
            case GMIME_CRIT_INVALID_HEADER_NAME:
            case GMIME_CRIT_CONFLICTING_HEADER:
            case GMIME_CRIT_CONFLICTING_PARAMETER:
            case GMIME_CRIT_MULTIPART_WITHOUT_BOUNDARY:
            case GMIME_CRIT_NESTING_OVERFLOW:
            case GMIME_CRIT_PART_WITHOUT_HEADERS_OR_CONTENT:
            case GMIME_WARN_MALFORMED_MULTIPART:
            case GMIME_WARN_TRUNCATED_MESSAGE:
            case GMIME_WARN_PART_WITHOUT_CONTENT:
                return true;
            default:
                break;
        }
    }
    return false;
}

bool IsPlainTextBody(GMimeObject* object) {
    const char* disposition = g_mime_object_get_disposition(object);
    return GMIME_IS_PART(object) && IsType(object, "text", "plain") &&
           (disposition == nullptr || g_ascii_strcasecmp(disposition, "attachment") != 0);
}

std::string EncodingName(GMimeContentEncoding encoding) {
    const char* name = g_mime_content_encoding_to_string(encoding);
    return name != nullptr ? name : "";
}

}  // namespace

std::string MimeEntity(std::string_view posting) {
    return EntityOf(SplitPosting(posting));
}

DecoratedBody DecorateBody(std::string_view posting, std::string_view signatureAsStored) {
    // A NUL byte has no place in mail and would end the text for the library's readers.
    std::string signature(signatureAsStored);
    std::erase(signature, '\0');
    const PostingParts parts = SplitPosting(posting);
    const BodyFields original{GetHeaderValue("MIME-Version", parts.header),
                              GetHeaderValue("Content-Type", parts.header),
                              GetHeaderValue("Content-Transfer-Encoding", parts.header)};

    const std::string entity = EntityOf(parts);
    size_t bodyStart = 2;  // the empty line
    for (const std::string& line : parts.mimeHeader) {
        bodyStart += line.size() + 2;
    }
    const std::string_view body = std::string_view(entity).substr(bodyStart);

    const bool withoutMime = Trim(original.mimeVersion).empty() &&
                             Trim(original.contentType).empty() &&
                             Trim(original.contentTransferEncoding).empty();
    // The described layout: the body lines, then the signature as one entry.
    auto described = [&] {
        DecoratedBody result;
        result.body.reserve(body.size() + signature.size() + 2);
        result.body = body;
        result.body += WithBreaks(signature, "\r\n");
        result.body += "\r\n";
        result.signature = SignaturePlace::AfterText;
        return result;
    };
    if (withoutMime && IsSevenBit(body) && IsSevenBit(signature) &&
        LongestLine(body) <= kMaxLineOctets && LongestLine(signature) <= kMaxLineOctets) {
        return described();
    }

    const std::string utf8Signature = AsUtf8(signature);
    const bool withSignature = !Trim(utf8Signature).empty();
    std::vector<ParseIssue> issues;
    Ptr<GMimeObject> top = ParseEntity(entity, &issues);
    const std::string typeBefore = ContentTypeValue(top.get());
    const GMimeContentEncoding encodingBefore = EncodingOf(top.get());
    // A field given twice reads as both values joined with ",", which describes nothing: the
    // value the library took stands for it. Control or 8-bit bytes may not go out and leave
    // the library's reading of the structure in doubt: the library's reading goes out and
    // the posting is not changed.
    BodyFields kept = original;
    bool doubtful = false;
    auto unfit = [&](const char* name) {
        const FieldLines field = LinesOf(parts.header, name);
        doubtful = doubtful || !field.plain;
        return field.count > 1 || !field.plain;
    };
    if (unfit("Content-Type")) {
        kept.contentType = typeBefore;
    }
    if (unfit("Content-Transfer-Encoding")) {
        kept.contentTransferEncoding = EncodingName(encodingBefore);
    }
    if (unfit("MIME-Version")) {
        kept.mimeVersion = "1.0";
    }
    // A NUL byte has no place in mail, and the library reads a part's header line only up
    // to one: written again, such a part could change.
    doubtful = doubtful || body.find('\0') != std::string_view::npos;
    if (doubtful || IsBroken(issues)) {
        return DecoratedBody{kept, std::string(body), SignaturePlace::LeftOut};
    }

    bool changed = ShortenLongLines(top.get());
    SignaturePlace place = SignaturePlace::None;
    if (withSignature) {
        changed = true;
        place = SignaturePlace::NewMixed;
        if (IsPlainTextBody(top.get())) {
            if (AppendToText(GMIME_PART(top.get()), utf8Signature)) {
                place = SignaturePlace::AfterText;
            }
        } else if (IsMixedWithParts(top.get()) &&
                   !HoldsBoundary(SignaturePart(utf8Signature).get(), top.get())) {
            place = SignaturePlace::LastPart;
        }
    }
    if (!changed) {
        // Nothing to add and nothing too long: a posting without MIME lines keeps the
        // described layout (8-bit text as it came), any other its body as it is.
        return withoutMime ? described() : DecoratedBody{kept, std::string(body)};
    }

    DecoratedBody result;
    // A body whose description changes is described as MIME; one that keeps its fields keeps
    // them all (a Content-Type without MIME-Version included).
    const std::string mimeVersion = Trim(kept.mimeVersion).empty() ? "1.0" : kept.mimeVersion;
    result.fields.mimeVersion = mimeVersion;
    result.signature = place;
    if (place == SignaturePlace::LastPart) {
        GMimeMultipart* multipart = GMIME_MULTIPART(top.get());
        Ptr<GMimeObject> part = SignaturePart(utf8Signature);
        g_mime_multipart_add(multipart, part.get());
        result.body = SerializeContent(top.get());
        if (ClosesAfterLastPart(result.body, top.get())) {
            result.fields.mimeVersion = kept.mimeVersion;
            result.fields.contentType = kept.contentType;
            result.fields.contentTransferEncoding = kept.contentTransferEncoding;
            return result;
        }
        Ptr<GMimeObject> removed(
            g_mime_multipart_remove_at(multipart, g_mime_multipart_get_count(multipart) - 1));
        result.signature = SignaturePlace::NewMixed;
    }
    if (result.signature == SignaturePlace::NewMixed) {
        Ptr<GMimeObject> mixed(GMIME_OBJECT(g_mime_multipart_new_with_subtype("mixed")));
        g_mime_multipart_set_boundary(GMIME_MULTIPART(mixed.get()),
                                      BoundaryFor(entity, utf8Signature).c_str());
        Ptr<GMimeObject> part = SignaturePart(utf8Signature);
        g_mime_multipart_add(GMIME_MULTIPART(mixed.get()), top.get());
        g_mime_multipart_add(GMIME_MULTIPART(mixed.get()), part.get());
        result.fields.contentType = ContentTypeValue(mixed.get());
        result.fields.contentTransferEncoding.clear();
        result.body = SerializeContent(mixed.get());
        return result;
    }
    const std::string typeAfter = ContentTypeValue(top.get());
    const GMimeContentEncoding encodingAfter = EncodingOf(top.get());
    result.fields.contentType = typeAfter == typeBefore ? kept.contentType : typeAfter;
    result.fields.contentTransferEncoding = encodingAfter == encodingBefore
                                                ? kept.contentTransferEncoding
                                                : EncodingName(encodingAfter);
    if (typeAfter == typeBefore && encodingAfter == encodingBefore) {
        result.fields.mimeVersion = kept.mimeVersion;
    }
    result.body = SerializeContent(top.get());
    return result;
}

}  // namespace corvanteer::mime
