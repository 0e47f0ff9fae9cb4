#pragma once

#include <string_view>

#include "engine/PostingDelivery.h"
#include "engine/ScanContext.h"
#include "engine/Services.h"

#include "support/Text.h"

namespace corvanteer {

// Composes the posting of the message in hand and delivers it to every member of the
// current list: method 0 one Bcc message (To: ListTo, or the list posting address when
// ListTo is blank), 1 one copy per member, anything else nothing. This is the one composer of
// list postings (ListPostingComposer in ListPosting.cpp, run by DeliverPosting). Members in a
// digest mode (while the list offers digests) or in nomail get no copy; when some member takes
// a digest, the posting's Bcc form (decorated, addressed to the list) goes into the list's
// next digest (DigestStore.h).
//
// The posting is the context's HeaderLines (its Content-* lines and MIME-Version describe the
// body) and body. Its body is decorated with the list's Signature once (mime::DecorateBody:
// where mail programs show it; a posting without MIME lines keeps the described layout), and
// the decorated body's MIME fields take the place of the incoming ones in the standard block.
// The From line shows the sender's display name with ShownSenderAddress (PostingFrom.h);
// every header line goes out 7-bit and folded where over 998 octets. With ListHeaders on, the
// list header lines (ListHeaders.h) follow the allowed extra headers; with ArchiveBaseURL set,
// List-Archive and Archived-At (the page of the first message's Message-ID) follow them. All
// copies share one Message-ID tag. The posting that went is kept in the list's mbox archive
// (individually: the Bcc form with the first message's Date and Message-ID, no member's To
// line) and the list noted in context.ArchivedLists. Logs and queues as the outcome requires
// (the queue holds the decorated message); shows progress through the observer. The outcome
// says what went.
//
// With BounceProcessing on (bounce/BounceHandling.h): members whose delivery is disabled are
// left out, each individual copy ends its header with "X-Corvanteer-Member: <token>"
// (MemberToken.h), and members the SMTP server refuses for good at RCPT are charged a hard
// bounce after the posting. Members disabled by hand are left out either way.
// body: the message body, read in place (a temp file's body).
PostingOutcome PostToList(ScanContext& context, Services& services, std::string_view body,
                          int method);

}  // namespace corvanteer
