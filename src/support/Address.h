#pragma once

#include <string>
#include <string_view>

namespace corvanteer {

// True when "@" occurs and its first occurrence is not the first character, "." occurs and
// its first occurrence is not the first character, and the text holds no space.
bool IsValidEmail(std::string_view text);

// The first address-like token of a From- or Reply-To-style value: brackets, braces, quotes
// and parentheses become spaces, the text is cut at single spaces, and the first part with an
// "@" after its first character is the result ("" when none). Case is kept.
std::string ExtractEmail(std::string_view value);

}  // namespace corvanteer
