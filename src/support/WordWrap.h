#pragma once

// Words of a text laid out in lines no wider than a width, for help texts and references
// read on a terminal.

#include <cstddef>
#include <string_view>

#include "support/Text.h"

namespace corvanteer {

// The text's words (runs without blanks; every blank, tab and line break is a gap) in lines
// of at most width characters, a UTF-8 sequence counting as one. A word longer than the
// width stands alone on its line, uncut. No lines for a text without words.
Lines WrapWords(std::string_view text, std::size_t width);

// The same with the first line after firstIndent and the others after indent, each line
// ended by "\n"; the width counts the indent.
std::string WrapIndented(std::string_view text, std::size_t width, std::string_view firstIndent,
                         std::string_view indent);

}  // namespace corvanteer
