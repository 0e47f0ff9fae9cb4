#pragma once

// The console of a front end without a window: the global settings and the list order come
// straight from the settings store, read afresh at every call, so a change made meanwhile by
// the window or another command is seen at once.

#include <string>
#include <vector>

#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/SettingsStore.h"

namespace corvanteer {

class StoreConsole final : public Console {
public:
    // Both must outlive the console.
    StoreConsole(SettingsStore& store, const AppPaths& paths) : store_(store), paths_(paths) {}

    // LoadGlobalSettings of the settings key, with the global table's defaults.
    GlobalSettings Globals() override;
    // The list names in store order; "Default List" alone when no list exists, as the window's
    // selector shows it. Creates the Lists key when it is missing.
    std::vector<std::string> ListNames() override;

private:
    SettingsStore& store_;
    const AppPaths& paths_;
};

}  // namespace corvanteer
