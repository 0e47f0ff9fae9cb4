#include "engine/archive/HtmlText.h"

#include <glib.h>

#include <memory>

#include "support/Text.h"

namespace corvanteer::archive {

namespace {

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsLocalChar(char c) {
    return IsAsciiAlnum(c) || c == '.' || c == '_' || c == '%' || c == '+' || c == '-' ||
           c == '=' || c == '\'';
}

bool IsDomainChar(char c) {
    return IsAsciiAlnum(c) || c == '.' || c == '-';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Where the next web address starts at or after from ("http://" or "https://" in any case,
// not inside a word); npos when there is none.
std::size_t FindUrl(std::string_view text, std::size_t from) {
    for (std::size_t i = from; i + 7 <= text.size(); ++i) {
        if (text[i] != 'h' && text[i] != 'H') {
            continue;
        }
        if (i > 0 && IsAsciiAlnum(text[i - 1])) {
            continue;
        }
        if (StartsWithText(text.substr(i), "http://") ||
            StartsWithText(text.substr(i), "https://")) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The end of the web address starting at start: up to a blank or a character that cannot
// stand in one unquoted, less punctuation that ends a sentence around it.
std::size_t UrlEnd(std::string_view text, std::size_t start) {
    std::size_t end = start;
    while (end < text.size() && !IsSpace(text[end]) &&
           static_cast<unsigned char>(text[end]) > 0x20 && text[end] != '<' && text[end] != '>' &&
           text[end] != '"' && text[end] != '\x7f') {
        ++end;
    }
    const std::string_view url = text.substr(start, end - start);
    const bool hasOpenParen = url.find('(') != std::string_view::npos;
    while (end > start) {
        const char last = text[end - 1];
        if (last == '.' || last == ',' || last == ';' || last == ':' || last == '!' ||
            last == '?' || last == '\'' || last == ']' || (last == ')' && !hasOpenParen)) {
            --end;
        } else {
            break;
        }
    }
    return end;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        return std::string(text);
    }
    std::unique_ptr<gchar, decltype(&g_free)> valid(
        g_utf8_make_valid(text.data(), static_cast<gssize>(text.size())), g_free);
    return valid ? std::string(valid.get()) : std::string();
}

std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    bool blank = false;
    for (char c : text) {
        if (IsSpace(c)) {
            blank = !line.empty();
            continue;
        }
        if (blank) {
            line += ' ';
            blank = false;
        }
        line += c;
    }
    return line;
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\r':
                if (i + 1 >= text.size() || text[i + 1] != '\n') {
                    out += '\n';
                }
                break;
            default:
                if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7F) {
                    break;
                }
                // U+0080 to U+009F (C2 80 to C2 9F): control characters as well.
                if (byte == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                    ++i;
                    break;
                }
                out += c;
        }
    }
}

std::string Escaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    AppendEscaped(out, text);
    return out;
}

std::string ObfuscatedAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) {
        return std::string(address.substr(0, 2)) + (address.size() > 2 ? "..." : "");
    }
    return std::string(address.substr(0, std::min<std::size_t>(at, 2))) + "..." +
           std::string(address.substr(at));
}

std::string HideAddresses(std::string_view text, bool showAddresses) {
    if (showAddresses || text.find('@') == std::string_view::npos) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;  // text before this is in out
    std::size_t at = text.find('@');
    while (at != std::string_view::npos) {
        std::size_t left = at;
        while (left > done && IsLocalChar(text[left - 1])) {
            --left;
        }
        std::size_t right = at + 1;
        while (right < text.size() && IsDomainChar(text[right])) {
            ++right;
        }
        while (right > at + 1 && (text[right - 1] == '.' || text[right - 1] == '-')) {
            --right;
        }
        const std::string_view domain = text.substr(at + 1, right - at - 1);
        const std::size_t dot = domain.find('.');
        if (left < at && dot != std::string_view::npos && dot > 0 && domain.front() != '-') {
            out.append(text.substr(done, left - done));
            out += ObfuscatedAddress(text.substr(left, right - left));
            done = right;
            at = text.find('@', right);
        } else {
            at = text.find('@', at + 1);
        }
    }
    out.append(text.substr(done));
    return out;
}

std::string TextToHtml(std::string_view text, bool showAddresses) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t url = FindUrl(text, pos);
        const std::size_t plainEnd = url == std::string_view::npos ? text.size() : url;
        AppendEscaped(out, HideAddresses(text.substr(pos, plainEnd - pos), showAddresses));
        if (url == std::string_view::npos) {
            break;
        }
        const std::size_t end = UrlEnd(text, url);
        const std::string_view address = text.substr(url, end - url);
        if (address.size() <= 8 ||
            (!showAddresses && address.find('@') != std::string_view::npos)) {
            // No host, or an address inside it that a link would give away.
            AppendEscaped(out, HideAddresses(address, showAddresses));
        } else {
            out += "<a href=\"";
            AppendEscaped(out, ValidUtf8(address));
            out += "\" rel=\"nofollow noopener noreferrer\">";
            AppendEscaped(out, address);
            out += "</a>";
        }
        pos = end;
    }
    return out;
}

}  // namespace corvanteer::archive
