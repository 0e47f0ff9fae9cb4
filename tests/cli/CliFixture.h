#pragma once

// In-process runs of corvanteer-cli against a temporary application directory, with fake
// mail clients, a fake clock and random source, and the output captured.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "common/FakeHttp.h"
#include "common/FakeMailClients.h"
#include "common/TempDir.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "support/Text.h"

namespace corvanteer::testing {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    CliTest();

    // Runs corvanteer-cli --home <dir> args..., with input as standard input.
    CliResult Run(const std::vector<std::string>& args, const std::string& input = "");
    // The same without --home (for --help, --version and usage errors).
    CliResult RunBare(const std::vector<std::string>& args);

    // The settings store of the application directory (opened on first use).
    SettingsStore& Store();
    std::string DataFile(const std::string& list) const { return paths.ListDataFile(list); }
    Lines Section(const std::string& list, const std::string& section) const;
    // Every file of the application directory (but locks) with its bytes, and a settings
    // snapshot: for "nothing was written" checks.
    std::string Fingerprint();

    TempDir home;
    AppPaths paths;
    FakeClock clock;
    FakeRandom random;
    FakePop3 pop3;
    FakeSmtp smtp;
    FakeHttp http;  // the OAuth endpoints; a device sign-in's waits move the clock
    std::atomic<bool> stop{false};
    // Standard error is the journal, and whom `run` notifies (null: the systemd notifier).
    bool journal = false;
    ServiceNotifier* notifier = nullptr;

private:
    CliResult Invoke(const std::vector<std::string>& args, const std::string& input);

    std::unique_ptr<SettingsStore> store_;
};

// One line per entry of a text (lines ended by "\n").
Lines OutputLines(const std::string& text);

}  // namespace corvanteer::testing
