#include "engine/archive/MessageFacts.h"

#include "engine/archive/HtmlText.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Sha256.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

// At most this many References are kept: enough for any real thread, and a header of
// thousands cannot make the threading slow.
constexpr std::size_t kMaxReferences = 64;

// The header of a message with the empty line that ends it.
std::string_view HeaderOf(std::string_view message) {
    std::size_t pos = 0;
    while (pos < message.size()) {
        const std::size_t lf = message.find('\n', pos);
        if (lf == std::string_view::npos) {
            return message;
        }
        const std::string_view line = message.substr(pos, lf - pos);
        if (line.empty() || line == "\r") {
            return message.substr(0, lf + 1);
        }
        pos = lf + 1;
    }
    return message;
}

std::vector<std::string> ParseIds(const char* value) {
    std::vector<std::string> ids;
    if (value == nullptr) {
        return ids;
    }
    GMimeReferences* refs = g_mime_references_parse(nullptr, value);
    if (refs == nullptr) {
        return ids;
    }
    const int count = g_mime_references_length(refs);
    for (int i = 0; i < count; ++i) {
        const char* id = g_mime_references_get_message_id(refs, i);
        if (id != nullptr && *id != '\0') {
            ids.push_back(ValidUtf8(id));
        }
    }
    g_mime_references_free(refs);
    return ids;
}

}  // namespace

MessageFacts ReadMessageFacts(std::string_view message, int64_t fallbackDate) {
    mime::Ptr<GMimeMessage> parsed = mime::ParseMessage(HeaderOf(message));
    GMimeObject* object = GMIME_OBJECT(parsed.get());
    MessageFacts facts;

    const char* id = g_mime_message_get_message_id(parsed.get());
    facts.messageId = id != nullptr ? OneLine(ValidUtf8(id)) : std::string();

    const std::vector<std::string> replyTo =
        ParseIds(g_mime_object_get_header(object, "In-Reply-To"));
    if (!replyTo.empty()) {
        facts.inReplyTo = replyTo.front();
    }
    facts.references = ParseIds(g_mime_object_get_header(object, "References"));
    if (facts.references.size() > kMaxReferences) {
        // The oldest (the thread's start) and the latest ones matter.
        facts.references.erase(facts.references.begin() + 1,
                               facts.references.end() - (kMaxReferences - 1));
    }

    const char* subject = g_mime_message_get_subject(parsed.get());
    facts.subject = subject != nullptr ? OneLine(ValidUtf8(subject)) : std::string();

    InternetAddressList* from = g_mime_message_get_from(parsed.get());
    if (from != nullptr && internet_address_list_length(from) > 0) {
        InternetAddress* address = internet_address_list_get_address(from, 0);
        const char* name = internet_address_get_name(address);
        facts.fromName = name != nullptr ? OneLine(ValidUtf8(name)) : std::string();
        if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            facts.fromAddress = addr != nullptr ? OneLine(ValidUtf8(addr)) : std::string();
        }
    }

    facts.date = fallbackDate;
    if (GDateTime* date = g_mime_message_get_date(parsed.get())) {
        facts.date = g_date_time_to_unix(date);
        if (gchar* text = g_date_time_format(date, "%Y-%m-%d %H:%M %z")) {
            facts.dateText = text;
            g_free(text);
        }
    }
    if (facts.dateText.empty()) {
        GDateTime* utc = g_date_time_new_from_unix_utc(facts.date);
        if (utc != nullptr) {
            gchar* text = g_date_time_format(utc, "%Y-%m-%d %H:%M %z");
            facts.dateText = text != nullptr ? text : "";
            g_free(text);
            g_date_time_unref(utc);
        }
    }
    return facts;
}

std::string IdFromHash(std::string_view hash) {
    return "no-id." + std::string(hash.substr(0, 32)) + "@archive.invalid";
}

std::string IdFromHeader(std::string_view value) {
    const std::size_t open = value.find('<');
    if (open != std::string_view::npos) {
        const std::size_t close = value.find('>', open + 1);
        if (close != std::string_view::npos) {
            return Trim(value.substr(open + 1, close - open - 1));
        }
    }
    return Trim(value);
}

std::string MessagePageOf(std::string_view messageId) {
    return "msg/" + Sha256Hex(messageId).substr(0, 20) + ".html";
}

}  // namespace corvanteer::archive
