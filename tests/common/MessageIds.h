#pragma once

// Message-IDs in tests: the random tag every composed message carries before the "@" is
// checked apart (OutgoingHeaders tests); tests of a message's layout compare it without.

#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::testing {

// The tag of the first "<Corvanteer-...@" identifier in the text ("." + 12 of 0-9a-z before
// the "@"), or "" when it has none of that form.
std::string IdTagOf(std::string_view text);

// The text with the tag of every "<Corvanteer-...@" identifier taken out.
std::string WithoutIdTags(std::string_view text);
std::vector<std::string> WithoutIdTags(std::vector<std::string> lines);

}  // namespace corvanteer::testing
