#include "transport/TBase64.h"

#include <cstring>

namespace corvanteer {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

bool TBase64::IndexToChar(int value, char& character) const {
    if (value < 0 || value > 63) {
        return false;
    }
    character = kAlphabet[value];
    return true;
}

int TBase64::Encode(std::string_view input, std::string& output) const {
    output.clear();
    output.reserve((input.size() + 2) / 3 * 4);
    const std::size_t n = input.size();
    for (std::size_t i = 0; i < n; i += 3) {
        const std::size_t left = n - i;
        const unsigned b0 = static_cast<unsigned char>(input[i]);
        const unsigned b1 = left > 1 ? static_cast<unsigned char>(input[i + 1]) : 0;
        const unsigned b2 = left > 2 ? static_cast<unsigned char>(input[i + 2]) : 0;
        const int values[4] = {
            static_cast<int>(b0 >> 2), static_cast<int>(((b0 & 0x03) << 4) | (b1 >> 4)),
            static_cast<int>(((b1 & 0x0F) << 2) | (b2 >> 6)), static_cast<int>(b2 & 0x3F)};
        const std::size_t produced = left >= 3 ? 4 : left + 1;
        for (std::size_t k = 0; k < produced; ++k) {
            char c = '\0';
            if (!IndexToChar(values[k], c)) {
                return 1;
            }
            output += c;
        }
        output.append(4 - produced, '=');
    }
    return 0;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    while (!text.empty() && text.back() == '=') {
        text.remove_suffix(1);
    }
    if (text.size() % 4 == 1) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(text.size() * 3 / 4);
    unsigned buffer = 0;
    int bits = 0;
    for (char c : text) {
        const char* at = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
        if (at == nullptr) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<unsigned>(at - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    return bytes;
}

std::string Base64Url(std::string_view bytes) {
    std::string text;
    TBase64().Encode(bytes, text);
    while (!text.empty() && text.back() == '=') {
        text.pop_back();
    }
    for (char& c : text) {
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return text;
}

}  // namespace corvanteer
