#include "engine/mime/MimeLibrary.h"

#include <mutex>

namespace corvanteer::mime {

namespace {

// Frees what the library hands out with g_free.
struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};

// The bytes a stream of the library's memory streams holds.
std::string StreamBytes(GMimeStream* stream) {
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    if (array == nullptr || array->len == 0) {
        return {};
    }
    return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

}  // namespace

void EnsureStarted() {
    static std::once_flag started;
    // Started once and never shut down: the library keeps its type registrations for the
    // life of the process, and a shutdown would race with any other thread still using it.
    std::call_once(started, [] { g_mime_init(); });
}

void ObjectUnref::operator()(void* object) const {
    if (object != nullptr) {
        g_object_unref(object);
    }
}

Ptr<GMimeMessage> ParseMessage(std::string_view bytes) {
    EnsureStarted();
    // The memory stream copies the bytes; the parser reads from it.
    auto stream = Own(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    auto parser = Own(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
    Ptr<GMimeMessage> message = Own(g_mime_parser_construct_message(parser.get(), nullptr));
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

std::string Serialize(GMimeObject* object) {
    EnsureStarted();
    auto stream = Own(g_mime_stream_mem_new());
    GMimeFormatOptions* options = g_mime_format_options_clone(nullptr);
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_object_write_to_stream(object, options, stream.get());
    g_mime_format_options_free(options);
    return StreamBytes(stream.get());
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
    if (charset == nullptr) {
        std::string bytes = DecodedContent(GMIME_PART(part));
        if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr)) {
            return bytes;
        }
        std::unique_ptr<char, GFree> converted(g_convert(bytes.data(),
                                                         static_cast<gssize>(bytes.size()), "UTF-8",
                                                         "ISO-8859-1", nullptr, nullptr, nullptr));
        return converted ? std::string(converted.get()) : bytes;
    }
    std::unique_ptr<char, GFree> text(g_mime_text_part_get_text(part));
    return text ? std::string(text.get()) : std::string();
}

}  // namespace corvanteer::mime
