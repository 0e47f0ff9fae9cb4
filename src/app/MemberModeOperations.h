#pragma once

// The operator's side of delivery modes: set a member's mode (the Members page's "Delivery"
// choice, `members mode`).

#include <string_view>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

// Sets the delivery mode (each, digest, plain-digest or nomail, any case) of a member of the
// list. Refused, changing nothing: an unknown list, an unknown mode ("The mode must be each,
// digest, plain-digest or nomail (not "x")."), an address that is no member (address + " is
// not a member."). A change is logged: list + ": ~ " + address + "(mode " + mode + ",
// manual)", and the observer hears that the roster changed.
ActionResult SetMemberMode(Services& services, std::string_view list, std::string_view address,
                           std::string_view mode);

}  // namespace corvanteer
