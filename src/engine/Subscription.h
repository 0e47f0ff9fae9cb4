#pragma once

// Subscription by mail: requests to join and leave a list, verification of a new address by
// a mailed code, the answers to all of them, and the expiry of codes never answered.
//
// Every handler works on the context of the running scan as the request rules leave it: the
// list selected (ListName as the requester wrote it, ListKey and ListDataFile of the list as
// the list set holds it, Settings loaded), SenderAddress (lower case), and for "subs"/"unsu"
// the AlreadyMember flag. Answers go to the sender from the List Server address; a failed
// answer is queued by SendReply. Roster and "vericode.dat" changes are made under the store
// lock, which is never held while mail is sent.

#include <string>
#include <string_view>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "engine/Templates.h"
#include "support/Clock.h"

namespace corvanteer {

// Composes and sends one answer: the template section of the current list filled in, an
// empty line above it, "Auto-Submitted: auto-replied" above that, the standard header block
// above that, and at the very top "To: " + sender, "From: " + List Server address,
// "Subject: " + subject. A sender whose delivery on the list is disabled (bounces) gets
// nothing: list + ": i withheld msg to " + sender + "(delivery disabled)" is logged instead.
void SendTemplateAnswer(ScanContext& context, Services& services, std::string_view section,
                        const std::string& subject,
                        TemplatePassword password = TemplatePassword::Withheld);

// The same for a body already filled in.
void SendAnswerText(ScanContext& context, Services& services, const std::string& body,
                    const std::string& subject);

// "auth" + list name (as given) + "yymmddhhmmss" of the moment + "0".
std::string MakeVerificationCode(std::string_view listName, const LocalTime& now);

// A "subs" request of a sender who is not blacklisted: the Already_A_Member answer, or a
// verification code (line in "vericode.dat", Subscribe_Verify answer, records), or AddMember.
void HandleSubscribeRequest(ScanContext& context, Services& services);

// Adds the sender with a new password (an entry equal to one present is not added twice),
// sends the confirmation and, where members post with passwords, the password notice, and
// records the addition.
void AddMember(ScanContext& context, Services& services);

// An "unsu" request: the Not_Member answer, or the first entry of the sender removed, the
// Unsubscribe_Confirm answer and the records.
void HandleUnsubscribeRequest(ScanContext& context, Services& services);

// A reply carrying "(auth": the context's VerificationText holds the subject from "(auth" to
// its end. A sender who is already a member (not banned) is ignored; a pending line of that
// code and sender adds the member and is removed; anything else gets the Verify_Error answer
// and the records. A missing "vericode.dat" counts as an empty one.
void HandleVerificationReply(ScanContext& context, Services& services);

struct ExpiryCounts {
    int removed = 0;    // lines older than the list's VerifyDays + 2 whole days
    int kept = 0;       // well-formed lines still answerable
    int malformed = 0;  // lines not of the code's form or naming no list: kept as they are
};

// Drops every line of "vericode.dat" whose code's date lies more than VerifyDays + 2 whole
// days before today (VerifyDays of the list the code names, default 7). Lines that do not
// have the code's form, or name a list that does not exist, are kept unchanged. The file is
// rewritten atomically (even when nothing was removed); a missing file is left missing.
ExpiryCounts ExpirePendingVerifications(Services& services);

}  // namespace corvanteer
