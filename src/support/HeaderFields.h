#pragma once

#include <string>
#include <string_view>

#include "support/Text.h"

namespace corvanteer {

// The value of a header field, "" when absent. The name before the first ":" is compared
// without regard to case (no trimming); continuation lines (starting with a blank or a tab)
// are joined with one space; several occurrences are joined with ",". The scan stops at the
// first empty line or at the end of the lines.
std::string GetHeaderValue(std::string_view name, const Lines& lines);

// The display name of a From value: every blank-separated word that is not an address,
// each followed by a blank, trimmed; the whole value when that leaves nothing.
std::string ExtractDisplayName(std::string_view from);

}  // namespace corvanteer
