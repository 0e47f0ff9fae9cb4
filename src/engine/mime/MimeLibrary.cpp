#include "engine/mime/MimeLibrary.h"

#include <algorithm>
#include <mutex>

#include "support/Text.h"

namespace corvanteer::mime {

namespace {

// The bytes a stream of the library's memory streams holds.
std::string StreamBytes(GMimeStream* stream) {
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (array == nullptr || array->len == 0) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

// Parser options that collect the parser's warnings into issues (none when issues is null).
class ParserOptions {
public:
    explicit ParserOptions(std::vector<ParseIssue>* issues)
        : options_(g_mime_parser_options_new()) {
        if (issues != nullptr) {
            g_mime_parser_options_set_warning_callback(options_, &Collect, issues);
        }
    }
    ~ParserOptions() { g_mime_parser_options_free(options_); }
    ParserOptions(const ParserOptions&) = delete;
    ParserOptions& operator=(const ParserOptions&) = delete;

    GMimeParserOptions* get() const { return options_; }

private:
    static void Collect(gint64 /*offset*/, GMimeParserWarning code, const gchar* item,
                        gpointer issues) {
        static_cast<std::vector<ParseIssue>*>(issues)->push_back(
            ParseIssue{static_cast<int>(code), item != nullptr ? item : ""});
    }

    GMimeParserOptions* options_;
};

Ptr<GMimeParser> ParserOver(std::string_view bytes, GMimeFormat format) {
    // The memory stream copies the bytes; the parser reads from it.
    auto stream = Own(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    auto parser = Own(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), format);
    return parser;
}

// Writes the object, or its content alone, with CR LF line ends everywhere.
std::string Write(GMimeObject* object, bool withHeader) {
    EnsureStarted();
    auto memory = Own(g_mime_stream_mem_new());
    // The library writes preambles and epilogues with the line ends it read them with (LF);
    // the filter makes every bare LF a CR LF and leaves CR LF alone.
    auto filtered = Own(g_mime_stream_filter_new(memory.get()));
    auto toDos = Own(g_mime_filter_unix2dos_new(FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), toDos.get());
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    if (withHeader) {
        g_mime_object_write_to_stream(object, options, filtered.get());
    } else {
        g_mime_object_write_content_to_stream(object, options, filtered.get());
    }
    g_mime_stream_flush(filtered.get());
    g_mime_format_options_free(options);
    return StreamBytes(memory.get());
}

}  // namespace

void EnsureStarted() {
    static std::once_flag started;
    // Started once and never shut down: the library keeps its type registrations for the
    // life of the process, and a shutdown would race with any other thread still using it.
    std::call_once(started, [] { g_mime_init(); });
}

void GFree::operator()(void* memory) const {
    g_free(memory);
}

void ObjectUnref::operator()(void* object) const {
    if (object != nullptr) {
        g_object_unref(object);
    }
}

Ptr<GMimeMessage> ParseMessage(std::string_view bytes, std::vector<ParseIssue>* issues) {
    EnsureStarted();
    ParserOptions options(issues);
    auto parser = ParserOver(bytes, GMIME_FORMAT_MESSAGE);
    Ptr<GMimeMessage> message = Own(g_mime_parser_construct_message(parser.get(), options.get()));
    if (message) {
        return message;
    }
    // No header the parser could read: the bytes become the body of a header-less message.
    message = Own(g_mime_message_new(FALSE));
    auto body = Own(g_mime_text_part_new());
    g_mime_text_part_set_text(body.get(), std::string(bytes).c_str());
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(body.get()));
    return message;
}

Ptr<GMimeObject> ParseEntity(std::string_view bytes, std::vector<ParseIssue>* issues) {
    EnsureStarted();
    ParserOptions options(issues);
    auto parser = ParserOver(bytes, GMIME_FORMAT_MESSAGE);
    Ptr<GMimeObject> entity = Own(g_mime_parser_construct_part(parser.get(), options.get()));
    if (entity) {
        return entity;
    }
    auto part = Own(g_mime_part_new_with_type("text", "plain"));
    auto content = Own(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    auto wrapper =
        Own(g_mime_data_wrapper_new_with_stream(content.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), wrapper.get());
    return Ptr<GMimeObject>(GMIME_OBJECT(part.release()));
}

std::string Serialize(GMimeObject* object) {
    return Write(object, true);
}

std::string SerializeContent(GMimeObject* object) {
    return Write(object, false);
}

std::string DecodedContent(GMimePart* part) {
    EnsureStarted();
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (content == nullptr) {
        return {};
    }
    auto stream = Own(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, stream.get());
    return StreamBytes(stream.get());
}

std::string TextAsUtf8(GMimeTextPart* part) {
    EnsureStarted();
    const char* charset = g_mime_text_part_get_charset(part);
    std::string bytes = DecodedContent(GMIME_PART(part));
    if (charset == nullptr) {
        return AsUtf8(bytes);
    }
    std::string converted;
    if (ConvertCharset(bytes, charset, "utf-8", converted)) {
        return converted;
    }
    // UTF-8 with invalid sequences reads as mail programs show it: each one replaced.
    if (g_ascii_strcasecmp(g_mime_charset_canon_name(charset), "utf-8") == 0) {
        GText valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())));
        return std::string(valid.get());
    }
    // Bytes the charset does not have (or a charset nobody knows): read as text without one.
    return AsUtf8(bytes);
}

bool IsUtf8(std::string_view text) {
    return g_utf8_validate_len(text.data(), text.size(), nullptr);
}

std::string AsUtf8(std::string_view text) {
    std::string converted;
    if (IsUtf8(text) || !ConvertCharset(text, "iso-8859-1", "utf-8", converted)) {
        return std::string(text);
    }
    return converted;
}

bool IsSevenBit(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

std::size_t LongestLine(std::string_view text) {
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        std::size_t length = stop - start;
        if (end != std::string_view::npos && length > 0 && text[stop - 1] == '\r') {
            --length;
        }
        longest = std::max(longest, length);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return longest;
}

bool ConvertCharset(std::string_view text, std::string_view from, std::string_view to,
                    std::string& out) {
    EnsureStarted();
    const std::string fromName(from);
    const std::string toName(to);
    gsize read = 0;
    gsize written = 0;
    GError* error = nullptr;
    GText converted(g_convert(
        text.data(), static_cast<gssize>(text.size()), g_mime_charset_iconv_name(toName.c_str()),
        g_mime_charset_iconv_name(fromName.c_str()), &read, &written, &error));
    if (error != nullptr) {
        g_error_free(error);
        return false;
    }
    // A partial character at the end is no error to the converter, but it is to us.
    if (!converted || read != text.size()) {
        return false;
    }
    out.assign(converted.get(), written);
    return true;
}

std::string UnfoldedValue(std::string_view folded) {
    EnsureStarted();
    GText unfolded(g_mime_utils_header_unfold(std::string(folded).c_str()));
    return unfolded ? Trim(unfolded.get()) : std::string();
}

}  // namespace corvanteer::mime
