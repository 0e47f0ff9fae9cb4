#pragma once

// The configuration as one text file, for version control and provisioning
// (`config export` and `config import`): UTF-8 with LF line ends, blocks and names sorted.
//
//   # comment
//   [global]
//   SessionInterval = 15
//   [list "news"]
//   AllowPostBy = 1
//   Moderators = ann@example.org\nbob@example.org
//   [list "news" section "Signature"]
//   |--
//   |The news list
//
// A value runs from after "=" to the end of the line, blanks at both ends left out; a value
// that begins or ends with a blank, or begins with '"', is written in double quotes. In
// values, names and section lines "\\" stands for a backslash, "\n" and "\r" for line
// breaks, "\"" for a double quote and "\xHH" for any other byte that is a control byte or
// not part of UTF-8, so every file is UTF-8 whatever the settings hold.

#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace corvanteer {

struct ConfigValue {
    std::string name;
    std::string value;
    int line = 0;  // where it stood in the parsed text; 0 when made by the program
    // Written as a comment ("# Name = value"): a default shown, or a secret left out. The
    // parser skips comments, so it never makes one.
    bool commented = false;
};

struct ConfigSection {
    std::string name;
    Lines lines;
    int line = 0;
};

struct ConfigList {
    std::string name;
    std::vector<ConfigValue> settings;
    std::vector<ConfigSection> sections;
    int line = 0;
};

struct ConfigText {
    std::vector<ConfigValue> globals;
    std::vector<ConfigList> lists;
};

// The text of the configuration: a comment line, "[global]" and its values, then each list's
// values and sections; lists, values and sections sorted by name without regard to case.
std::string FormatConfig(const ConfigText& config);

struct ParsedConfig {
    ConfigText config;
    // "line N: why", one for every line that is not understood; empty when all are.
    std::vector<std::string> problems;
};

// Reads a text written by FormatConfig or by hand (CR LF line ends are taken too). A name
// given twice in one block, a block given twice, a value outside any block, a line that is
// not UTF-8 and an unknown escape are problems; what the names and values mean is for the
// caller to judge.
ParsedConfig ParseConfig(std::string_view text);

}  // namespace corvanteer
