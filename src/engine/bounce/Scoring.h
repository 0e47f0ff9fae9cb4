#pragma once

// Scoring failed deliveries: a hard failure adds 1.0 to the member's score and a soft one
// 0.5, at most once a day; a score whose last bounce is older than BounceInfoStaleAfter days
// starts again from zero; at BounceScoreThreshold the member's delivery is disabled. A
// member disabled by the score gets a notice at once and again every BounceWarnInterval
// days, BounceWarnings notices in all; one interval after the last, the member is removed.
// Days are local days (DayOf), so "today" comes from the injected clock.

#include <string>
#include <string_view>
#include <vector>

#include "engine/bounce/BounceState.h"
#include "engine/bounce/Recogniser.h"
#include "support/SettingTables.h"

namespace corvanteer::bounce {

struct BounceRules {
    bool processing = true;    // BounceProcessing
    int thresholdHalves = 10;  // BounceScoreThreshold, in halves
    int staleAfterDays = 7;    // BounceInfoStaleAfter
    int warnIntervalDays = 7;  // BounceWarnInterval
    int warnings = 3;          // BounceWarnings: notices in all before removal
};

BounceRules RulesOf(const ListSettings& settings);

// The score that stands on the day: 0 once the last bounce is more than staleAfterDays old
// (a disabled member keeps the score that disabled them).
int StandingHalfPoints(const MemberBounces& member, int today, const BounceRules& rules);

enum class ChargeResult {
    Counted,        // the score went up
    CountedToday,   // the member's score went up today already
    AlreadyOff,     // delivery to the member is disabled already
    NotChargeable,  // a verdict that is never charged (policy, not counted)
};

struct Charge {
    ChargeResult result = ChargeResult::NotChargeable;
    bool disabledNow = false;  // this bounce reached the threshold
    int halfPoints = 0;        // the score after the charge
};

// Charges one failure of a member's address (hard or soft) on the day. Reaching the
// threshold disables delivery (Disabled::Bounces, since today, no notice sent yet); the
// caller gives the entry its re-enable code.
Charge ChargeBounce(BounceState& state, std::string_view address, Verdict verdict,
                    std::string_view status, int today, const BounceRules& rules);

// Drops the lines of members still enabled whose score has gone stale; true when any went.
bool DropStale(BounceState& state, int today, const BounceRules& rules);

enum class Due { Notice, Removal };
struct DueAction {
    std::string address;
    Due what = Due::Notice;
};

// What is due on the day for members disabled by the score, in address order: the first
// notice when none was sent yet; once BounceWarnInterval days have passed since the last
// notice, another one while fewer than BounceWarnings were sent, else the removal.
std::vector<DueAction> DueActions(const BounceState& state, int today, const BounceRules& rules);

// Delivery disabled on the day (by the score or by hand), with the code of its notices
// ("" for none); the notice count starts again.
void DisableMember(MemberBounces& member, Disabled how, int today, std::string code);

// A notice was sent to the member on the day.
void NoticeSent(MemberBounces& member, int today);

}  // namespace corvanteer::bounce
