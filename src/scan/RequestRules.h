#pragma once

#include "scan/ScanContext.h"
#include "scan/Services.h"

namespace corvanteer {

// Decides and acts for one message of the List Server mailbox (phase 1): subscription and
// unsubscription requests, verification replies, help requests, moderator commands.
void ApplyRequestRules(ScanContext& context, Services& services);

}  // namespace corvanteer
