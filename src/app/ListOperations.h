#pragma once

// The list selector's operations without questions: find a list by name, add a list, delete
// a list. The order of lists is the console's (the window's selector, or the store for the
// command line, where "Default List" stands alone when no list exists).

#include <optional>
#include <string>
#include <string_view>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

// The name as the console's list order holds it of a list named without regard to case,
// or nullopt.
std::optional<std::string> ResolveList(Services& services, std::string_view name);

// The refusal for a list name that names no list: "There is no list named \"x\".".
ActionResult UnknownList(std::string_view name);

// Adds a list: blanks become "_" (name is changed in place to the name used); a name that
// cannot name a file and a key, or that the console holds already (without regard to case),
// is refused with the window's texts. Creates the list key at once and copies
// "Default List.dat" to the new data file (never over an existing file).
ActionResult AddList(Services& services, std::string& name);

// Deletes a list: its key, and its data file unless it is "Default List". Refused for a name
// the console does not hold. The saved posts and the thread archive stay.
ActionResult DeleteList(Services& services, std::string_view name);

}  // namespace corvanteer
