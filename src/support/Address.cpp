#include "support/Address.h"

#include "support/Text.h"

namespace corvanteer {

bool IsValidEmail(std::string_view text) {
    // Deliberately loose: only the shape of an address is checked, not its grammar.
    const size_t at = text.find('@');
    const size_t dot = text.find('.');
    return at != std::string_view::npos && at > 0 && dot != std::string_view::npos && dot > 0 &&
           text.find(' ') == std::string_view::npos;
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
