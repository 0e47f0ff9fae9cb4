#include "app/StoreConsole.h"

#include "engine/ListStore.h"

namespace corvanteer {

GlobalSettings StoreConsole::Globals() {
    return LoadGlobalSettings(store_, paths_.SettingsKey(), paths_.appDir);
}

std::vector<std::string> StoreConsole::ListNames() {
    std::vector<std::string> names = corvanteer::ListNames(store_, paths_);
    if (names.empty()) {
        names.emplace_back(kDefaultListName);
    }
    return names;
}

}  // namespace corvanteer
