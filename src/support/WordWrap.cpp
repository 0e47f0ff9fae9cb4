#include "support/WordWrap.h"

#include <algorithm>

namespace corvanteer {

namespace {

// Characters, not bytes: continuation bytes of UTF-8 do not count.
std::size_t Columns(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

bool IsGap(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

}  // namespace

Lines WrapWords(std::string_view text, std::size_t width) {
    Lines lines;
    std::string line;
    std::size_t lineColumns = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsGap(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !IsGap(text[end])) {
            ++end;
        }
        const std::string_view word = text.substr(i, end - i);
        const std::size_t wordColumns = Columns(word);
        if (!line.empty() && lineColumns + 1 + wordColumns > width) {
            lines.push_back(std::move(line));
            line.clear();
            lineColumns = 0;
        }
        if (!line.empty()) {
            line += ' ';
            ++lineColumns;
        }
        line += word;
        lineColumns += wordColumns;
        i = end;
    }
    if (!line.empty()) {
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string WrapIndented(std::string_view text, std::size_t width, std::string_view firstIndent,
                         std::string_view indent) {
    const std::size_t indentColumns = std::max(Columns(firstIndent), Columns(indent));
    const std::size_t room = width > indentColumns ? width - indentColumns : 1;
    std::string out;
    bool first = true;
    for (const std::string& line : WrapWords(text, room)) {
        out += first ? firstIndent : indent;
        out += line;
        out += '\n';
        first = false;
    }
    return out;
}

}  // namespace corvanteer
