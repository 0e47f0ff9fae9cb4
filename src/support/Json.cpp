#include "support/Json.h"

#include <charconv>

namespace corvanteer {

namespace {

constexpr int kMaxDepth = 32;

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonObject> Document() {
        JsonObject object;
        SkipBlanks();
        if (!Object(&object, 1)) {
            return std::nullopt;
        }
        SkipBlanks();
        if (pos_ != text_.size()) {
            return std::nullopt;
        }
        return object;
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    bool Take(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    bool Literal(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) {
            return false;
        }
        pos_ += word.size();
        return true;
    }

    // into is null for a nested object, whose members are only checked.
    bool Object(JsonObject* into, int depth) {
        if (depth > kMaxDepth || !Take('{')) {
            return false;
        }
        if (Take('}')) {
            return true;
        }
        do {
            SkipBlanks();
            std::string name;
            JsonValue value;
            if (!String(name) || !Take(':') || !Value(value, depth)) {
                return false;
            }
            if (into != nullptr) {
                (*into)[name] = std::move(value);
            }
        } while (Take(','));
        return Take('}');
    }

    bool Array(int depth) {
        if (depth > kMaxDepth || !Take('[')) {
            return false;
        }
        if (Take(']')) {
            return true;
        }
        do {
            JsonValue ignored;
            if (!Value(ignored, depth)) {
                return false;
            }
        } while (Take(','));
        return Take(']');
    }

    bool Value(JsonValue& value, int depth) {
        SkipBlanks();
        if (pos_ >= text_.size()) {
            return false;
        }
        switch (text_[pos_]) {
            case '"':
                value.kind = JsonValue::Kind::String;
                return String(value.text);
            case '{':
                value.kind = JsonValue::Kind::Nested;
                return Object(nullptr, depth + 1);
            case '[':
                value.kind = JsonValue::Kind::Nested;
                return Array(depth + 1);
            case 't':
                value = {JsonValue::Kind::Boolean, "true"};
                return Literal("true");
            case 'f':
                value = {JsonValue::Kind::Boolean, "false"};
                return Literal("false");
            case 'n':
                value = {JsonValue::Kind::Null, ""};
                return Literal("null");
            default:
                value.kind = JsonValue::Kind::Number;
                return Number(value.text);
        }
    }

    bool Digits() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            ++pos_;
        }
        return pos_ > start;
    }

    bool Number(std::string& out) {
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') {
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] == '0') {
            ++pos_;
        } else if (!Digits()) {
            return false;
        }
        if (pos_ < text_.size() && text_[pos_] == '.') {
            ++pos_;
            if (!Digits()) {
                return false;
            }
        }
        if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
            ++pos_;
            if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) {
                ++pos_;
            }
            if (!Digits()) {
                return false;
            }
        }
        out.assign(text_.substr(start, pos_ - start));
        return true;
    }

    bool Hex4(unsigned& code) {
        if (pos_ + 4 > text_.size()) {
            return false;
        }
        code = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            code <<= 4;
            if (c >= '0' && c <= '9') {
                code |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                code |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                code |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    static void AppendUtf8(unsigned code, std::string& out) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    bool Escape(std::string& out) {
        if (pos_ >= text_.size()) {
            return false;
        }
        const char c = text_[pos_++];
        switch (c) {
            case '"':
            case '\\':
            case '/':
                out += c;
                return true;
            case 'b':
                out += '\b';
                return true;
            case 'f':
                out += '\f';
                return true;
            case 'n':
                out += '\n';
                return true;
            case 'r':
                out += '\r';
                return true;
            case 't':
                out += '\t';
                return true;
            case 'u': {
                unsigned code = 0;
                if (!Hex4(code)) {
                    return false;
                }
                if (code >= 0xD800 && code < 0xDC00 && Literal("\\u")) {
                    unsigned low = 0;
                    if (!Hex4(low) || low < 0xDC00 || low >= 0xE000) {
                        return false;
                    }
                    code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                } else if (code >= 0xD800 && code < 0xE000) {
                    code = 0xFFFD;  // a lone surrogate
                }
                AppendUtf8(code, out);
                return true;
            }
            default:
                return false;
        }
    }

    bool String(std::string& out) {
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            return false;
        }
        ++pos_;
        out.clear();
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c == '\\') {
                if (!Escape(out)) {
                    return false;
                }
            } else {
                out += c;
            }
        }
        return false;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<JsonObject> ParseJsonObject(std::string_view text) {
    return Reader(text).Document();
}

std::string JsonText(const JsonObject& object, std::string_view name) {
    auto it = object.find(name);
    if (it == object.end() || (it->second.kind != JsonValue::Kind::String &&
                               it->second.kind != JsonValue::Kind::Number)) {
        return {};
    }
    return it->second.text;
}

std::optional<int64_t> JsonInteger(const JsonObject& object, std::string_view name) {
    const std::string text = JsonText(object, name);
    int64_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

}  // namespace corvanteer
