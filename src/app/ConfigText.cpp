#include "app/ConfigText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <set>

namespace corvanteer {

namespace {

constexpr const char* kHeading =
    "# Corvanteer configuration: `corvanteer-cli config import FILE` applies it.\n";

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char first = byte(i);
    if (first < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (first >= 0xC2 && first <= 0xDF) {
        length = 2;
    } else if (first >= 0xE0 && first <= 0xEF) {
        length = 3;
        low = first == 0xE0 ? 0xA0 : 0x80;
        high = first == 0xED ? 0x9F : 0xBF;
    } else if (first >= 0xF0 && first <= 0xF4) {
        length = 4;
        low = first == 0xF0 ? 0x90 : 0x80;
        high = first == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::string Escaped(std::string_view text, bool quotes) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '"' && quotes) {
            out += "\\\"";
        } else {
            const std::size_t length = Utf8Length(text, i);
            const auto byte = static_cast<unsigned char>(c);
            if (length == 0 || byte < 0x20 || byte == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                out += hex;
            } else {
                out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        ++i;
    }
    return out;
}

std::string Quoted(std::string_view text) {
    return "\"" + Escaped(text, true) + "\"";
}

std::string ValueText(std::string_view value) {
    const bool quote =
        !value.empty() && (value.front() == ' ' || value.back() == ' ' || value.front() == '"' ||
                           value.front() == '\t' || value.back() == '\t');
    return quote ? Quoted(value) : Escaped(value, false);
}

bool NameLess(const std::string& a, const std::string& b) {
    const std::string la = LowerCase(a);
    const std::string lb = LowerCase(b);
    return la != lb ? la < lb : a < b;
}

void AppendValues(std::string& out, std::vector<ConfigValue> values) {
    std::sort(values.begin(), values.end(),
              [](const ConfigValue& a, const ConfigValue& b) { return NameLess(a.name, b.name); });
    for (const ConfigValue& value : values) {
        const std::string text = ValueText(value.value);
        out += (value.commented ? "# " : "") + value.name +
               (text.empty() ? " =\n" : " = " + text + "\n");
    }
}

// Undoes Escaped; nullopt (with why) for an escape it does not know.
std::optional<std::string> Unescaped(std::string_view text, std::string& why) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (i + 1 >= text.size()) {
            why = "a backslash ends the line (write \\\\ for one)";
            return std::nullopt;
        }
        const char next = text[++i];
        if (next == '\\' || next == '"') {
            out += next;
        } else if (next == 'n') {
            out += '\n';
        } else if (next == 'r') {
            out += '\r';
        } else if (next == 'x' && i + 2 < text.size() &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                   std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            why = std::string("unknown escape \\") + next;
            return std::nullopt;
        }
    }
    return out;
}

// A double-quoted string at text[pos]: its content, and pos moved after the closing quote.
std::optional<std::string> QuotedAt(std::string_view text, std::size_t& pos, std::string& why) {
    if (pos >= text.size() || text[pos] != '"') {
        why = "a name in double quotes was expected";
        return std::nullopt;
    }
    std::size_t end = pos + 1;
    while (end < text.size() && text[end] != '"') {
        end += text[end] == '\\' ? 2 : 1;
    }
    if (end >= text.size()) {
        why = "a double quote is not closed";
        return std::nullopt;
    }
    std::optional<std::string> content = Unescaped(text.substr(pos + 1, end - pos - 1), why);
    pos = end + 1;
    return content;
}

std::string_view Blankless(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

bool IsName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    });
}

class Parser {
public:
    ParsedConfig Parse(std::string_view text) {
        int number = 0;
        for (std::size_t pos = 0; pos < text.size();) {
            std::size_t end = text.find('\n', pos);
            if (end == std::string_view::npos) {
                end = text.size();
            }
            std::string_view line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            pos = end + 1;
            ++number;
            Line(line, number);
        }
        return std::move(result_);
    }

private:
    void Problem(int number, const std::string& why) {
        result_.problems.push_back("line " + std::to_string(number) + ": " + why);
    }

    void Line(std::string_view line, int number) {
        for (std::size_t i = 0; i < line.size();) {
            const std::size_t length = Utf8Length(line, i);
            if (length == 0) {
                Problem(number, "not UTF-8 (write other bytes as \\xHH)");
                return;
            }
            i += length;
        }
        if (!line.empty() && line.front() == '|') {
            SectionLine(line.substr(1), number);
            return;
        }
        const std::string_view bare = Blankless(line);
        if (bare.empty() || bare.front() == '#') {
            return;
        }
        if (bare.front() == '[') {
            Header(bare, number);
            return;
        }
        Value(bare, number);
    }

    void SectionLine(std::string_view line, int number) {
        if (section_ == nullptr) {
            Problem(number, "a line beginning with | outside a section");
            return;
        }
        std::string why;
        if (std::optional<std::string> text = Unescaped(line, why)) {
            section_->lines.push_back(std::move(*text));
        } else {
            Problem(number, why);
        }
    }

