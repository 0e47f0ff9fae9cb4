#include "EngineFixture.h"

#include <algorithm>

#include "support/Files.h"
#include "support/SectionFile.h"
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

std::vector<std::string> EngineTest::QueueFiles() const {
    std::vector<std::string> names = ListFiles(paths.OutFolder(), "");
    std::sort(names.begin(), names.end());
    return names;
}

void EngineTest::SetSection(const std::string& list, const std::string& section,
                            const std::string& text) {
    WriteSection(paths.ListDataFile(list), section, TextToLines(text));
}

ScanContext EngineTest::ContextFor(const std::string& list) {
    ScanContext context;
    context.ListName = list;
    context.ListKey = paths.ListKey(list);
    context.ListDataFile = paths.ListDataFile(list);
    context.TempFolder = paths.TempFolder(list);
    context.Settings = LoadListSettings(*store, context.ListKey);
    return context;
}

}  // namespace corvanteer::testing
