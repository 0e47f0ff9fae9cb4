#pragma once

// A message written by the operator and posted to a list's members by Bcc or one copy per
// member, like a posting that came in by mail but without an incoming message.

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

#include "engine/Services.h"
#include "support/Clock.h"
#include "support/Text.h"

namespace corvanteer {

// Everything a manual posting uses besides the global SMTP host and port. The window fills
// it from its fields, the command line from the stored settings (app/PostingValues.h).
struct ManualPosting {
    std::string listName;   // the list as the console names it: log lines and archive
    int postingMethod = 0;  // 0 Bcc, 1 one copy per member, anything else sends nothing
    std::string listTo;
    bool hideSenderEmail = true;
    std::string changeSenderEmailTo;
    std::string listPostingAddress;
    std::string pop3Host;            // the list's POP3 host, part of the Message-ID
    bool listHeaders = true;         // ListHeaders: List-Id, List-Post, ... (ListHeaders.h)
    int allowPostBy = 0;             // for List-Post
    bool allowUserSubscribe = true;  // for List-Subscribe and List-Unsubscribe
    Lines extraHeaders;              // only the lines IsAllowedExtraHeader accepts are used
    std::string signature;           // appended as one entry, however many lines it holds
    Lines members;                   // member addresses in the roster's order
    std::string archiveBaseUrl;      // ArchiveBaseURL: List-Archive and Archived-At lines
    // With bounce handling on: the key of the member tokens (MemberToken.h). Each individual
    // copy then ends its header with the member's "X-Corvanteer-Member:" line, and members the
    // SMTP server refuses for good at RCPT are charged a hard bounce (BounceHandling.h).
    std::string memberTokenKey;

    std::string from;  // the From field
    std::string subject;
    Lines messageLines;
};

// What a manual posting takes from outside the page: the moment, the global SMTP host and
// List Server address, and the run's Message-ID tag (MessageIdTag).
struct ManualPostingStamp {
    LocalTime now;
    std::string smtpHost;
    std::string listServerAddress;
    std::string idTag;
};

// The message for one recipient text ("To: " + the list posting address when the text is
// blank): To, From (ManualFromLine, PostingFrom.h), Reply-To, Subject, Date, Message-ID
// ("<Corvanteer-" + POP3 host + "-yyyymmddhhmmss" + member index + tag + "@" + smtpHost +
// ">", no index for Bcc), X-Mailer, the MIME lines of the body when it has any, the allowed
// extra headers, the list headers when listHeaders is on, List-Archive and Archived-At (of
// the Bcc form's Message-ID at that stamp) when archiveBaseUrl is set, an empty line, and the
// message lines with the signature (mime::DecorateBody: 7-bit text as the lines and the signature
// as one entry; other text labelled UTF-8 or ISO-8859-1 and encoded quoted-printable); lines ended
// by CR LF, header lines 7-bit and folded where over 998 octets. This is the one composer of manual
// postings (ManualComposer, run by DeliverPosting).
std::string ComposeManualPosting(const ManualPosting& posting, const std::string& recipientText,
                                 std::optional<size_t> memberIndex,
                                 const ManualPostingStamp& stamp);

struct ManualPostingOutcome {
    size_t members = 0;  // number of members the posting goes to (not in digest or nomail)
    size_t handled = 0;  // members handled (individual: up to and including the last sent)
    size_t queued = 0;   // copies written to the pending queue
    size_t held = 0;     // copies or Bcc parts held by a sending cap (in the queue as well)
    bool aborted = false;
    std::vector<std::string> notes;  // each copy or part queued or given up, with why
};

// Posts the message with the posting loop (PostingDelivery.h) from listPostingAddress, to the
// SMTP server of the console's settings (SmtpServerFromSettings: SMTPHost and SMTPPort as the
// page shows them). Bcc: one message to all members in parts of at most
// MaxRecipientsPerMessage ("Posting via Bcc"); handled counts the members of the parts that
// went. With no members nothing is sent. Individually: one copy per member ("Posting to " +
// address + " (i/n)"), a failed copy logged "msg to ... - failed (Attempt 1)", the abort flag
// checked after every member. Members in a digest mode (digests on) or nomail get no copy;
// the posting goes into the list's next digest instead when some member takes one (not when
// the run was aborted). The posting that went is kept in the list's mbox archive (the Bcc
// form; individually at the moment of the first copy) and the list's HTML archive built when
// its HtmlArchive is on. The abort flag is cleared at the start and at the end; the
// status text "Finished posting" ends every run. The caller holds the session lock.
ManualPostingOutcome PostManualMessage(Services& services, const ManualPosting& posting,
                                       std::atomic<bool>& abort);

}  // namespace corvanteer
