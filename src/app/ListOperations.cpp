#include "app/ListOperations.h"

#include <mutex>

#include "engine/ListStore.h"

namespace corvanteer {

std::optional<std::string> ResolveList(Services& services, std::string_view name) {
    return FindList(services.console.ListNames(), name);
}

ActionResult UnknownList(std::string_view name) {
    return ActionResult::Refused("There is no list named \"" + std::string(name) + "\".");
}

ActionResult AddList(Services& services, std::string& name) {
    std::string refusal = CheckNewListName(name);
    if (!refusal.empty()) {
        return ActionResult::Refused(refusal);
    }
    if (ResolveList(services, name)) {
        return ActionResult::Refused("The name already exists. Please select a new one.");
    }
    // Under the store lock: the model file must not be copied half-way through a rewrite.
    std::lock_guard<StoreLock> guard(services.storeLock);
    CreateList(services.store, services.paths, name);
    return ActionResult::Done();
}

ActionResult DeleteList(Services& services, std::string_view name) {
    std::optional<std::string> list = ResolveList(services, name);
    if (!list) {
        return UnknownList(name);
    }
    std::lock_guard<StoreLock> guard(services.storeLock);
    corvanteer::DeleteList(services.store, services.paths, *list);
    return ActionResult::Done();
}

}  // namespace corvanteer
