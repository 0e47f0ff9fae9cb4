#include "EngineFixture.h"

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer::testing {

EngineTest::EngineTest()
    : paths(AppPaths::ForDirectory(dir.Path())),
      store(SettingsStore::Open(paths.SettingsDatabase())),
      storeLock(paths.StoreLockFile()),
      services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console} {
    clock.Set(2026, 3, 9, 14, 5, 0);
    console.globals.SMTPHost = "smtp.example.test";
    console.globals.ListServerAddress = "listserver@example.test";
    console.globals.BackupDir = paths.DefaultBackupDir();
}

void EngineTest::AddList(const std::string& name) {
    store->CreateKey(paths.ListKey(name));
    console.lists.push_back(name);
}

std::vector<std::string> EngineTest::LogLines() const {
    auto text = ReadFileIfExists(paths.LogFile());
    return text ? TextToLines(*text) : std::vector<std::string>{};
}

}  // namespace corvanteer::testing
