#pragma once

// The set of lists: the sub-keys of the settings key's "Lists" key, each with its list data
// file (application directory + name + ".dat").

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/AppPaths.h"
#include "support/SettingsStore.h"

namespace corvanteer {

// The list names in the order the store enumerates them (the order of the list selector at
// start-up). The Lists key is created when missing, unless the store is read-only.
std::vector<std::string> ListNames(SettingsStore& store, const AppPaths& paths);

// The name as the list set holds it of a list named without regard to case, or nullopt.
std::optional<std::string> FindList(const std::vector<std::string>& names, std::string_view name);

// The name as the list set holds it of the list named without regard to case, or the name
// itself when the set holds no such list. Every path built from a list name (data file, temp
// folder, Lists/ folders) uses this spelling, so "NEWS" and "news" share one roster.
std::string ListNameForPaths(const SettingsStore& store, const AppPaths& paths,
                             std::string_view name);

// Blanks become "_". Returns the message that refuses the name, or "" when it can be used: a
// name that is empty after trimming, holds "/", "\" or a control character, or is "." or
// ".." cannot name a file and a key.
std::string CheckNewListName(std::string& name);

// Creates the list key and copies "Default List.dat" to the new list's data file (an
// existing file is not overwritten; a missing model leaves the list without a data file),
// with "Default List.modes" for the members it brings.
void CreateList(SettingsStore& store, const AppPaths& paths, const std::string& name);

// Deletes the list key and, unless it is "Default List", the list data file and its modes.
void DeleteList(SettingsStore& store, const AppPaths& paths, const std::string& name);

}  // namespace corvanteer
