#pragma once

// Reading the JSON objects that authorization servers answer with (RFC 8259): the members of
// one object with their plain values. Nested objects and arrays are checked and skipped.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

struct JsonValue {
    enum class Kind { String, Number, Boolean, Null, Nested };
    Kind kind = Kind::Null;
    std::string text;  // String: the decoded text (UTF-8); Number: as written; Boolean:
                       // "true" or "false"; Null and Nested: empty
};

// Member names as written (compared exactly, as JSON does); a name given twice keeps its
// last value.
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

// The members of the object that text holds (blanks around it allowed). nullopt when text
// is no single well-formed object, or nests deeper than 32 levels.
std::optional<JsonObject> ParseJsonObject(std::string_view text);

// The member's text when it is a string or a number; empty when absent or of another kind.
std::string JsonText(const JsonObject& object, std::string_view name);
// The member as a whole number, from a number or a string of digits (some servers quote
// their numbers); nullopt when absent, fractional, out of range or not a number.
std::optional<int64_t> JsonInteger(const JsonObject& object, std::string_view name);

}  // namespace corvanteer
