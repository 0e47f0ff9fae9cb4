#include "app/MemberModeOperations.h"

#include "app/ListOperations.h"
#include "engine/digest/DeliveryModes.h"
#include "engine/digest/ModeRequests.h"
#include "support/Text.h"

namespace corvanteer {

ActionResult SetMemberMode(Services& services, std::string_view listName, std::string_view address,
                           std::string_view modeName) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    std::optional<DeliveryMode> mode = ParseDeliveryMode(modeName);
    if (!mode) {
        return ActionResult::Refused("The mode must be " + DeliveryModeNames() + " (not \"" +
                                     std::string(modeName) + "\").");
    }
    const std::string lower = LowerCase(Trim(address));
    switch (ChangeMemberMode(services.paths, services.storeLock, *list, lower, *mode)) {
        case ModeChange::NotMember:
            return ActionResult::Refused(std::string(address) + " is not a member.");
        case ModeChange::Changed:
            LogModeChange(services, *list, lower, *mode, "manual");
            services.observer.RosterChanged(*list);
            break;
        case ModeChange::Unchanged:
            break;
    }
    return ActionResult::Done();
}

}  // namespace corvanteer
