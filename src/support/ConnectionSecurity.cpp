#include "support/ConnectionSecurity.h"

#include <arpa/inet.h>
#include <netinet/in.h>

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
    return port == 587 ? SecurityMode::StartTls : SecurityMode::Auto;
}

PlainStep DecidePlain(SecurityMode security, bool offered, LoginSecret secret, bool loopback) {
    switch (security) {
        case SecurityMode::None:
            return PlainStep::StayPlain;
        case SecurityMode::StartTls:
        case SecurityMode::Tls:
            return offered ? PlainStep::Upgrade : PlainStep::RefuseNoTls;
        case SecurityMode::Auto:
            break;
    }
    if (offered) {
        return PlainStep::Upgrade;
    }
    if (secret == LoginSecret::None || (secret == LoginSecret::Password && loopback)) {
        return PlainStep::StayPlain;
    }
    return PlainStep::RefuseClearLogin;
}

bool IsLoopbackHost(std::string_view host) {
    std::string text = LowerCase(Trim(host));
    if (text == "localhost" || text == "localhost.") {
        return true;
    }
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
        text = text.substr(1, text.size() - 2);
    }
    if (text.find(':') != std::string::npos) {
        in6_addr address{};
        if (inet_pton(AF_INET6, text.c_str(), &address) != 1) {
            return false;
        }
        return IN6_IS_ADDR_LOOPBACK(&address) ||
               (IN6_IS_ADDR_V4MAPPED(&address) && address.s6_addr[12] == 127);
    }
    // The clients' own dotted form: four whole numbers 0..255 ("127.000.0.1" is loopback).
    SplitResult parts = SplitString(text, ".");
    if (parts.count != 4) {
        return false;
    }
    for (const std::string& part : parts.parts) {
        const int value = StrToIntDef(part, -1);
        if (value < 0 || value > 255) {
            return false;
        }
    }
    return StrToIntDef(parts.Part(1), -1) == 127;
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
