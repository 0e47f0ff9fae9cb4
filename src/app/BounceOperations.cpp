#include "app/BounceOperations.h"

#include <optional>

#include "app/ListOperations.h"
#include "engine/Roster.h"
#include "engine/bounce/MemberDelivery.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// The member's address as the roster holds it (lower case), or nullopt.
std::optional<std::string> RosterAddress(Services& services, const std::string& list,
                                         std::string_view address) {
    for (const std::string& line :
         TextToLines(ReadSection(services.paths.ListDataFile(list), "MemberList"))) {
        if (SameText(MemberEntry::AddressOf(line), address)) {
            return LowerCase(MemberEntry::AddressOf(line));
        }
    }
    return std::nullopt;
}

}  // namespace

ActionResult EnableMember(Services& services, std::string_view listName, std::string_view address) {
    const std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    const std::optional<std::string> member = RosterAddress(services, *list, address);
    if (!member) {
        return ActionResult::Refused(std::string(address) + " is not a member.");
    }
    const bool wasDisabled = bounce::DisabledAddresses(services.paths, *list).count(*member) > 0;
    bounce::EnableDelivery(services, *list, *member, "by hand");
    return ActionResult::Done(
        *member + (wasDisabled ? " gets the list's mail again." : " was not disabled."));
}

ActionResult DisableMember(Services& services, std::string_view listName,
                           std::string_view address) {
    const std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    const std::optional<std::string> member = RosterAddress(services, *list, address);
    if (!member) {
        return ActionResult::Refused(std::string(address) + " is not a member.");
    }
    if (bounce::DisableDeliveryByHand(services, *list, *member) ==
        bounce::DeliveryChange::Unchanged) {
        return ActionResult::Done(*member + " was disabled already.");
    }
    return ActionResult::Done();
}

ListSettings BounceSettingsOf(const SettingsStore& store, std::string_view listKey) {
    const SettingReader read = ListScanReader(store, listKey);
    ListSettings settings;
    settings.BounceProcessing = read.Boolean("BounceProcessing");
    settings.BounceScoreThreshold = read.Integer("BounceScoreThreshold");
    settings.BounceInfoStaleAfter = read.Integer("BounceInfoStaleAfter");
    settings.BounceWarnInterval = read.Integer("BounceWarnInterval");
    settings.BounceWarnings = read.Integer("BounceWarnings");
    return settings;
}

}  // namespace corvanteer