    void Header(std::string_view bare, int number) {
        section_ = nullptr;
        values_ = nullptr;
        if (bare.back() != ']') {
            Problem(number, "a block's heading ends with ]");
            return;
        }
        const std::string_view inside = Blankless(bare.substr(1, bare.size() - 2));
        if (inside == "global") {
            if (!seen_.insert("global").second) {
                Problem(number, "[global] given twice");
                return;
            }
            values_ = &result_.config.globals;
            return;
        }
        std::string why;
        std::size_t pos = 4;
        if (inside.substr(0, 4) != "list" || inside.size() < 6 || inside[4] != ' ') {
            Problem(number,
                    "unknown block (write [global], [list \"NAME\"] or [list \"NAME\" "
                    "section \"SECTION\"])");
            return;
        }
        pos = inside.find_first_not_of(' ', pos);
        std::optional<std::string> list = QuotedAt(inside, pos, why);
        if (!list) {
            Problem(number, why);
            return;
        }
        ConfigList& target = ListNamed(*list, number);
        const std::string_view rest = Blankless(inside.substr(pos));
        if (rest.empty()) {
            if (!seen_.insert("list\n" + LowerCase(*list)).second) {
                Problem(number, "the list \"" + *list + "\" has two blocks of settings");
                return;
            }
            values_ = &target.settings;
            return;
        }
        if (rest.substr(0, 8) != "section ") {
            Problem(number, "after the list's name only section \"NAME\" may follow");
            return;
        }
        std::size_t at = rest.find_first_not_of(' ', 8);
        std::optional<std::string> name = QuotedAt(rest, at, why);
        if (!name || !Blankless(rest.substr(std::min(at, rest.size()))).empty()) {
            Problem(number, name ? "nothing may follow the section's name" : why);
            return;
        }
        if (!seen_.insert("section\n" + LowerCase(*list) + "\n" + LowerCase(*name)).second) {
            Problem(number, "the section \"" + *name + "\" of \"" + *list + "\" is given twice");
            return;
        }
        target.sections.push_back({*name, {}, number});
        section_ = &target.sections.back();
    }

    ConfigList& ListNamed(const std::string& name, int number) {
        for (ConfigList& list : result_.config.lists) {
            if (SameText(list.name, name)) {
                return list;
            }
        }
        result_.config.lists.push_back({name, {}, {}, number});
        return result_.config.lists.back();
    }

    void Value(std::string_view bare, int number) {
        if (values_ == nullptr) {
            Problem(number, section_ != nullptr
                                ? "a section's lines begin with |"
                                : "a setting outside a block ([global] or [list \"NAME\"])");
            return;
        }
        const std::size_t equals = bare.find('=');
        const std::string_view name = Blankless(bare.substr(0, equals));
        if (equals == std::string_view::npos || !IsName(name)) {
            Problem(number, "NAME = VALUE expected");
            return;
        }
        for (const ConfigValue& value : *values_) {
            if (SameText(value.name, name)) {
                Problem(number, std::string(name) + " is given twice in this block");
                return;
            }
        }
        std::string_view raw = Blankless(bare.substr(equals + 1));
        std::string why;
        std::optional<std::string> value;
        if (!raw.empty() && raw.front() == '"') {
            std::size_t pos = 0;
            value = QuotedAt(raw, pos, why);
            if (value && pos != raw.size()) {
                value.reset();
                why = "nothing may follow the closing double quote";
            }
        } else {
            value = Unescaped(raw, why);
        }
        if (!value) {
            Problem(number, why);
            return;
        }
        values_->push_back({std::string(name), std::move(*value), number, false});
    }

    ParsedConfig result_;
    std::vector<ConfigValue>* values_ = nullptr;
    ConfigSection* section_ = nullptr;
    std::set<std::string> seen_;
};

}  // namespace

std::string FormatConfig(const ConfigText& config) {
    std::string out = kHeading;
    out += "\n[global]\n";
    AppendValues(out, config.globals);
    std::vector<const ConfigList*> lists;
    for (const ConfigList& list : config.lists) {
        lists.push_back(&list);
    }
    std::sort(lists.begin(), lists.end(),
              [](const ConfigList* a, const ConfigList* b) { return NameLess(a->name, b->name); });
    for (const ConfigList* list : lists) {
        out += "\n[list " + Quoted(list->name) + "]\n";
        AppendValues(out, list->settings);
        std::vector<const ConfigSection*> sections;
        for (const ConfigSection& section : list->sections) {
            sections.push_back(&section);
        }
        std::sort(sections.begin(), sections.end(),
                  [](const ConfigSection* a, const ConfigSection* b) {
                      return NameLess(a->name, b->name);
                  });
        for (const ConfigSection* section : sections) {
            out += "\n[list " + Quoted(list->name) + " section " + Quoted(section->name) + "]\n";
            for (const std::string& line : section->lines) {
                out += "|" + Escaped(line, false) + "\n";
            }
        }
    }
    return out;
}

ParsedConfig ParseConfig(std::string_view text) {
    return Parser().Parse(text);
}

}  // namespace corvanteer
