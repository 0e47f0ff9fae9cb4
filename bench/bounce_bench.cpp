// Failure reports: how fast they are read, and what a scan of a mailbox full of them costs.
//
//   bounce_bench recognise [count=10000] [corpus=tests/engine/bounce/corpus]
//       RecogniseBounce over count reports, the corpus shapes in turn, in memory.
//   bounce_bench scan [count=10000] [members=10000] [corpus=...]
//       A scan's phase 3 over count temp files of the corpus shapes, each naming another
//       member of a list of members: recognised, scored (the state file written per batch),
//       nothing sent (no member reaches the threshold in one scan).
//   bounce_bench mailbox [count=10000] [members=10000] [corpus=...]
//       (root; Dovecot through the end-to-end harness) the same reports in a list mailbox:
//       a whole scan downloads and handles them, then the handling alone is timed again on
//       a fresh application directory; prints download and handling side by side.
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
#ifdef CORVANTEER_BOUNCE_BENCH_SERVERS
#include "e2e/MailServers.h"
#endif
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

// The reports a scan handles: the corpus shapes in turn, each naming the next member.
std::vector<std::string> Reports(int count, int members, const std::string& corpus) {
    std::vector<std::pair<std::string, std::string>> shapes;
    for (const Shape& shape : kShapes) {
        shapes.emplace_back(ReadFile(corpus + "/" + shape.file), shape.address);
    }
    std::vector<std::string> reports;
    reports.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto& [text, address] = shapes[static_cast<size_t>(i) % shapes.size()];
        std::string report = ReplaceAll(text, address, MemberAddress(i % members));
        reports.push_back(ReplaceAll(report, "Ann@Example.org", MemberAddress(i % members)));
    }
    return reports;
}

// An application directory with one list of members and the services of a scan.
class Bed {
public:
    explicit Bed(int members)
        : dir_(MakeFolder()),
          paths_(AppPaths::ForDirectory(dir_)),
          store_(SettingsStore::Open(paths_.SettingsDatabase())),
          storeLock_(paths_.StoreLockFile()),
          console_(*store_, paths_),
          services_{paths_,  *store_,   pop3_,      smtp_,   clock_,
                    random_, observer_, storeLock_, console_} {
        pop3_.ConnectTimeoutMs = 2000;
        pop3_.FirstByteTimeoutMs = 2000;
        CreateList(*store_, paths_, kList);
        store_->WriteRegString(paths_.ListKey(kList), "ListPostingAddress", "list@example.test");
        Lines roster;
        for (int i = 0; i < members; ++i) {
            roster.push_back(MemberAddress(i) + " 0 " + std::to_string(100000 + i));
        }
        WriteSection(paths_.ListDataFile(kList), "MemberList", roster);
        ForceDirectories(paths_.TempFolder(kList));
    }
    ~Bed() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    Bed(const Bed&) = delete;
    Bed& operator=(const Bed&) = delete;

    void AddTempFile(const std::string& text) {
        WriteFileAtomic(MakeUniqueFileName(paths_.TempFolder(kList), "tmp", random_), text);
    }
    void PointPop3(const std::string& host, int port, const std::string& user,
                   const std::string& password) {
        const std::string key = paths_.ListKey(kList);
        store_->WriteRegString(key, "Pop3Host", host);
        store_->WriteRegInteger(key, "Pop3Port", port);
        store_->WriteRegString(key, "Pop3User", user);
        store_->WriteRegString(key, "Pop3Password", ScramblePassword(password));
    }

    // One scan, timed; returns its wall seconds and adds its cpu seconds.
    double Scan(double& cpu) {
        const double cpuBefore = CpuSeconds();
        const auto begin = SteadyClock::now();
        SessionLock lock(paths_.SessionLockFile());
        NullTimer timer;
        ScanOutcome outcome;
        {
            std::lock_guard<SessionLock> guard(lock);
            outcome = RunScanSession(services_, timer);
        }
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
        cpu += CpuSeconds() - cpuBefore;
        if (!outcome.ok) {
            throw std::runtime_error(outcome.error);
        }
        return seconds;
    }

    size_t Scored() const { return bounce::ReadBounceState(paths_, kList).Members().size(); }

private:
    static std::string MakeFolder() {
        std::string dir = "/tmp/corvanteer-bounce-bench-XXXXXX";
        if (mkdtemp(dir.data()) == nullptr) {
            throw std::runtime_error("cannot create a folder under /tmp");
        }
        return dir;
    }

    std::string dir_;
    AppPaths paths_;
    std::unique_ptr<SettingsStore> store_;
    TPop3Client pop3_;
    TSmtpClient smtp_;
    SystemClock clock_;
    SystemRandom random_;
    ScanObserver observer_;
    StoreLock storeLock_;
    StoreConsole console_;
    Services services_;
};

int Scan(int count, int members, const std::string& corpus) {
    Bed bed(members);
    for (const std::string& report : Reports(count, members, corpus)) {
        bed.AddTempFile(report);
    }
    double cpu = 0;
    const double seconds = bed.Scan(cpu);
    std::printf("scan: %d members, %zu of them with a score after the scan\n", members,
                bed.Scored());
    Report("scan", count, seconds, cpu);
    return 0;
}

#ifdef CORVANTEER_BOUNCE_BENCH_SERVERS
// The same reports in a Dovecot mailbox: a whole scan downloads and handles them; a second
// bed handles the same reports left as temp files. The difference is the download.
int Mailbox(int count, int members, const std::string& corpus) {
    const std::vector<std::string> reports = Reports(count, members, corpus);
    testing::MailServers servers;
    servers.Start();
    servers.AddUser("bounces", "bench-pass");
    for (const std::string& report : reports) {
        servers.PutMessage("bounces", report);
    }
    double fullCpu = 0;
    Bed full(members);
    full.PointPop3(servers.Host(), servers.Pop3Port(), "bounces", "bench-pass");
    const double whole = full.Scan(fullCpu);
    servers.Stop();

    double handleCpu = 0;
    Bed handled(members);
    for (const std::string& report : reports) {
        handled.AddTempFile(report);
    }
    const double handling = handled.Scan(handleCpu);
    Report("mailbox-scan", count, whole, fullCpu);
    Report("handling-only", count, handling, handleCpu);
    std::printf("download %.3f s, handling %.3f s: handling/download = %.2f (want <= 1)\n",
                whole - handling, handling, handling / (whole - handling));
    std::printf("RESULT ratio %d %.3f\n", count, handling / (whole - handling));
    return 0;
}
#endif

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
#ifdef CORVANTEER_BOUNCE_BENCH_SERVERS
        if (mode == "mailbox") {
            return Mailbox(IntArg(argc, argv, 2, 10000), IntArg(argc, argv, 3, 10000),
                           argc > 4 ? argv[4] : DefaultCorpus());
        }
#endif
        std::fprintf(stderr,
                     "usage: bounce_bench recognise [count=10000] [corpus]\n"
                     "       bounce_bench scan [count=10000] [members=10000] [corpus]\n"
                     "       bounce_bench mailbox [count=10000] [members=10000] [corpus]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bounce_bench: %s\n", error.what());
        return 1;
    }
}
