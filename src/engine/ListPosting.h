#pragma once

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

// Composes the posting of the message in hand and delivers it to every member of the
// current list: method 0 one Bcc message (To: ListTo, or the list posting address when
// ListTo is blank), 1 one copy per member, anything else nothing. Members in a digest mode
// (while the list offers digests) or in nomail get no copy; when some member takes a digest,
// the posting's Bcc form goes into the list's next digest (DigestStore.h). With ListHeaders on, the
// list header lines (ListHeaders.h) follow the allowed extra headers. All copies share one
// Message-ID tag. Archives, logs and queues as the outcome requires; shows progress through
// the observer.
void PostToList(ScanContext& context, Services& services, const Lines& body, int method);

}  // namespace corvanteer
