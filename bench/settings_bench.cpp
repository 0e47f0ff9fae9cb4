// Settings store throughput: reads of existing values, single-value writes (one transaction
// each) and whole-list loads as a scan does them. Prints its own figures.

#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/SettingTables.h"
#include "support/SettingsStore.h"

using namespace corvanteer;

namespace {

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

}  // namespace

int main() {
    std::string base = std::filesystem::temp_directory_path().string() + "/settings-bench-XXXXXX";
    std::vector<char> name(base.begin(), base.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = name.data();
    int status = 0;
    {
        auto store = SettingsStore::Open(dir + "/settings.sqlite");
        const std::string key = "Software\\Brask Software\\Corvanteer\\Lists\\news";
        std::vector<std::string> names;
        for (int i = 0; i < 20; ++i) {
            names.push_back("Value" + std::to_string(i));
            store->WriteRegString(key, names.back(), "text of value " + std::to_string(i));
        }

        constexpr int kReads = 10000;
        auto start = std::chrono::steady_clock::now();
        size_t bytes = 0;
        for (int i = 0; i < kReads; ++i) {
            bytes +=
                store->ReadRegString(key, names[static_cast<size_t>(i) % names.size()], "").size();
        }
        double readMs = MillisecondsSince(start);
        std::printf("ReadRegString: %d reads of existing values in %.1f ms (%.2f us each)\n",
                    kReads, readMs, readMs * 1000 / kReads);

        constexpr int kWrites = 2000;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kWrites; ++i) {
            store->WriteRegString(key, names[static_cast<size_t>(i) % names.size()],
                                  "new text " + std::to_string(i));
        }
        double writeMs = MillisecondsSince(start);
        std::printf("WriteRegString: %d replacing writes in %.1f ms (%.2f us each)\n", kWrites,
                    writeMs, writeMs * 1000 / kWrites);

        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kWrites; ++i) {
            store->WriteRegString(key + "\\Sub" + std::to_string(i % 50), "New" + std::to_string(i),
                                  "x");
        }
        double newMs = MillisecondsSince(start);
        std::printf("WriteRegString: %d new values in 50 new keys in %.1f ms (%.2f us each)\n",
                    kWrites, newMs, newMs * 1000 / kWrites);

        constexpr int kLoads = 1000;
        start = std::chrono::steady_clock::now();
        for (int i = 0; i < kLoads; ++i) {
            bytes += LoadListSettings(*store, key).VerifySubject.size();
        }
        double loadMs = MillisecondsSince(start);
        std::printf("LoadListSettings: %d loads in %.1f ms (%.2f us each)\n", kLoads, loadMs,
                    loadMs * 1000 / kLoads);
        if (bytes == 0) {
            status = 1;  // keeps the reads from being optimised away
        }
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return status;
}
