#include "scan/RequestRules.h"

namespace corvanteer {

void ApplyRequestRules(ScanContext& /*context*/, Services& /*services*/) {
    // Requests to the List Server mailbox (subscribe and unsubscribe, verification replies,
    // help, moderator commands) are recognised and answered here once the request handling
    // is built. Until then a request gets no answer; the session deletes it all the same.
}

}  // namespace corvanteer
