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
// password matches). The first such entry decides. With a cache, the roster parsed before is
// used while the list's data file is unchanged.
bool IsMember(Services& services, std::string_view listName, std::string_view sender,
              std::string_view password, bool passwordRequired, RosterCache* cache = nullptr);

// Some non-empty BlackList line (trimmed, lower-cased) occurs in the lower-cased sender.
bool IsBlacklisted(std::string_view sender, const std::string& listDataFile);

// Decides and acts for one downloaded message of the current list (phase 3). First a loop
// (JudgeListMail) is logged ("looping msg from ... - not posted") and left to be deleted, and
// an automatic message is logged alike ("automatic msg from ...") and forwarded to ErrorsTo
// when ForwardErrorMsgs is on; both get a " x " recent-activity entry. Any other message goes
// through the permission rules.
void ApplyPostingRules(ScanContext& context, Services& services);

}  // namespace corvanteer
