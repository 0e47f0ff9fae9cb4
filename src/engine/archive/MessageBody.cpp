#include "engine/archive/MessageBody.h"

#include <array>
#include <cstdio>

#include "engine/archive/HtmlSanitizer.h"
#include "engine/archive/HtmlText.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

// MIME trees nested deeper than this are not followed further (their parts are left out).
constexpr int kMaxDepth = 32;
constexpr std::size_t kMaxNameLength = 80;

// Endings a browser would show as a page or run; such attachments get ".txt" as well.
constexpr std::array<const char*, 22> kActiveEndings = {
    "htm", "html", "shtml", "xhtml", "xht", "svg", "svgz", "xml",  "xsl", "xslt",   "js",
    "mjs", "mht",  "mhtml", "hta",   "php", "jsp", "asp",  "aspx", "swf", "pdfxml", "wasm"};

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    return contentType != nullptr && g_mime_content_type_is_type(contentType, type, subtype);
}

bool MarkedAttachment(GMimeObject* object) {
    GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
    return disposition != nullptr && g_mime_content_disposition_is_attachment(disposition);
}

std::string TypeText(GMimeObject* object) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    if (contentType == nullptr) {
        return "application/octet-stream";
    }
    const char* type = g_mime_content_type_get_media_type(contentType);
    const char* subtype = g_mime_content_type_get_media_subtype(contentType);
    return LowerCase(std::string(type != nullptr ? type : "application") + "/" +
                     (subtype != nullptr ? subtype : "octet-stream"));
}

class BodyWalker {
public:
    explicit BodyWalker(bool showAddresses) : showAddresses_(showAddresses) {}

    void Walk(GMimeObject* object, int depth) {
        if (object == nullptr || depth > kMaxDepth) {
            return;
        }
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            if (IsType(object, "multipart", "alternative") && count > 0) {
                Walk(Preferred(multipart, count), depth + 1);
                return;
            }
            for (int i = 0; i < count; ++i) {
                Walk(g_mime_multipart_get_part(multipart, i), depth + 1);
            }
            return;
        }
        if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            std::string name = FileNameOf(object);
            Attach(name.empty() ? "message.eml" : name, "message/rfc822",
                   inner != nullptr ? mime::Serialize(GMIME_OBJECT(inner)) : std::string());
            return;
        }
        if (!GMIME_IS_PART(object)) {
            return;
        }
        const bool attachment = MarkedAttachment(object);
        if (!attachment && GMIME_IS_TEXT_PART(object) && IsType(object, "text", "plain")) {
            ShowText(mime::TextAsUtf8(GMIME_TEXT_PART(object)));
            return;
        }
        if (!attachment && GMIME_IS_TEXT_PART(object) && IsType(object, "text", "html")) {
            ShowHtml(mime::TextAsUtf8(GMIME_TEXT_PART(object)));
            return;
        }
        Attach(FileNameOf(object), TypeText(object), mime::DecodedContent(GMIME_PART(object)));
    }

    MessageBody& body() { return body_; }

private:
    // Of an alternative: its plain text when it has one, else its last (richest) part.
    static GMimeObject* Preferred(GMimeMultipart* multipart, int count) {
        for (int i = 0; i < count; ++i) {
            GMimeObject* part = g_mime_multipart_get_part(multipart, i);
            if (GMIME_IS_TEXT_PART(part) && IsType(part, "text", "plain") &&
                !MarkedAttachment(part)) {
                return part;
            }
        }
        return g_mime_multipart_get_part(multipart, count - 1);
    }

    static std::string FileNameOf(GMimeObject* object) {
        const char* name =
            GMIME_IS_PART(object) ? g_mime_part_get_filename(GMIME_PART(object)) : nullptr;
        if (name == nullptr) {
            GMimeContentDisposition* disposition = g_mime_object_get_content_disposition(object);
            name = disposition != nullptr
                       ? g_mime_content_disposition_get_parameter(disposition, "filename")
                       : nullptr;
        }
        return name != nullptr ? OneLine(ValidUtf8(name)) : std::string();
    }

    void ShowText(const std::string& text) {
        std::string_view shown = text;
        while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r' ||
                                  shown.back() == ' ' || shown.back() == '\t')) {
            shown.remove_suffix(1);
        }
        body_.html += "<pre class=\"text\">";
        body_.html += TextToHtml(ValidUtf8(shown), showAddresses_);
        body_.html += "</pre>\n";
    }

    void ShowHtml(const std::string& html) {
        body_.html += "<div class=\"html\">";
        body_.html += SanitizeHtml(ValidUtf8(html), showAddresses_);
        body_.html += "</div>\n";
    }

    void Attach(const std::string& name, const std::string& type, std::string bytes) {
        Attachment attachment;
        attachment.name = name;
        attachment.contentType = type;
        attachment.fileName = std::to_string(body_.attachments.size() + 1) + "-" +
                              SafeFileName(name.empty() ? "attachment" : name);
        attachment.bytes = std::move(bytes);
        body_.attachments.push_back(std::move(attachment));
    }

    bool showAddresses_;
    MessageBody body_;
};

}  // namespace

MessageBody RenderMessageBody(std::string_view message, bool showAddresses) {
    mime::Ptr<GMimeMessage> parsed = mime::ParseMessage(message);
    BodyWalker walker(showAddresses);
    walker.Walk(g_mime_message_get_mime_part(parsed.get()), 0);
    return std::move(walker.body());
}

std::string SafeFileName(std::string_view name) {
    // The last path element only: a name may carry folders of the sender's system.
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        name = name.substr(slash + 1);
    }
    std::string safe;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
        if (c == '_' && !safe.empty() && safe.back() == '_') {
            continue;  // one "_" for a run of characters left out
        }
        safe += c;
    }
    while (!safe.empty() && (safe.front() == '.' || safe.front() == '_')) {
        safe.erase(0, 1);
    }
    if (safe.size() > kMaxNameLength) {
        // Keep the ending, which says what the file is.
        const std::size_t dot = safe.rfind('.');
        const std::string ending =
            dot != std::string::npos && safe.size() - dot <= 10 ? safe.substr(dot) : std::string();
        safe = safe.substr(0, kMaxNameLength - ending.size()) + ending;
    }
    while (!safe.empty() && safe.back() == '.') {
        safe.pop_back();
    }
    if (safe.empty()) {
        safe = "attachment";
    }
    const std::size_t dot = safe.rfind('.');
    if (dot == std::string::npos) {
        // Without an ending a browser may guess the kind from the content.
        safe += ".bin";
    } else {
        const std::string ending = LowerCase(safe.substr(dot + 1));
        for (const char* active : kActiveEndings) {
            if (ending == active) {
                safe += ".txt";
                break;
            }
        }
    }
    return safe;
}

std::string SizeText(uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%llu KB",
                      static_cast<unsigned long long>((bytes + 1023) / 1024));
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    }
    return text;
}

}  // namespace corvanteer::archive
