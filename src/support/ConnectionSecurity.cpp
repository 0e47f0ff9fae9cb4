#include "support/ConnectionSecurity.h"

#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr std::size_t kSha256Digits = 64;

}  // namespace

const char* SecurityName(SecurityMode security) {
    switch (security) {
        case SecurityMode::Auto:
            return "auto";
        case SecurityMode::Tls:
            return "tls";
        case SecurityMode::StartTls:
            return "starttls";
        case SecurityMode::None:
            return "none";
    }
    return "auto";
}

std::optional<SecurityMode> ParseSecurity(std::string_view text) {
    const std::string word = LowerCase(Trim(text));
    for (SecurityMode security :
         {SecurityMode::Auto, SecurityMode::Tls, SecurityMode::StartTls, SecurityMode::None}) {
        if (word == SecurityName(security)) {
            return security;
        }
    }
    return std::nullopt;
}

SecurityMode ResolveSecurity(SecurityMode security, int port) {
    if (security != SecurityMode::Auto) {
        return security;
    }
    if (port == 995 || port == 465) {
        return SecurityMode::Tls;
    }
    return port == 587 ? SecurityMode::StartTls : SecurityMode::None;
}

std::optional<std::string> ParseFingerprint(std::string_view text) {
    std::string digits;
    for (char c : text) {
        if (c == ':' || c == ' ' || c == '\t') {
            continue;
        }
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex || digits.size() == kSha256Digits) {
            return std::nullopt;
        }
        digits += c;
    }
    if (digits.size() != kSha256Digits) {
        return std::nullopt;
    }
    return LowerCase(digits);
}

std::string FormatFingerprint(std::string_view digest) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(digest.size() * 3);
    for (unsigned char byte : digest) {
        if (!text.empty()) {
            text += ':';
        }
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0F];
    }
    return text;
}

}  // namespace corvanteer
