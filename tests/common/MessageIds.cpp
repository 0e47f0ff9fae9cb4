#include "common/MessageIds.h"

#include <regex>

namespace corvanteer::testing {

namespace {

const std::regex& TaggedId() {
    static const std::regex pattern("(<Corvanteer-[^@>\r\n]*)(\\.[0-9a-z]{12})@");
    return pattern;
}

}  // namespace

std::string IdTagOf(std::string_view text) {
    std::match_results<std::string_view::const_iterator> match;
    return std::regex_search(text.begin(), text.end(), match, TaggedId()) ? match[2].str() : "";
}

std::string WithoutIdTags(std::string_view text) {
    return std::regex_replace(std::string(text), TaggedId(), "$1@");
}

std::vector<std::string> WithoutIdTags(std::vector<std::string> lines) {
    for (auto& line : lines) {
        line = WithoutIdTags(line);
    }
    return lines;
}

}  // namespace corvanteer::testing
