#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/ScanContext.h"
#include "engine/Services.h"

namespace corvanteer {

// Decides and acts for one message of the List Server mailbox (phase 1), whose header the
// POP3 client holds. An automatic message (JudgeAutomatic) is only logged ("List Server:
// automatic msg from " + sender + " (" + reason + ") - not answered"). Otherwise four rules, each
// tested whether or not an earlier one acted, in this order: "subs"/"unsu" + list name
// (subscription workflow), a subject containing "(auth" (verification reply), "help" + list
// name (the list's Help text), "comm" (moderator commands). List names are matched without
// regard to case against the console's lists; a request naming no list is ignored. A message
// none of the four takes goes to ApplyModeRequest (digest/ModeRequests.h): "set", "which",
// "lists", or the help answer.
void ApplyRequestRules(ScanContext& context, Services& services);

// Turns the context to a list: ListName := the name as written (for texts), ListKey and
// ListDataFile from the name as the list set holds it (so no second data file appears for
// another spelling), Settings := LoadListSettings.
void SelectList(ScanContext& context, Services& services, std::string_view written,
                const std::string& held);

// The context's list name as the list set holds it (the name as written when no list has it).
std::string HeldListName(const ScanContext& context, Services& services);

// The list named by a verification text ("(auth" + code): the list whose name fills the text
// exactly as a code ("(auth" + name + 12 digits + "0" + ")"); failing that, the first list
// (in the given order) whose name is a prefix of the text after "(auth", compared without
// regard to case. "" when none.
std::string ListOfVerificationText(std::string_view verificationText,
                                   const std::vector<std::string>& lists);

}  // namespace corvanteer
