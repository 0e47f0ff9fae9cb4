// The archive on hostile mail: mbox records split and quoted, message facts read, bodies
// decoded and HTML parts sanitized.
//
// Input: the bytes of an mbox file (or of one message, which is then taken as a record).
//
// Checked: the records lie in order inside the bytes; a message written as a record and read
// back is the same message; what the pages show of a message (facts, body, the sanitized
// HTML of the whole input) is valid UTF-8 and holds no markup that could run or load
// anything: no script, style, iframe, object, embed, img or form element, no event or style
// attribute, and links only to http(s) and mail addresses.

#include <glib.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/FuzzCheck.h"
#include "engine/archive/HtmlSanitizer.h"
#include "engine/archive/HtmlText.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/MessageBody.h"
#include "engine/archive/MessageFacts.h"

namespace corvanteer::fuzz {
namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

bool IsUtf8(std::string_view text) {
    return g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr);
}

// Markup the archive writes itself is a short allow-list; anything else after "<" would be
// the posting's.
void CheckHarmless(const std::string& html) {
    FUZZ_CHECK(IsUtf8(html));
    const std::string lower = Lower(html);
    for (const char* banned : {"<script", "<style", "<iframe", "<object", "<embed", "<img", "<form",
                               "<svg", "<math", "<link", "<meta", "<base", "<!--"}) {
        FUZZ_CHECK(lower.find(banned) == std::string::npos);
    }
    // Inside a tag only the attributes the allow-list writes.
    std::size_t open = lower.find('<');
    while (open != std::string::npos) {
        const std::size_t close = lower.find('>', open);
        FUZZ_CHECK(close != std::string::npos);
        // The tag without its quoted values (the archive escapes every quote inside them).
        std::string tag;
        bool quoted = false;
        for (char c : std::string_view(lower).substr(open, close - open)) {
            if (c == '"') {
                quoted = !quoted;
            } else if (!quoted) {
                tag += c;
            }
        }
        FUZZ_CHECK(!quoted);
        FUZZ_CHECK(tag.find(" on") == std::string::npos);
        // A link leads to the web or to a mail address, nowhere else.
        const std::size_t href = lower.find(" href=\"", open);
        if (href != std::string::npos && href < close) {
            const std::string_view target = std::string_view(lower).substr(href + 7);
            FUZZ_CHECK(target.substr(0, 7) == "http://" || target.substr(0, 8) == "https://" ||
                       target.substr(0, 7) == "mailto:");
        }
        FUZZ_CHECK(tag.find("style=") == std::string::npos);
        FUZZ_CHECK(tag.find("src=") == std::string::npos);
        open = lower.find('<', close);
    }
}

void CheckMessage(const std::string& message) {
    // Written as a record and read back: the same message with LF line ends.
    const std::string record = archive::MboxRecord(message, "sender@example.org", 0);
    const std::vector<archive::MboxSpan> spans = archive::SplitMbox(record);
    FUZZ_CHECK(spans.size() == 1);
    std::string expected;
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (message[i] == '\r' && i + 1 < message.size() && message[i + 1] == '\n') {
            continue;
        }
        expected += message[i];
    }
    if (!expected.empty() && expected.back() != '\n') {
        expected += '\n';
    }
    FUZZ_CHECK(archive::MboxMessage(record, spans[0]) == expected);

    const archive::MessageFacts facts = archive::ReadMessageFacts(message, 0);
    for (const std::string* text : {&facts.subject, &facts.fromName, &facts.fromAddress,
                                    &facts.messageId, &facts.inReplyTo, &facts.dateText}) {
        FUZZ_CHECK(IsUtf8(*text));
        CheckHarmless(archive::Escaped(*text));
    }
    for (bool show : {false, true}) {
        const archive::MessageBody body = archive::RenderMessageBody(message, show);
        CheckHarmless(body.html);
        for (const archive::Attachment& attachment : body.attachments) {
            const std::string& name = attachment.fileName;
            FUZZ_CHECK(!name.empty() && name.size() <= 90 && name[0] != '.');
            FUZZ_CHECK(name.find_first_of("/\\<>\"' ") == std::string::npos);
            const std::string lower = Lower(name);
            FUZZ_CHECK(lower.size() < 5 || lower.substr(lower.size() - 5) != ".html");
        }
    }
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<archive::MboxSpan> spans = archive::SplitMbox(bytes);
    std::size_t previous = 0;
    for (const archive::MboxSpan& span : spans) {
        FUZZ_CHECK(span.begin >= previous && span.begin < span.body && span.body <= span.end &&
                   span.end <= bytes.size());
        previous = span.end;
        fuzz::CheckMessage(archive::MboxMessage(bytes, span));
    }
    if (spans.empty()) {
        fuzz::CheckMessage(bytes);
    }
    for (bool show : {false, true}) {
        fuzz::CheckHarmless(archive::SanitizeHtml(archive::ValidUtf8(bytes), show));
        fuzz::CheckHarmless(archive::TextToHtml(archive::ValidUtf8(bytes), show));
    }
    return 0;
}
