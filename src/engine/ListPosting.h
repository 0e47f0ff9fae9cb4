#pragma once

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

// Composes the posting of the message in hand and delivers it to every member of the
// current list: method 0 one Bcc message (To: ListTo, or the list posting address when
// ListTo is blank), 1 one copy per member, anything else nothing. With ListHeaders on, the
// list header lines (ListHeaders.h) follow the allowed extra headers. All copies share one
// Message-ID tag. Archives, logs and queues as the outcome requires; shows progress through
// the observer.
//
// With BounceProcessing on (bounce/BounceHandling.h): members whose delivery is disabled are
// left out, each individual copy ends its header with "X-Corvanteer-Member: <token>"
// (MemberToken.h), and members the SMTP server refuses for good at RCPT are charged a hard
// bounce after the posting. Members disabled by hand are left out either way.
void PostToList(ScanContext& context, Services& services, const Lines& body, int method);

}  // namespace corvanteer
