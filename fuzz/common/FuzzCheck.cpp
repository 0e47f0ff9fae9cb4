#include "common/FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

namespace corvanteer::fuzz {

void CheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

std::vector<std::string> SplitParts(const uint8_t* data, size_t size, size_t count) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    parts.reserve(count);
    while (parts.size() + 1 < count) {
        const size_t cut = rest.find(kPartSeparator);
        if (cut == std::string_view::npos) {
            break;
        }
        parts.emplace_back(rest.substr(0, cut));
        rest.remove_prefix(cut + kPartSeparator.size());
    }
    parts.emplace_back(rest);
    parts.resize(count);
    return parts;
}

std::vector<std::string> SplitAtLineFeeds(std::string_view text) {
    std::vector<std::string> entries;
    for (;;) {
        const size_t cut = text.find('\n');
        entries.emplace_back(text.substr(0, cut));
        if (cut == std::string_view::npos) {
            return entries;
        }
        text.remove_prefix(cut + 1);
    }
}

std::string Without(std::string_view text, std::string_view bytes) {
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        if (bytes.find(c) == std::string_view::npos) {
            result += c;
        }
    }
    return result;
}

}  // namespace corvanteer::fuzz
