#include "common/FuzzWorld.h"

#include <algorithm>
#include <filesystem>

#include "engine/RequestRules.h"
#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::fuzz {

FuzzWorld& FuzzWorld::Get() {
    static FuzzWorld world;
    return world;
}

FuzzWorld::FuzzWorld()
    : paths(AppPaths::ForDirectory(dir.Path())),
      store(SettingsStore::Open(paths.SettingsDatabase())),
      storeLock(paths.StoreLockFile()),
      services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console} {
    Reset();
}

void FuzzWorld::Reset() {
    namespace fs = std::filesystem;
    const std::string keepDatabase = fs::path(paths.SettingsDatabase()).filename().string();
    const std::string keepLock = fs::path(paths.StoreLockFile()).filename().string();
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (!StartsWith(name, keepDatabase) && name != keepLock) {
            fs::remove_all(entry.path());
        }
    }
    pop3 = testing::FakePop3();
    smtp = testing::FakeSmtp();
    random = FakeRandom(42);
    clock.Set(2026, 3, 9, 14, 5, 0);
    console.globals = GlobalSettings();
    console.globals.SMTPHost = "smtp.example.test";
    console.globals.ListServerAddress = "listserver@example.test";
}

void FuzzWorld::AddList(const std::string& name) {
    store->CreateKey(paths.ListKey(name));
    if (std::find(console.lists.begin(), console.lists.end(), name) == console.lists.end()) {
        console.lists.push_back(name);
    }
}

std::vector<std::string> FuzzWorld::LogLines() const {
    auto text = ReadFileIfExists(paths.LogFile());
    return text ? TextToLines(*text) : std::vector<std::string>{};
}

ScanContext FuzzWorld::ContextFor(const std::string& list) {
    ScanContext context;
    SelectList(context, services, list, list);
    context.TempFolder = paths.TempFolder(list);
    return context;
}

}  // namespace corvanteer::fuzz
