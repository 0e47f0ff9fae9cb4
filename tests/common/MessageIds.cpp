#include "common/MessageIds.h"

namespace corvanteer::testing {

namespace {

constexpr std::string_view kIdStart = "<Corvanteer-";
constexpr size_t kTagLength = 13;  // "." + 12 characters

bool IsTag(std::string_view text) {
    if (text.size() != kTagLength || text[0] != '.') {
        return false;
    }
    for (char c : text.substr(1)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) {
            return false;
        }
    }
    return true;
}

// Position of the tag of the identifier starting at or after from, or npos; next is where
// the search goes on.
size_t FindTag(std::string_view text, size_t from, size_t& next) {
    while (true) {
        const size_t start = text.find(kIdStart, from);
        if (start == std::string_view::npos) {
            next = std::string_view::npos;
            return std::string_view::npos;
        }
        const size_t at = text.find('@', start);
        if (at == std::string_view::npos) {
            next = std::string_view::npos;
            return std::string_view::npos;
        }
        next = at;
        if (at >= start + kIdStart.size() + kTagLength &&
            IsTag(text.substr(at - kTagLength, kTagLength))) {
            return at - kTagLength;
        }
        from = at;
    }
}

}  // namespace

std::string IdTagOf(std::string_view text) {
    size_t next = 0;
    const size_t tag = FindTag(text, 0, next);
    return tag == std::string_view::npos ? "" : std::string(text.substr(tag, kTagLength));
}

std::string WithoutIdTags(std::string_view text) {
    std::string out;
    size_t copied = 0;
    size_t next = 0;
    for (size_t tag = FindTag(text, 0, next); tag != std::string_view::npos;
         tag = FindTag(text, next, next)) {
        out.append(text.substr(copied, tag - copied));
        copied = tag + kTagLength;
    }
    out.append(text.substr(copied));
    return out;
}

std::vector<std::string> WithoutIdTags(std::vector<std::string> lines) {
    for (auto& line : lines) {
        line = WithoutIdTags(line);
    }
    return lines;
}

}  // namespace corvanteer::testing
