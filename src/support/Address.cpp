#include "support/Address.h"

#include <algorithm>

#include "support/Text.h"

namespace corvanteer {

bool IsValidEmail(std::string_view text) {
    // Deliberately loose: only the shape of an address is checked, not its grammar.
    const size_t at = text.find('@');
    const size_t dot = text.find('.');
    return at != std::string_view::npos && at > 0 && dot != std::string_view::npos && dot > 0 &&
           text.find(' ') == std::string_view::npos;
}

namespace {

constexpr size_t kMaxAddress = 254;
constexpr size_t kMaxLocalPart = 64;
constexpr size_t kMaxDomain = 253;
constexpr size_t kMaxShown = 300;

bool IsVisibleAscii(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}

}  // namespace

bool IsUsableMemberAddress(std::string_view address) {
    if (address.size() > kMaxAddress || !IsValidEmail(address)) {
        return false;
    }
    for (char c : address) {
        if (!IsVisibleAscii(c)) {
            return false;
        }
    }
    const size_t at = address.rfind('@');
    return at <= kMaxLocalPart && address.size() - at - 1 <= kMaxDomain;
}

std::string PrintableAddress(std::string_view address) {
    std::string shown;
    const size_t kept = std::min(address.size(), kMaxShown);
    shown.reserve(kept + 3);
    for (char c : address.substr(0, kept)) {
        shown.push_back(IsVisibleAscii(c) ? c : '?');
    }
    if (kept < address.size()) {
        shown += "...";
    }
    return shown;
}

std::string ExtractEmail(std::string_view value) {
    if (Trim(value).empty()) {
        return {};
    }
    std::string text(value);
    for (char& c : text) {
        switch (c) {
            case '<':
            case '>':
            case '(':
            case ')':
            case '[':
            case ']':
            case '{':
            case '}':
            case '"':
            case '\'':
            case '`':
                c = ' ';
                break;
            default:
                break;
        }
    }
    // The first space-separated token with an "@" after its first character.
    std::string_view rest = text;
    while (true) {
        const size_t space = rest.find(' ');
        const std::string_view token = rest.substr(0, space);
        const size_t at = token.find('@');
        if (at != std::string_view::npos && at > 0) {
            return std::string(token);
        }
        if (space == std::string_view::npos) {
            return {};
        }
        rest.remove_prefix(space + 1);
    }
}

}  // namespace corvanteer
