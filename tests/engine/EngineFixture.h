#pragma once

// A complete set of services for engine tests: a temporary application directory with its
// own settings database, fake POP3 and SMTP clients, a fake clock and random source, and an
// observer and console that record and answer what a window would.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/FakeMailClients.h"
#include "common/TempDir.h"
#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingsStore.h"

namespace corvanteer::testing {

class RecordingObserver : public ScanObserver {
public:
    void StatusText(const std::string& text) override { statusTexts.push_back(text); }
    void TrayImage(int index) override { trayImages.push_back(index); }
    void RosterChanged(const std::string& listName) override { rosterChanges.push_back(listName); }

    std::vector<std::string> statusTexts;
    std::vector<int> trayImages;
    std::vector<std::string> rosterChanges;
};

class RecordingTimer : public PollTimer {
public:
    void Stop() override {
        events.push_back(0);
        interval = 0;
    }
    void SetIntervalMs(int64_t ms) override {
        events.push_back(ms);
        interval = ms;
    }
    std::vector<int64_t> events;  // 0 for Stop, else the interval given
    int64_t interval = -1;
};

class TestConsole : public Console {
public:
    GlobalSettings Globals() override { return globals; }
    std::vector<std::string> ListNames() override { return lists; }
    GlobalSettings globals;
    std::vector<std::string> lists;
};

class EngineTest : public ::testing::Test {
protected:
    EngineTest();

    // Creates a list key (and remembers the name in the console's list order) with the given
    // per-list values already written.
    void AddList(const std::string& name);
    std::string ListKey(const std::string& name) const { return paths.ListKey(name); }
    std::string DataFile(const std::string& name) const { return paths.ListDataFile(name); }
    // The activity log's lines ("" when absent).
    std::vector<std::string> LogLines() const;
    // Names of the files in out/ (the pending queue), sorted; none when out/ is absent.
    std::vector<std::string> QueueFiles() const;
    // Replaces one section of a list's data file with the lines of the text.
    void SetSection(const std::string& list, const std::string& section, const std::string& text);
    // A context turned to the list as a scan does it: name, key, data file, temp folder and
    // the list settings loaded from the store.
    ScanContext ContextFor(const std::string& list);

    TempDir dir;
    AppPaths paths;
    std::unique_ptr<SettingsStore> store;
    FakePop3 pop3;
    FakeSmtp smtp;
    FakeClock clock;
    FakeRandom random;
    RecordingObserver observer;
    StoreLock storeLock;
    TestConsole console;
    Services services;
};

}  // namespace corvanteer::testing
