#pragma once

#include <string_view>
#include "engine/ScanContext.h"
#include "engine/Services.h"

#include "support/Text.h"

namespace corvanteer {

// Composes the posting of the message in hand and delivers it to every member of the
// current list: method 0 one Bcc message (To: ListTo, or the list posting address when
// ListTo is blank), 1 one copy per member, anything else nothing. With ListHeaders on, the
// list header lines (ListHeaders.h) follow the allowed extra headers. All copies share one
// Message-ID tag. Archives, logs and queues as the outcome requires; shows progress through
// the observer. body: the message body, read in place (a temp file's body, lines ended by CR
// LF, is not copied but into each message composed).
void PostToList(ScanContext& context, Services& services, std::string_view body, int method);

}  // namespace corvanteer
