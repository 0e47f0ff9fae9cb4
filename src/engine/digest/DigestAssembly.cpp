#include "engine/digest/DigestAssembly.h"

#include <memory>

#include "engine/mime/MimeLibrary.h"

namespace corvanteer {

namespace {

constexpr size_t kTopicsRuleLength = 70;
constexpr size_t kSeparatorLength = 30;
constexpr const char* kMimeVersionLine = "MIME-Version: 1.0\r\n";
constexpr const char* kPreamble =
    "This is a MIME digest. Each message is an attachment of its own.";

struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
using GText = std::unique_ptr<char, GFree>;

std::string Decoded(const char* text) {
    if (text == nullptr) {
        return {};
    }
    GText decoded(g_mime_utils_header_decode_text(nullptr, text));
    return decoded ? std::string(decoded.get()) : std::string(text);
}

// Text from a message made fit for one line: line breaks of folded or odd headers become
// blanks.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return Trim(text);
}

// "[" + type + " " + file name + " not included]"
std::string OmittedLine(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    std::string line = "[";
    if (type != nullptr) {
        GText mime(g_mime_content_type_get_mime_type(type));
        line += mime ? mime.get() : "application/octet-stream";
    }
    if (GMIME_IS_PART(object)) {
        const char* file = g_mime_part_get_filename(GMIME_PART(object));
        if (file != nullptr && *file != '\0') {
            line += " " + OneLine(file);
        }
    }
    return line + " not included]";
}

bool IsPlainText(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    return GMIME_IS_TEXT_PART(object) && type != nullptr &&
           g_mime_content_type_is_type(type, "text", "plain") &&
           !g_mime_part_is_attachment(GMIME_PART(object));
}

void AppendText(GMimeObject* object, Lines& out) {
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        GMimeContentType* type = g_mime_object_get_content_type(object);
        if (type != nullptr && g_mime_content_type_is_type(type, "multipart", "alternative")) {
            // One of the alternatives is enough: the plain one when there is one.
            GMimeObject* chosen = count > 0 ? g_mime_multipart_get_part(multipart, 0) : nullptr;
            for (int i = 0; i < count; ++i) {
                if (IsPlainText(g_mime_multipart_get_part(multipart, i))) {
                    chosen = g_mime_multipart_get_part(multipart, i);
                    break;
                }
            }
            if (chosen != nullptr) {
                AppendText(chosen, out);
            }
            return;
        }
        for (int i = 0; i < count; ++i) {
            AppendText(g_mime_multipart_get_part(multipart, i), out);
        }
        return;
    }
    if (IsPlainText(object)) {
        Lines lines = TextToLines(mime::TextAsUtf8(GMIME_TEXT_PART(object)));
        while (!lines.empty() && Trim(lines.back()).empty()) {
            lines.pop_back();
        }
        if (!out.empty() && !lines.empty()) {
            out.emplace_back();
        }
        out.insert(out.end(), lines.begin(), lines.end());
        return;
    }
    if (!out.empty()) {
        out.emplace_back();
    }
    out.push_back(OmittedLine(object));
}

std::string Repeat(char c, size_t count) {
    return std::string(count, c);
}

// A boundary that occurs in none of the texts.
std::string Boundary(RandomSource& random, const std::vector<std::string_view>& texts) {
    static constexpr char kChars[] =
        "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    for (;;) {
        std::string boundary = "=_digest_";
        for (int i = 0; i < 24; ++i) {
            boundary += kChars[random.Below(sizeof kChars - 1)];
        }
        bool unused = true;
        for (std::string_view text : texts) {
            if (text.find(boundary) != std::string_view::npos) {
                unused = false;
                break;
            }
        }
        if (unused) {
            return boundary;
        }
    }
}

// A text/plain part of UTF-8 text, in the 7-bit form mail takes everywhere.
mime::Ptr<GMimeTextPart> TextPart(const std::string& text) {
    auto part = mime::Own(g_mime_text_part_new_with_subtype("plain"));
    g_mime_text_part_set_text(part.get(), text.c_str());
    g_mime_part_set_content_encoding(GMIME_PART(part.get()),
                                     g_mime_part_get_best_content_encoding(
                                         GMIME_PART(part.get()), GMIME_ENCODING_CONSTRAINT_7BIT));
    return part;
}

