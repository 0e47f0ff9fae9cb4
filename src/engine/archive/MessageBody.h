#pragma once

// The readable content of one archived message: its text parts decoded to UTF-8 and made
// into HTML, and its attachments with safe file names.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::archive {

struct Attachment {
    std::string name;      // as the message names it (decoded), or "" when it names none
    std::string fileName;  // safe file name it is written under: "<n>-<name>"
    std::string contentType;
    std::string bytes;  // decoded content
};

struct MessageBody {
    std::string html;  // the parts shown, in order, each one element
    std::vector<Attachment> attachments;
};

// Walks the message's MIME tree: of a multipart/alternative the plain text is shown (the
// HTML through SanitizeHtml when it has none); every other part shown inline is text/plain
// (in a <pre> with web addresses as links) or text/html (sanitized); everything else, and any
// part marked as an attachment, is an attachment. Transfer encodings and charsets are undone
// (mime::TextAsUtf8). Addresses in the text are hidden unless showAddresses.
MessageBody RenderMessageBody(std::string_view message, bool showAddresses);

// A file name that is safe on any system and never shown by a browser as a page: letters,
// digits, ".", "-" and "_" only (others become "_"), no leading dot, at most 80 characters,
// "attachment" when nothing is left; ".bin" appended to a name without an ending and ".txt"
// to one that a browser would render as HTML, SVG or XML or run as a script.
std::string SafeFileName(std::string_view name);

// "512 bytes", "12 KB", "3.4 MB".
std::string SizeText(uint64_t bytes);

}  // namespace corvanteer::archive
