#include "AppFixture.h"

#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {

AppTest::AppTest()
    : paths(AppPaths::ForDirectory(dir.Path())),
      store(SettingsStore::Open(paths.SettingsDatabase())),
      storeLock(paths.StoreLockFile()),
      console(*store, paths),
      services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console} {
    clock.Set(2026, 3, 9, 14, 5, 0);
    store->WriteRegString(paths.SettingsKey(), "SMTPHost", "smtp.example.test");
    store->WriteRegInteger(paths.SettingsKey(), "SMTPPort", 2525);
}

void AppTest::MakeList(const std::string& name) {
    store->CreateKey(paths.ListKey(name));
}

Lines AppTest::Section(const std::string& list, const std::string& section) const {
    return TextToLines(ReadSection(paths.ListDataFile(list), section));
}

void AppTest::SetSection(const std::string& list, const std::string& section, const Lines& lines) {
    WriteSection(paths.ListDataFile(list), section, lines);
}

Lines AppTest::LogLines() const {
    auto text = ReadFileIfExists(paths.LogFile());
    return text ? TextToLines(*text) : Lines{};
}

}  // namespace corvanteer::testing
