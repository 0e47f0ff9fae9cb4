#pragma once

// The world of a whole-scan end-to-end test: one pair of real mail servers for the test
// program, and per test a fresh application directory with its own settings store, the real
// POP3 and SMTP clients, a fixed clock, and the store-backed console a headless front end
// uses. Settings are written as the operator writes them, through the setting tables.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/StoreConsole.h"
#include "common/TempDir.h"
#include "e2e/MailServers.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer::testing {

class ScanWorld : public ::testing::Test {
protected:
    // Long enough for a loaded machine, short enough that a failure does not wait minutes.
    static constexpr int kWaitMs = 15000;

    static void SetUpTestSuite();
    static void TearDownTestSuite();
    static MailServers& Servers() { return *servers_; }

    ScanWorld();
    void SetUp() override;

    // The client's protocol time-outs shortened to kWaitMs.
    static void ShortenTimeouts(TPop3Client& client);
    static void ShortenTimeouts(TSmtpClient& client);

    // One value of the global or per-list table, given as the command line takes it.
    void SetGlobal(const std::string& name, const std::string& text);
    void SetListSetting(const std::string& list, const std::string& name, const std::string& text);
    void SetSection(const std::string& list, const std::string& section, const Lines& lines);

    // One scan as a front end runs it: the SMTP client pointed at the global settings, the
    // session lock held throughout.
    ScanOutcome RunScan();

    Lines LogLines() const;

    TempDir dir;
    AppPaths paths;
    std::unique_ptr<SettingsStore> store;
    TPop3Client pop3;
    TSmtpClient smtp;
    FakeClock clock;
    FakeRandom random;
    ScanObserver observer;
    StoreLock storeLock;
    StoreConsole console;
    Services services;

private:
    static std::unique_ptr<MailServers> servers_;
};

}  // namespace corvanteer::testing
