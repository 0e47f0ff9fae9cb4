#include "support/Text.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace corvanteer {

namespace {

char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
bool IsTrimmable(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

}  // namespace

const std::string& SplitResult::Part(int index) const {
    static const std::string empty;
    if (index < 1 || index > static_cast<int>(parts.size())) {
        return empty;
    }
    return parts[static_cast<size_t>(index - 1)];
}

SplitResult SplitString(std::string_view text, std::string_view separator) {
    SplitResult result;
    if (separator.empty()) {
        result.count = -1;
        return result;
    }
    size_t from = 0;
    while (true) {
        size_t found = text.find(separator, from);
        if (found == std::string_view::npos) {
            result.parts.emplace_back(text.substr(from));
            break;
        }
        result.parts.emplace_back(text.substr(from, found - from));
        from = found + separator.size();
    }
    result.count = static_cast<int>(result.parts.size());
    return result;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (true) {
        size_t found = text.find(from, pos);
        if (found == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, found - pos));
        out.append(to);
        pos = found + from.size();
    }
    return out;
}

std::string CollapseSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\t') {
            c = ' ';
        }
        if (c == ' ' && !out.empty() && out.back() == ' ') {
            continue;
        }
        out.push_back(c);
    }
    return out;
}

std::string ZeroPad(long long value, int width) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) {
        digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
    }
    return digits;
}

std::string Trim(std::string_view text) {
    return TrimRight(TrimLeft(text));
}

std::string TrimLeft(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size() && IsTrimmable(text[begin])) {
        ++begin;
    }
    return std::string(text.substr(begin));
}

std::string TrimRight(std::string_view text) {
    size_t end = text.size();
    while (end > 0 && IsTrimmable(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string LowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = LowerChar(c);
    }
    return out;
}

std::string UpperCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = UpperChar(c);
    }
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerChar(a[i]) != LowerChar(b[i])) {
            return false;
        }
    }
    return true;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool StartsWithText(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameText(text.substr(0, prefix.size()), prefix);
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool Contains(std::string_view text, std::string_view sub) {
    return text.find(sub) != std::string_view::npos;
}

std::string Before(std::string_view text, std::string_view sep) {
    size_t found = text.find(sep);
    return std::string(found == std::string_view::npos ? text : text.substr(0, found));
}

std::string After(std::string_view text, std::string_view sep) {
    size_t found = text.find(sep);
    return found == std::string_view::npos ? std::string()
                                           : std::string(text.substr(found + sep.size()));
}

Lines TextToLines(std::string_view text) {
    Lines lines;
    size_t start = 0;
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < n && text[i + 1] == '\n') {
                ++i;
            }
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < n) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

std::string LinesToText(const Lines& lines) {
    std::string out;
    AppendLinesText(out, lines);
    return out;
}

void AppendLinesText(std::string& out, const Lines& lines) {
    size_t total = out.size();
    for (const auto& line : lines) {
        total += line.size() + 2;
    }
    out.reserve(total);
    for (const auto& line : lines) {
        out += line;
        out += "\r\n";
    }
}

void AppendCrLfLine(std::string& out, std::string_view line) {
    for (;;) {
        const std::size_t cut = line.find_first_of("\r\n");
        out.append(line.substr(0, cut));
        out += "\r\n";
        if (cut == std::string_view::npos) {
            return;
        }
        std::size_t next = cut + 1;
        if (line[cut] == '\r' && next < line.size() && line[next] == '\n') {
            ++next;
        }
        line.remove_prefix(next);
    }
}

void AppendCrLfLines(std::string& out, std::string_view text) {
    if (text.empty()) {
        return;
    }
    // The last line break ends the last line rather than starting another.
    if (EndsWith(text, "\r\n")) {
        text.remove_suffix(2);
    } else if (text.back() == '\r' || text.back() == '\n') {
        text.remove_suffix(1);
    }
    out.reserve(out.size() + text.size() + 2);
    AppendCrLfLine(out, text);
}

std::string JoinLines(const Lines& lines, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        out += lines[i];
    }
    return out;
}

bool TryParseInt(std::string_view text, int& value) {
    std::string trimmed = Trim(text);
    std::string_view digits = trimmed;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits[0] < '0' || digits[0] > '9') {
        return false;
    }
    long long parsed = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), parsed);
    if (error != std::errc() || end != digits.data() + digits.size()) {
        return false;
    }
    if (negative) {
        parsed = -parsed;
    }
    if (parsed < INT_MIN || parsed > INT_MAX) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

int StrToIntDef(std::string_view text, int fallback) {
    int value = 0;
    return TryParseInt(text, value) ? value : fallback;
}

std::string OneLineText(std::string_view text, std::size_t maxChars) {
    std::string shown;
    shown.reserve(std::min(text.size(), maxChars + 3));
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool continuation = (byte & 0xC0) == 0x80;
        if (!continuation) {
            if (chars == maxChars) {
                shown += "...";
                break;
            }
            ++chars;
        }
        shown.push_back(byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte));
    }
    return shown;
}

}  // namespace corvanteer
