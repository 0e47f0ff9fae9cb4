#include "engine/bounce/MemberDelivery.h"

#include "engine/ActivityLog.h"
#include "engine/bounce/Scoring.h"

namespace corvanteer::bounce {

namespace {

void Record(Services& services, std::string_view list, const std::string& entry,
            const std::string& logText) {
    AddLatestAction(services, services.paths.ListDataFile(list), ShortDateNow(services) + entry);
    WriteLog(services, Stamp(services) + std::string(list) + ":" + logText);
    services.observer.RosterChanged(std::string(list));
}

}  // namespace

std::vector<MemberStanding> StandingsOf(const BounceState& state,
                                        const std::vector<std::string>& addresses,
                                        const LocalTime& now, const ListSettings& settings) {
    const BounceRules rules = RulesOf(settings);
    const int today = DayOf(now);
    std::vector<MemberStanding> standings(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        const MemberBounces* member = state.Find(addresses[i]);
        if (member == nullptr) {
            continue;
        }
        standings[i].disabled = member->disabled != Disabled::No;
        if (StandingHalfPoints(*member, today, rules) > 0) {
            standings[i].score = member->ScoreText();
        }
    }
    return standings;
}

BounceCounts CountBounces(const BounceState& state, const LocalTime& now,
                          const ListSettings& settings) {
    const BounceRules rules = RulesOf(settings);
    const int today = DayOf(now);
    BounceCounts counts;
    for (const MemberBounces& member : state.Members()) {
        if (member.disabled != Disabled::No) {
            ++counts.disabled;
        } else if (StandingHalfPoints(member, today, rules) > 0) {
            ++counts.bouncing;
        }
    }
    return counts;
}

std::unordered_set<std::string> DisabledAddresses(const AppPaths& paths, std::string_view list) {
    std::unordered_set<std::string> disabled;
    const BounceState state = ReadBounceState(paths, list);
    for (const MemberBounces& member : state.Members()) {
        if (member.disabled != Disabled::No) {
            disabled.insert(member.address);
        }
    }
    return disabled;
}

DeliveryChange EnableDelivery(Services& services, std::string_view list, std::string_view address,
                              std::string_view how) {
    bool wasDisabled = false;
    bool hadLine = false;
    UpdateBounceState(services, list, [&](BounceState& state) {
        const MemberBounces* member = state.Find(address);
        hadLine = member != nullptr;
        wasDisabled = hadLine && member->disabled != Disabled::No;
        return hadLine && state.Remove(address);
    });
    if (!wasDisabled) {
        return hadLine ? DeliveryChange::Changed : DeliveryChange::Unchanged;
    }
    const std::string who(address);
    Record(services, list, " + " + who + "(delivery enabled)",
           " + " + who + "(delivery enabled, " + std::string(how) + ")");
    return DeliveryChange::Changed;
}

DeliveryChange DisableDeliveryByHand(Services& services, std::string_view list,
                                     std::string_view address) {
    const int today = DayOf(services.clock.Now());
    bool changed = false;
    UpdateBounceState(services, list, [&](BounceState& state) {
        MemberBounces& member = state.Entry(address);
        if (member.disabled != Disabled::No) {
            return false;
        }
        DisableMember(member, Disabled::ByHand, today, "");
        changed = true;
        return true;
    });
    if (!changed) {
        return DeliveryChange::Unchanged;
    }
    const std::string who(address);
    Record(services, list, " x " + who + "(delivery disabled)",
           " x " + who + "(delivery disabled by hand)");
    return DeliveryChange::Changed;
}

}  // namespace corvanteer::bounce
