// Header fields and addresses: GetHeaderValue, ExtractDisplayName, ExtractEmail and
// IsValidEmail on hostile header text.
//
// Input: a field name, "%%", header lines, "%%", a From value.
//
// Checked: the name is matched without regard to case and the scan ends at the first empty
// line; a value found belongs to a line of that name; an extracted address has its "@" after
// the first character, holds no blank or bracket, stands in the value as it is and extracts
// to itself; a display name other than the whole value holds no address-like word.

#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "support/Address.h"
#include "support/HeaderFields.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

void CheckHeaderValue(const std::string& name, const Lines& lines) {
    const std::string value = GetHeaderValue(name, lines);
    FUZZ_CHECK(GetHeaderValue(UpperCase(name), lines) == value);
    FUZZ_CHECK(GetHeaderValue(LowerCase(name), lines) == value);
    FUZZ_CHECK(value.find_first_of("\r\n") == std::string::npos);

    // Whatever follows the first empty line is not the header's.
    Lines header;
    for (const auto& line : lines) {
        if (line.empty()) {
            break;
        }
        header.push_back(line);
    }
    Lines extended = header;
    extended.emplace_back();
    extended.push_back(name + ": after the header");
    FUZZ_CHECK(GetHeaderValue(name, extended) == value);

    if (!value.empty()) {
        bool named = false;
        for (const auto& line : header) {
            const size_t colon = line.find(':');
            named = named || (colon != std::string::npos && SameText(line.substr(0, colon), name));
        }
        FUZZ_CHECK(named);
    }
}

void CheckAddress(const std::string& from) {
    const std::string email = ExtractEmail(from);
    if (!email.empty()) {
        const size_t at = email.find('@');
        FUZZ_CHECK(at != std::string::npos && at > 0);
        FUZZ_CHECK(email.find_first_of(" <>()[]{}\"'`") == std::string::npos);
        FUZZ_CHECK(from.find(email) != std::string::npos);
        FUZZ_CHECK(ExtractEmail(email) == email);
    }
    // A valid address holds no blank, so it is its own first token.
    if (IsValidEmail(from) && from.find_first_of("<>()[]{}\"'`") == std::string::npos &&
        !Trim(from).empty()) {
        FUZZ_CHECK(ExtractEmail(from) == from);
    }

    const std::string name = ExtractDisplayName(from);
    if (name != from) {
        FUZZ_CHECK(!name.empty());
        FUZZ_CHECK(name == Trim(name));
        for (const auto& word : SplitString(name, " ").parts) {
            FUZZ_CHECK(!IsValidEmail(word));
        }
    }
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    std::vector<std::string> parts = fuzz::SplitParts(data, size, 3);
    fuzz::CheckHeaderValue(parts[0], TextToLines(parts[1]));
    fuzz::CheckAddress(parts[2]);
    // The From field as the program reads it from a header.
    fuzz::CheckAddress(GetHeaderValue("From", TextToLines(parts[1])));
    return 0;
}
