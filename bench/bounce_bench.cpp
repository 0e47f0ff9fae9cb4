// Failure reports: how fast they are read, and what a scan of a mailbox full of them costs.
//
//   bounce_bench recognise [count=10000] [corpus=tests/engine/bounce/corpus]
//       RecogniseBounce over count reports, the corpus shapes in turn, in memory.
//   bounce_bench scan [count=10000] [members=10000] [corpus=...]
//       A scan's phase 3 over count temp files of the corpus shapes, each naming another
//       member of a list of members: recognised, scored (the state file written per batch),
//       nothing sent (no member reaches the threshold in one scan).
//
// Each prints a readable line and "RESULT <mode> <count> <seconds> <per second> <cpu s> <peak
// resident KB>".

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/StoreConsole.h"
#include "engine/ListStore.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "engine/bounce/BounceState.h"
#include "engine/bounce/Recogniser.h"
#include "support/AppPaths.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/SectionFile.h"
#include "support/SettingsStore.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace {

using namespace corvanteer;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kList = "bench";

// The corpus shapes and the member address each names, which the scan replaces.
struct Shape {
    const char* file;
    const char* address;
};
constexpr Shape kShapes[] = {
    {"dsn-one.eml", "ann@example.org"},     {"dsn-several.eml", "bob@example.net"},
    {"dsn-delayed.eml", "ann@example.org"}, {"dsn-policy.eml", "ann@example.org"},
    {"x-failed.eml", "fay@example.net"},    {"qmail.eml", "gus@example.com"},
    {"exim-old.eml", "ivy@example.net"},    {"exchange.eml", "jon@corp.example.com"},
    {"yahoo.eml", "kim@example.com"},       {"forward-token.eml", "lou.old@mailbox.example.com"},
};

std::string DefaultCorpus() {
    return CORVANTEER_BOUNCE_CORPUS;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::string MemberAddress(int i) {
    char text[32];
    std::snprintf(text, sizeof text, "member%06d@example.test", i);
    return text;
}

void Report(const char* mode, int count, double seconds, double cpu) {
    std::printf("%s: %d reports in %.3f s = %.0f /s, %.2f s cpu, peak resident %ld KB\n", mode,
                count, seconds, count / seconds, cpu, PeakKb());
    std::printf("RESULT %s %d %.6f %.1f %.3f %ld\n", mode, count, seconds, count / seconds, cpu,
                PeakKb());
}

int Recognise(int count, const std::string& corpus) {
    std::vector<std::string> reports;
    for (const Shape& shape : kShapes) {
        reports.push_back(ReadFile(corpus + "/" + shape.file));
    }
    reports.push_back(ReadFile(corpus + "/dsn-global.eml"));
    reports.push_back(ReadFile(corpus + "/vacation.eml"));
    size_t named = 0;
    const double cpu = CpuSeconds();
    const auto begin = SteadyClock::now();
    for (int i = 0; i < count; ++i) {
        named += bounce::RecogniseBounce(reports[static_cast<size_t>(i) % reports.size()])
                     .recipients.size();
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    if (named == 0) {
        throw std::runtime_error("no report named a recipient");
    }
    Report("recognise", count, seconds, CpuSeconds() - cpu);
    return 0;
}

class NullTimer : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

int Scan(int count, int members, const std::string& corpus) {
    std::string dir = "/tmp/corvanteer-bounce-bench-XXXXXX";
    if (mkdtemp(dir.data()) == nullptr) {
        throw std::runtime_error("cannot create a folder under /tmp");
    }
    {
        const AppPaths paths = AppPaths::ForDirectory(dir);
        auto store = SettingsStore::Open(paths.SettingsDatabase());
        StoreLock storeLock(paths.StoreLockFile());
        StoreConsole console(*store, paths);
        TPop3Client pop3;
        TSmtpClient smtp;
        SystemClock clock;
        SystemRandom random;
        ScanObserver observer;
        Services services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console};
        pop3.ConnectTimeoutMs = 2000;
        pop3.FirstByteTimeoutMs = 2000;

        CreateList(*store, paths, kList);
        store->WriteRegString(paths.ListKey(kList), "ListPostingAddress", "list@example.test");
        Lines roster;
        for (int i = 0; i < members; ++i) {
            roster.push_back(MemberAddress(i) + " 0 " + std::to_string(100000 + i));
        }
        WriteSection(paths.ListDataFile(kList), "MemberList", roster);
        ForceDirectories(paths.TempFolder(kList));
        std::vector<std::pair<std::string, std::string>> shapes;
        for (const Shape& shape : kShapes) {
            shapes.emplace_back(ReadFile(corpus + "/" + shape.file), shape.address);
        }
        for (int i = 0; i < count; ++i) {
            const auto& [text, address] = shapes[static_cast<size_t>(i) % shapes.size()];
            std::string report = ReplaceAll(text, address, MemberAddress(i % members));
            report = ReplaceAll(report, "Ann@Example.org", MemberAddress(i % members));
            WriteFileAtomic(MakeUniqueFileName(paths.TempFolder(kList), "tmp", random), report);
        }

        const double cpu = CpuSeconds();
        const auto begin = SteadyClock::now();
        SessionLock lock(paths.SessionLockFile());
        NullTimer timer;
        ScanOutcome outcome;
        {
            std::lock_guard<SessionLock> guard(lock);
            outcome = RunScanSession(services, timer);
        }
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
        if (!outcome.ok) {
            throw std::runtime_error(outcome.error);
        }
        const size_t scored = bounce::ReadBounceState(paths, kList).Members().size();
        std::printf("scan: %d members, %zu of them with a score after the scan\n", members, scored);
        Report("scan", count, seconds, CpuSeconds() - cpu);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}

int IntArg(int argc, char** argv, int index, int fallback) {
    return argc > index ? std::atoi(argv[index]) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::string mode = argc > 1 ? argv[1] : "";
        if (mode == "recognise") {
            return Recognise(IntArg(argc, argv, 2, 10000), argc > 3 ? argv[3] : DefaultCorpus());
        }
        if (mode == "scan") {
            return Scan(IntArg(argc, argv, 2, 10000), IntArg(argc, argv, 3, 10000),
                        argc > 4 ? argv[4] : DefaultCorpus());
        }
        std::fprintf(stderr,
                     "usage: bounce_bench recognise [count=10000] [corpus]\n"
                     "       bounce_bench scan [count=10000] [members=10000] [corpus]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bounce_bench: %s\n", error.what());
        return 1;
    }
}
