#pragma once

// The engine's services for the fuzz targets that drive handlers: an application directory in
// a temporary folder (removed when the process ends), its settings database, fake POP3 and
// SMTP clients, a clock that stands still and a seeded random source. One per process; Reset
// puts everything but the settings back as it was, so every input runs from the same state.

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

namespace corvanteer::fuzz {

class FuzzConsole : public Console {
public:
    GlobalSettings Globals() override { return globals; }
    std::vector<std::string> ListNames() override { return lists; }
    GlobalSettings globals;
    std::vector<std::string> lists;
};

class FuzzWorld {
public:
    // The world of this process, created on first use.
    static FuzzWorld& Get();

    // Removes every file of the application directory but the settings database and the
    // lock file, and gives the fakes, the clock and the random source their first state.
    void Reset();

    // Creates the list's key (once) and names it in the console's list order.
    void AddList(const std::string& name);
    // The activity log's lines (none when absent).
    std::vector<std::string> LogLines() const;
    // A context turned to the list as a scan does it.
    ScanContext ContextFor(const std::string& list);

    testing::TempDir dir;
    AppPaths paths;
    std::unique_ptr<SettingsStore> store;
    testing::FakePop3 pop3;
    testing::FakeSmtp smtp;
    FakeClock clock;
    FakeRandom random;
    ScanObserver observer;
    StoreLock storeLock;
    FuzzConsole console;
    Services services;

private:
    FuzzWorld();
};

}  // namespace corvanteer::fuzz
