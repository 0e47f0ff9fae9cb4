#pragma once

// The operator's hand on delivery to bouncing members: enable or disable a member's
// delivery (members enable|disable, the Members page), and the bounce settings a view of the
// roster reads.

#include <string_view>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

// Delivery again at score 0. Refused for a list or an address not on its roster. Done with
// "<address> gets the list's mail again." when delivery was disabled, else with "<address> was
// not disabled." (a score it had is cleared).
ActionResult EnableMember(Services& services, std::string_view list, std::string_view address);

// Delivery disabled by hand: the member stays on the roster, gets no postings, no notices and
// is never removed for bounces. Refused as EnableMember; Done with "<address> was disabled
// already." when it was.
ActionResult DisableMember(Services& services, std::string_view list, std::string_view address);

// The list's bounce settings as a scan reads them (the other values at their defaults),
// without writing anything.
ListSettings BounceSettingsOf(const SettingsStore& store, std::string_view listKey);

}  // namespace corvanteer
