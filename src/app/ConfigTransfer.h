#pragma once

// `config export` and `config import`: the whole configuration (global and list settings,
// each list's texts) as one text file (ConfigText.h) for version control and provisioning.
// The described backup and restore stay as they are; rosters and the list's activity lines
// are data, not configuration, and stay out.

#include <string>
#include <string_view>
#include <vector>

#include "engine/Services.h"

namespace corvanteer {

// The sections of a list's data file that a configuration holds, in the file's usual order.
const std::vector<std::string>& ConfigSections();

// The text: every setting of the global table and of each list's table, a stored value as
// "Name = value" and a value left at its default as a comment "# Name = default", so the
// file names every setting and an import leaves defaults unstored; then every section of
// ConfigSections. Passwords are comments ("(set)") unless withSecrets. Raises Failure when
// the store or a data file cannot be read.
std::string ExportConfig(Services& services, bool withSecrets);

struct ImportOutcome {
    std::vector<std::string> problems;  // "line N: why"; nothing was changed when not empty
    int settings = 0;                   // values stored
    int sections = 0;                   // sections replaced
    std::vector<std::string> newLists;  // lists the file created
};

// Checks the whole text first: its form, every name against the tables and the known
// sections, every value with the checks `config set` applies, every new list's name. With
// any problem nothing is changed. Otherwise the values are stored in one transaction of the
// settings store and the sections written after them (each file replaced atomically); new
// lists get the model's data file first. Settings the text does not name keep their values;
// lists it does not name are left alone.
ImportOutcome ImportConfig(Services& services, std::string_view text);

}  // namespace corvanteer
