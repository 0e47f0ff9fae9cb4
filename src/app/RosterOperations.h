#pragma once

// The Members page's operations on a list's roster (the MemberList section of its data
// file): show it, add, remove, ban or unban a member, change a member's password. Every
// change is one read-modify-write under the store lock, tells the observer that the roster
// changed, and (add and remove) is recorded in Latest_Actions and the activity log.
//
// Each operation takes the list name as the operator wrote it and refuses a name the
// console does not hold (ResolveList).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActionResult.h"
#include "engine/Services.h"
#include "engine/digest/DeliveryModes.h"

namespace corvanteer {

struct RosterEntry {
    std::string line;     // the whole entry as stored
    std::string address;  // the text before the first blank
    bool banned = false;  // the flag (second part) is "1"
    DeliveryMode mode = DeliveryMode::Each;
    bool disabled = false;  // delivery disabled (bounces or by hand)
    std::string score;      // the standing bounce score ("2.5"), "" for none
};

struct RosterView {
    std::vector<RosterEntry> entries;  // sorted without regard to case
    size_t total = 0;
    size_t banned = 0;
    size_t disabled = 0;
};

// The roster as the Members page shows it, with each member's delivery mode and bounce
// standing. list is a name
// as ResolveList gives it; a missing data file or section gives an empty roster.
RosterView FillRoster(Services& services, const std::string& list);

// Adds a member with a new password. Refused: an empty address ("Please enter user email."),
// one that fails IsUsableMemberAddress (address + " is not a valid email address"), a member
// already present (lower-cased address + " is aready a member."). On success the message is empty,
// or, when the list stores RequirePassword on and AllowPostBy 1, "Password for " + address + " is "
// + CR LF + password. Records " + " address and "(manual add)".
ActionResult AddMember(Services& services, std::string_view list, std::string_view address);

// Removes the first entry (of the sorted roster) whose address equals the given one exactly,
// or else the first that equals it without regard to case. Records " - " address and
// "(manual remove by moderator)". Refused when no entry matches.
ActionResult RemoveMember(Services& services, std::string_view list, std::string_view address);

// Sets the ban flag of the first entry whose address equals the given one without regard to
// case, and rewrites every entry as address + " 1 " or " 0 " + password (flags other than "1"
// become "0"); the section is stored sorted. Refused when no entry matches.
ActionResult SetBanned(Services& services, std::string_view list, std::string_view address,
                       bool banned);

// Replaces the password of the first entry whose address equals the given one without
// regard to case; the section is stored sorted. Any text may be a password, the empty one
// included, except one holding a blank or a control character (entries are split at blanks,
// so only the text before the blank would be read back). Refused when no entry matches.
ActionResult ChangePassword(Services& services, std::string_view list, std::string_view address,
                            std::string_view password);

}  // namespace corvanteer
