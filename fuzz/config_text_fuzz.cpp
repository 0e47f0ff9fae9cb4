// The configuration text of config export and import: ParseConfig on hand-edited input, and
// FormatConfig of what it understood.
//
// Input: the text, as a file given to `config import` would hold it.
//
// Checked: nothing raises; every problem names its line, within the text; what was
// understood, written again, parses without a problem to the same values and lines, and
// writing that once more gives the same bytes; the written text is UTF-8 without CR or any
// other control byte but LF.

#include <cstdint>
#include <map>
#include <string>

#include "app/ConfigText.h"
#include "common/FuzzCheck.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

// Every value and section line by block, names taken without regard to case.
std::map<std::string, std::string> Flattened(const ConfigText& config) {
    std::map<std::string, std::string> out;
    for (const ConfigValue& value : config.globals) {
        out["global\n" + LowerCase(value.name)] = value.value;
    }
    for (const ConfigList& list : config.lists) {
        const std::string block = "list\n" + LowerCase(list.name) + "\n";
        for (const ConfigValue& value : list.settings) {
            out[block + LowerCase(value.name)] = value.value;
        }
        for (const ConfigSection& section : list.sections) {
            out[block + "section\n" + LowerCase(section.name)] = JoinLines(section.lines, "\n|");
        }
        out[block] = list.name;
    }
    return out;
}

bool LineNumberWithin(const std::string& problem, int lines) {
    if (!StartsWith(problem, "line ")) {
        return false;
    }
    const size_t colon = problem.find(':');
    int number = 0;
    return colon != std::string::npos && TryParseInt(problem.substr(5, colon - 5), number) &&
           number >= 1 && number <= lines;
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const ParsedConfig parsed = ParseConfig(text);
    int lines = 1;
    for (const char c : text) {
        lines += c == '\n' ? 1 : 0;
    }
    for (const std::string& problem : parsed.problems) {
        FUZZ_CHECK(LineNumberWithin(problem, lines));
    }

    const std::string written = FormatConfig(parsed.config);
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
        FUZZ_CHECK(c == '\n' || (byte >= 0x20 && byte != 0x7F));
    }
    const ParsedConfig again = ParseConfig(written);
    FUZZ_CHECK(again.problems.empty());
    FUZZ_CHECK(Flattened(again.config) == Flattened(parsed.config));
    FUZZ_CHECK(FormatConfig(again.config) == written);
    return 0;
}
