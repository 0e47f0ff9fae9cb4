#pragma once

#include <string>
#include <string_view>

#include "engine/ScanContext.h"
#include "engine/Services.h"

namespace corvanteer {

// The sender is on a Moderators line of the list (address compared without case) and, when
// required, the password on that line matches exactly. The first line of that address
// decides.
bool IsModerator(Services& services, std::string_view listName, std::string_view sender,
                 std::string_view password, bool passwordRequired);

// The sender has a roster entry with ban flag exactly "0" (and, when required, that entry's
// password matches). The first such entry decides.
bool IsMember(Services& services, std::string_view listName, std::string_view sender,
              std::string_view password, bool passwordRequired);

// Some non-empty BlackList line (trimmed, lower-cased) occurs in the lower-cased sender.
bool IsBlacklisted(std::string_view sender, const std::string& listDataFile);

// Decides and acts for one downloaded message of the current list (phase 3).
void ApplyPostingRules(ScanContext& context, Services& services);

}  // namespace corvanteer
