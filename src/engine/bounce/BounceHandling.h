#pragma once

// What a scan does with failure reports and with members whose mail keeps failing:
// recognise and score the reports that arrive in a list mailbox, disable and notify at the
// threshold, send the notices that fall due and remove the members they did not bring back,
// and enable delivery again when a member answers the notice.
//
// Log lines (after the stamp): "<list>: bounce from <address> (<status>) - score <n>" for a
// counted bounce, "<list>: bounce from <address> (<status>) - not counted (<why>)" for one
// that names a member but does not count, "<list>: bounce for <address> (<status>) - refused
// by policy, not charged" for a 5.7.x report, "<list>: x <address>(delivery disabled, score
// <n>)", "<list>: - <address> (bounces)" for a removal; re-enabling as MemberDelivery.h says.

#include <string>
#include <vector>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "engine/bounce/BounceBatch.h"
#include "transport/MailClients.h"

namespace corvanteer::bounce {

enum class BounceOutcome {
    NotABounce,  // names no recipient: handled as any other automatic message
    Handled,     // recognised; members it names are charged (the message goes no further)
    Policy,      // a refusal by policy (5.7.x): logged, and forwarded as before
};

// For an automatic message in the current list's mailbox (context.MessageFile, the list
// selected): recognises it and gathers its charges in context.Bounces. Does nothing (and
// says NotABounce) when the list's BounceProcessing is off.
BounceOutcome HandleListBounce(ScanContext& context, Services& services);

// Applies the gathered charges of the list in context.Bounces (one read-modify-write of its
// state), writes their log lines, and sends the notices of members disabled by them. The
// context must still be turned to that list.
void FlushBounces(ScanContext& context, Services& services);

// For the list the context is turned to: forgets members no longer on the roster and
// scores gone stale, sends the notices that are due, and removes the members whose notices
// ran out (roster entry, records, the owner told). Nothing when BounceProcessing is off.
void RunBounceSchedule(ScanContext& context, Services& services);

// Members' addresses refused for good by our own SMTP server at RCPT (a 5xx reply) while a
// posting of the list went out: each a hard bounce at once, with the reply's status ("5.1.1",
// or the class "5.0.0"); a 5.7.x refusal is logged as the list's problem and not charged.
// Logged as counted bounces; the state is written once for all of them. The notices of a
// member they disable go out with the schedule (RunBounceSchedule), not in the middle of a
// posting. Nothing when the list's BounceProcessing is off; addresses not on its roster are
// passed over.
void ChargeRefusedRecipients(Services& services, const ListInHand& hand,
                             const std::vector<RecipientRefusal>& refusals);

// The list the context is turned to, as ChargeRefusedRecipients takes it.
ListInHand ListInHandOf(ScanContext& context, Services& services);

// A message of the List Server mailbox whose subject is "Re: " + the subject of a notice
// (NoticeSubject) of a member still disabled by bounces: delivery enabled again at score 0.
// True when it was one.
bool HandleEnableReply(ScanContext& context, Services& services);

}  // namespace corvanteer::bounce
