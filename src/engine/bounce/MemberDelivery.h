#pragma once

// Whether a member gets the list's mail: enabling and disabling delivery by hand or by a
// reply to the notice, the records each change leaves, and the views the roster, the
// status report and the posting's recipient list read.

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "engine/Services.h"
#include "engine/bounce/BounceState.h"

namespace corvanteer::bounce {

// One member's bounce standing as the Members page and `members show` give it.
struct MemberStanding {
    bool disabled = false;
    std::string score;  // "2.5"; "" for a member without a standing score
};

// The standing of each of the addresses (lower case, as the roster has them) on the day,
// in their order; a score of 0, or one gone stale, shows as "".
std::vector<MemberStanding> StandingsOf(const BounceState& state,
                                        const std::vector<std::string>& addresses,
                                        const LocalTime& now, const ListSettings& settings);

// Counts for the status report: members with a standing score still getting mail, and
// members whose delivery is disabled.
struct BounceCounts {
    size_t bouncing = 0;
    size_t disabled = 0;
};
BounceCounts CountBounces(const BounceState& state, const LocalTime& now,
                          const ListSettings& settings);

// The lower-case addresses whose delivery is disabled in the list (held name).
std::unordered_set<std::string> DisabledAddresses(const AppPaths& paths, std::string_view list);

enum class DeliveryChange {
    Changed,
    Unchanged,  // enabling a member with no line, disabling one disabled already
};

// Delivery again at score 0 (the member's line goes). Records, when the member was
// disabled: Latest_Actions date + " + " + address + "(delivery enabled)", the log line
// list + ": + " + address + "(delivery enabled, " + how + ")", and the observer's
// RosterChanged. list is the name as the list set holds it; address lower case.
DeliveryChange EnableDelivery(Services& services, std::string_view list, std::string_view address,
                              std::string_view how);

// Delivery disabled by the operator (no notices, no removal). Records Latest_Actions date +
// " x " + address + "(delivery disabled)" and the log line list + ": x " + address +
// "(delivery disabled by hand)".
DeliveryChange DisableDeliveryByHand(Services& services, std::string_view list,
                                     std::string_view address);

}  // namespace corvanteer::bounce