// A message/rfc822 part whose content is the posting's bytes as they are: a parsed and
// rewritten message would not always come out byte for byte (a multipart's epilogue loses
// its CR), and the digest promises each posting exactly as it was distributed.
mime::Ptr<GMimePart> RawMessagePart(const std::string& posting) {
    auto part = mime::Own(g_mime_part_new_with_type("message", "rfc822"));
    auto stream = mime::Own(g_mime_stream_mem_new_with_buffer(posting.data(), posting.size()));
    auto content = mime::Own(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
    g_mime_part_set_content(part.get(), content.get());
    return part;
}

std::string HeaderText(const DigestEnvelope& envelope) {
    std::string text = LinesToText(envelope.headerLines);
    text += kMimeVersionLine;
    return text;
}

std::vector<PostingSummary> Summaries(const std::vector<std::string>& postings) {
    std::vector<PostingSummary> summaries;
    summaries.reserve(postings.size());
    for (const std::string& posting : postings) {
        summaries.push_back(SummarizePosting(posting));
    }
    return summaries;
}

}  // namespace

std::string DigestSubject(std::string_view listName, int volume, int issue) {
    return std::string(listName) + " Digest, Vol " + std::to_string(volume) + ", Issue " +
           std::to_string(issue);
}

PostingSummary SummarizePosting(std::string_view posting) {
    mime::Ptr<GMimeMessage> message = mime::ParseMessage(posting);
    GMimeObject* object = GMIME_OBJECT(message.get());
    PostingSummary summary;
    summary.date = OneLine(Decoded(g_mime_object_get_header(object, "Date")));
    summary.from = OneLine(Decoded(g_mime_object_get_header(object, "From")));
    const char* subject = g_mime_message_get_subject(message.get());
    summary.subject = subject != nullptr ? OneLine(subject) : std::string();
    if (summary.subject.empty()) {
        summary.subject = "(no subject)";
    }
    InternetAddressList* from = g_mime_message_get_from(message.get());
    if (from != nullptr && internet_address_list_length(from) > 0) {
        InternetAddress* address = internet_address_list_get_address(from, 0);
        const char* name = internet_address_get_name(address);
        if (name != nullptr && *name != '\0') {
            summary.name = OneLine(name);
        } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const char* addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
            summary.name = addr != nullptr ? OneLine(addr) : std::string();
        }
    }
    if (summary.name.empty()) {
        summary.name = summary.from;
    }
    return summary;
}

std::string TableOfContents(const std::vector<PostingSummary>& summaries) {
    std::string text = "Today's Topics:\r\n\r\n";
    for (size_t i = 0; i < summaries.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        text += std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') + number + ". ";
        text += summaries[i].subject;
        text += " (" + summaries[i].name + ")\r\n";
    }
    return text;
}

std::string PostingText(std::string_view posting) {
    mime::Ptr<GMimeMessage> message = mime::ParseMessage(posting);
    Lines lines;
    if (GMimeObject* body = g_mime_message_get_mime_part(message.get())) {
        AppendText(body, lines);
    }
    return LinesToText(lines);
}

std::string BuildMimeDigest(const DigestEnvelope& envelope,
                            const std::vector<std::string>& postings, RandomSource& random) {
    mime::EnsureStarted();
    const std::string contents = TableOfContents(Summaries(postings));
    std::vector<std::string_view> texts(postings.begin(), postings.end());
    texts.push_back(contents);

    auto digest = mime::Own(g_mime_multipart_new_with_subtype("digest"));
    g_mime_multipart_set_boundary(digest.get(), Boundary(random, texts).c_str());
    for (const std::string& posting : postings) {
        g_mime_multipart_add(digest.get(), GMIME_OBJECT(RawMessagePart(posting).get()));
    }

    auto mixed = mime::Own(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_set_boundary(mixed.get(), Boundary(random, texts).c_str());
    g_mime_multipart_set_prologue(mixed.get(), kPreamble);
    auto topics = TextPart(contents);
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(topics.get()));
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(digest.get()));
    return HeaderText(envelope) + mime::Serialize(GMIME_OBJECT(mixed.get()));
}

std::string BuildPlainDigest(const DigestEnvelope& envelope,
                             const std::vector<std::string>& postings) {
    mime::EnsureStarted();
    const std::vector<PostingSummary> summaries = Summaries(postings);
    const std::string separator = Repeat('-', kSeparatorLength);
    std::string text = TableOfContents(summaries);
    text += "\r\n" + Repeat('-', kTopicsRuleLength) + "\r\n\r\n";
    for (size_t i = 0; i < postings.size(); ++i) {
        text += "Date: " + summaries[i].date + "\r\n";
        text += "From: " + summaries[i].from + "\r\n";
        text += "Subject: " + summaries[i].subject + "\r\n\r\n";
        for (const std::string& line : TextToLines(PostingText(postings[i]))) {
            text += (line == separator ? " " : "") + line + "\r\n";
        }
        text += "\r\n" + separator + "\r\n\r\n";
    }
    const std::string end =
        "End of " + DigestSubject(envelope.listName, envelope.volume, envelope.issue);
    text += end + "\r\n" + Repeat('*', end.size()) + "\r\n";
    return HeaderText(envelope) + mime::Serialize(GMIME_OBJECT(TextPart(text).get()));
}

}  // namespace corvanteer
