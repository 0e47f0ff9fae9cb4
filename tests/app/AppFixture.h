#pragma once

// Services for tests of the app layer: a temporary application directory with its own
// settings database, the console a front end without a window uses (StoreConsole), fake mail
// clients, a fake clock and random source, and an observer that records what a window would
// be told.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/StoreConsole.h"
#include "common/FakeMailClients.h"
#include "common/TempDir.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "support/Text.h"

namespace corvanteer::testing {

class AppObserver : public ScanObserver {
public:
    void StatusText(const std::string& text) override { statusTexts.push_back(text); }
    void RosterChanged(const std::string& listName) override { rosterChanges.push_back(listName); }

    std::vector<std::string> statusTexts;
    std::vector<std::string> rosterChanges;
};

class AppTest : public ::testing::Test {
protected:
    AppTest();

    // Creates the list key.
    void MakeList(const std::string& name);
    std::string DataFile(const std::string& name) const { return paths.ListDataFile(name); }
    std::string ListKey(const std::string& name) const { return paths.ListKey(name); }
    Lines Section(const std::string& list, const std::string& section) const;
    void SetSection(const std::string& list, const std::string& section, const Lines& lines);
    // The activity log's lines (none when absent).
    Lines LogLines() const;

    // What the fake clock gives: LogStamp and the short date (LC_ALL=C, TZ=UTC).
    static constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";
    static constexpr const char* kShortDate = "03/09/26";

    TempDir dir;
    AppPaths paths;
    std::unique_ptr<SettingsStore> store;
    FakePop3 pop3;
    FakeSmtp smtp;
    FakeClock clock;
    FakeRandom random;
    AppObserver observer;
    StoreLock storeLock;
    StoreConsole console;
    Services services;
};

}  // namespace corvanteer::testing
