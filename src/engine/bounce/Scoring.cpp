#include "engine/bounce/Scoring.h"

#include <algorithm>

namespace corvanteer::bounce {

BounceRules RulesOf(const ListSettings& settings) {
    BounceRules rules;
    rules.processing = settings.BounceProcessing;
    rules.thresholdHalves = std::max(1, settings.BounceScoreThreshold) * 2;
    rules.staleAfterDays = std::max(1, settings.BounceInfoStaleAfter);
    rules.warnIntervalDays = std::max(1, settings.BounceWarnInterval);
    rules.warnings = std::max(1, settings.BounceWarnings);
    return rules;
}

int StandingHalfPoints(const MemberBounces& member, int today, const BounceRules& rules) {
    if (member.disabled != Disabled::No) {
        return member.halfPoints;
    }
    if (member.lastBounce == 0 || today - member.lastBounce > rules.staleAfterDays) {
        return 0;
    }
    return member.halfPoints;
}

Charge ChargeBounce(BounceState& state, std::string_view address, Verdict verdict,
                    std::string_view status, int today, const BounceRules& rules) {
    Charge charge;
    if (verdict != Verdict::Hard && verdict != Verdict::Soft) {
        return charge;
    }
    MemberBounces& member = state.Entry(address);
    charge.halfPoints = member.halfPoints;
    if (member.disabled != Disabled::No) {
        charge.result = ChargeResult::AlreadyOff;
        return charge;
    }
    member.halfPoints = StandingHalfPoints(member, today, rules);
    if (member.lastBounce == today && member.halfPoints > 0) {
        charge.result = ChargeResult::CountedToday;
        charge.halfPoints = member.halfPoints;
        return charge;
    }
    member.halfPoints += verdict == Verdict::Hard ? 2 : 1;
    member.lastBounce = today;
    member.lastStatus = std::string(status);
    charge.result = ChargeResult::Counted;
    charge.halfPoints = member.halfPoints;
    if (member.halfPoints >= rules.thresholdHalves) {
        DisableMember(member, Disabled::Bounces, today, "");
        charge.disabledNow = true;
    }
    return charge;
}

bool DropStale(BounceState& state, int today, const BounceRules& rules) {
    auto& members = state.Members();
    const size_t before = members.size();
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [&](const MemberBounces& member) {
                                     return member.disabled == Disabled::No &&
                                            StandingHalfPoints(member, today, rules) == 0;
                                 }),
                  members.end());
    return members.size() != before;
}

std::vector<DueAction> DueActions(const BounceState& state, int today, const BounceRules& rules) {
    std::vector<DueAction> due;
    for (const MemberBounces& member : state.Members()) {
        if (member.disabled != Disabled::Bounces) {
            continue;
        }
        if (member.notices == 0) {
            due.push_back({member.address, Due::Notice});
        } else if (today - member.lastNotice >= rules.warnIntervalDays) {
            due.push_back(
                {member.address, member.notices < rules.warnings ? Due::Notice : Due::Removal});
        }
    }
    return due;
}

void DisableMember(MemberBounces& member, Disabled how, int today, std::string code) {
    member.disabled = how;
    member.disabledSince = today;
    member.notices = 0;
    member.lastNotice = 0;
    member.code = std::move(code);
}

void NoticeSent(MemberBounces& member, int today) {
    ++member.notices;
    member.lastNotice = today;
}

}  // namespace corvanteer::bounce
