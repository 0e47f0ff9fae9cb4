#include "engine/mime/HeaderText.h"

#include <array>
#include <memory>

#include "engine/mime/MimeLibrary.h"
#include "support/Text.h"

namespace corvanteer::mime {

namespace {

std::string Take(GText text) {
    return text ? std::string(text.get()) : std::string();
}

bool TooLong(std::string_view line) {
    return LongestLine(line) > kMaxLineOctets;
}

// RFC 5322 atext, and "." (which older mail writes unquoted in names).
bool IsWordCharacter(char c) {
    static constexpr std::string_view kSpecials = "!#$%&'*+-/=?^_`{|}~.";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kSpecials.find(c) != std::string_view::npos;
}

// Words and quoted strings of printable ASCII separated by blanks: a name that may stand
// before an address as it is.
bool IsPlainPhrase(std::string_view text) {
    bool any = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            continue;
        }
        any = true;
        if (c == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\') {
                    ++i;
                }
                if (i >= text.size() || text[i] < 0x20 || text[i] > 0x7E) {
                    return false;
                }
            }
            if (i >= text.size()) {
                return false;
            }
        } else if (!IsWordCharacter(c)) {
            return false;
        }
    }
    return any;
}

// The library ends folded lines with LF; mail has CR LF and no break after the last line.
std::string WithCrLf(std::string_view folded) {
    return JoinLines(TextToLines(folded));
}

bool IsAddressField(std::string_view name) {
    static constexpr std::array<std::string_view, 6> kNames = {"From", "To",       "Cc",
                                                               "Bcc",  "Reply-To", "Sender"};
    for (std::string_view known : kNames) {
        if (SameText(name, known)) {
            return true;
        }
    }
    return false;
}

// A value as text with encoded words where it is not ASCII (and where a word is too long).
std::string EncodedText(std::string_view value) {
    EnsureStarted();
    const std::string decoded =
        Take(GText(g_mime_utils_header_decode_text(nullptr, AsUtf8(value).c_str())));
    return Take(GText(g_mime_utils_header_encode_text(nullptr, decoded.c_str(), nullptr)));
}

// The value as an address list with its names encoded, folded between addresses when
// folded is set (the name and colon given, so the first line is measured whole); "" when
// the value holds no address.
std::string EncodedAddresses(std::string_view name, std::string_view value, bool folded) {
    EnsureStarted();
    Ptr<InternetAddressList> list(internet_address_list_parse(nullptr, AsUtf8(value).c_str()));
    if (!list || internet_address_list_length(list.get()) == 0) {
        return {};
    }
    if (!folded) {
        return Take(GText(internet_address_list_to_string(list.get(), nullptr, TRUE)));
    }
    GString* text = g_string_new(nullptr);
    g_string_append_len(text, name.data(), static_cast<gssize>(name.size()));
    g_string_append(text, ": ");
    internet_address_list_encode(list.get(), nullptr, text);
    std::string result = WithCrLf(std::string_view(text->str, text->len));
    g_string_free(text, TRUE);
    return result;
}

// A text field folded at blanks.
std::string Folded(const std::string& line) {
    GText folded(g_mime_utils_unstructured_header_fold(nullptr, nullptr, line.c_str()));
    return folded ? WithCrLf(folded.get()) : line;
}

}  // namespace

std::string MailboxText(std::string_view displayName, std::string_view address) {
    const std::string name = Trim(displayName);
    if (name.empty()) {
        return "<" + std::string(address) + ">";
    }
    if (IsPlainPhrase(name)) {
        return name + " <" + std::string(address) + ">";
    }
    EnsureStarted();
    const std::string decoded =
        Take(GText(g_mime_utils_header_decode_phrase(nullptr, AsUtf8(name).c_str())));
    Ptr<InternetAddress> mailbox(
        internet_address_mailbox_new(decoded.c_str(), std::string(address).c_str()));
    return WithCrLf(Take(GText(internet_address_to_string(mailbox.get(), nullptr, TRUE))));
}

std::string OutgoingHeaderLine(std::string_view line) {
    if (IsSevenBit(line) && !TooLong(line)) {
        return std::string(line);
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return std::string(line);  // no header line: nothing to write again
    }
    const std::string name(line.substr(0, colon));
    const std::string value = Trim(JoinLines(TextToLines(line.substr(colon + 1)), ""));
    const bool addresses = IsAddressField(name);

    const std::string written = std::string(line.substr(0, colon + 1)) + " ";
    std::string encoded;
    if (IsSevenBit(value)) {
        encoded = value;
    } else if (addresses && !(encoded = EncodedAddresses(name, value, false)).empty()) {
        // the names encoded, the addresses as they were
    } else {
        encoded = EncodedText(value);
    }
    std::string out = WithCrLf(written + encoded);
    if (!TooLong(out)) {
        return out;
    }
    if (addresses) {
        // Folded between addresses, never inside one.
        const std::string folded = EncodedAddresses(name, encoded, true);
        return folded.empty() ? out : folded;
    }
    out = Folded(written + encoded);
    if (TooLong(out)) {
        // Words too long for any line: encoded words may be cut between any characters.
        out = Folded(written + EncodedText(encoded));
    }
    return out;
}

}  // namespace corvanteer::mime
