#include "cli/CliFixture.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "app/RegistrySnapshot.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {

CliTest::CliTest() : paths(AppPaths::ForDirectory(home.Path())) {
    clock.Set(2026, 3, 9, 14, 5, 0);
}

CliResult CliTest::RunBare(const std::vector<std::string>& args) {
    return Invoke(args, "");
}

CliResult CliTest::Run(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> withHome{"--home", home.Path()};
    withHome.insert(withHome.end(), args.begin(), args.end());
    return Invoke(withHome, input);
}

CliResult CliTest::Invoke(const std::vector<std::string>& args, const std::string& input) {
    std::vector<std::string> argv{"corvanteer-cli"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    cli::CliHooks hooks;
    hooks.stop = &stop;
    hooks.clock = &clock;
    hooks.random = &random;
    hooks.pop3 = &pop3;
    hooks.smtp = &smtp;
    hooks.http = &http;
    hooks.journal = journal;
    hooks.notifier = notifier;
    hooks.wait = [this](int64_t ms) {
        clock.AdvanceSeconds(ms / 1000);
        return true;
    };
    CliResult result;
    result.status = cli::RunCli(argv, {in, out, err}, hooks);
    result.out = out.str();
    result.err = err.str();
    return result;
}

SettingsStore& CliTest::Store() {
    if (!store_) {
        store_ = SettingsStore::Open(paths.SettingsDatabase());
    }
    return *store_;
}

Lines CliTest::Section(const std::string& list, const std::string& section) const {
    return TextToLines(ReadSection(paths.ListDataFile(list), section));
}

std::string CliTest::Fingerprint() {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.Path())) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !EndsWith(name, ".lock") &&
            !StartsWith(name, "settings.sqlite")) {
            files.push_back(entry.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    std::string print;
    for (const std::string& file : files) {
        print += "== " + file + "\n" + ReadFile(file) + "\n";
    }
    const std::string snapshot = home.File("fingerprint.cfg");
    ExportRegistry(Store(), snapshot, paths.SettingsKey());
    print += "== settings\n" + ReadFile(snapshot);
    DeleteFileIfExists(snapshot);
    return print;
}

Lines OutputLines(const std::string& text) {
    return TextToLines(text);
}

}  // namespace corvanteer::testing
