#pragma once
// What the transport benches share: the messages they send, the stop watch, the RESULT lines
// the bench scripts read, and the POP3 comparison with a Python peer in rounds of A B B A.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/TempDir.h"
#include "e2e/MailServers.h"
#include "engine/MailNotes.h"
#include "engine/MailboxPass.h"
#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer::bench {

inline constexpr const char* kUser = "bench";
inline constexpr const char* kPassword = "bench-pass";

// A plain message of about bytes bytes: a few header lines, an empty line, body lines of 72
// characters. The same layout as the peer script's.
inline Lines MessageLines(int number, int bytes) {
    Lines lines = {"From: sender@example.test", "To: " + testing::MailServers::Address(kUser),
                   "Subject: bench message " + std::to_string(number),
                   "Message-ID: <bench." + std::to_string(number) + "@example.test>", ""};
    std::size_t size = 0;
    for (const std::string& line : lines) {
        size += line.size() + 2;
    }
    for (int row = 0; size < static_cast<std::size_t>(bytes); ++row) {
        std::string line = "line " + std::to_string(row) + " of message " + std::to_string(number);
        line.resize(72, row % 2 == 0 ? '-' : '=');
        size += line.size() + 2;
        lines.push_back(std::move(line));
    }
    return lines;
}

struct Timing {
    double seconds = 0;  // wall time
    double cpu = 0;      // the client's user and system time
};

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Times the work between construction and Stop().
class Stopwatch {
public:
    Stopwatch() : start_(Clock::now()), cpu_(CpuSeconds()) {}
    Timing Stop() const {
        return {std::chrono::duration<double>(Clock::now() - start_).count(), CpuSeconds() - cpu_};
    }

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point start_;
    double cpu_;
};

// One readable line, then "RESULT <protocol> <client> <count> <seconds> <per second> <cpu
// seconds>" for the scripts.
inline void Report(const char* protocol, const char* client, int count, const Timing& timing) {
    const double rate = count / timing.seconds;
    std::printf("%-9s %-14s %5d in %7.3f s = %8.1f /s (client cpu %.3f s)\n", protocol, client,
                count, timing.seconds, rate, timing.cpu);
    std::printf("RESULT %s %s %d %.6f %.3f %.6f\n", protocol, client, count, timing.seconds, rate,
                timing.cpu);
    std::fflush(stdout);
}

// Fills a new mailbox, so that every drain meets the same state: no other drain's history
// in Dovecot's index. The files stay in the page cache as the harness wrote them (forcing
// them to disk first makes the drains ten times slower for both clients, all of it in the
// file system).
inline void Fill(testing::MailServers& servers, const std::string& user, int messages, int bytes) {
    servers.AddUser(user, kPassword);
    for (int i = 1; i <= messages; ++i) {
        servers.PutMessage(user, LinesToText(MessageLines(i, bytes)));
    }
}

// A scan's download pass that counts each message instead of writing it to a temp file.
class CountingRules final : public PassRules {
public:
    Then Header(int /*n*/, const Pop3Reply& /*top*/) override { return Then::Retrieve; }
    std::string Store(int n, Pop3Reply& message) override {
        if (message.message.empty()) {
            throw std::runtime_error("message " + std::to_string(n) + " came empty");
        }
        ++stored;
        return std::to_string(n);
    }
    void Kept(const std::string& id) override {
        throw std::runtime_error("the server refused DELE " + id);
    }
    int stored = 0;
};

class NoConsole final : public Console {
public:
    GlobalSettings Globals() override { return {}; }
    std::vector<std::string> ListNames() override { return {}; }
};

// A home of its own in a temporary folder with the real clients, clock and random source:
// what a bench's scan or download pass runs on. ConsoleT is what the settings are read
// through (NoConsole, or the app's StoreConsole over this home's store).
template <typename ConsoleT>
struct BenchHome {
    testing::TempDir dir;
    const AppPaths paths = AppPaths::ForDirectory(dir.Path());
    std::unique_ptr<SettingsStore> store = SettingsStore::Open(paths.SettingsDatabase());
    TPop3Client pop3;
    TSmtpClient smtp;
    SystemClock clock;
    SystemRandom random;
    ScanObserver observer;
    StoreLock storeLock{paths.StoreLockFile()};
    ConsoleT console = [this] {
        if constexpr (std::is_constructible_v<ConsoleT, SettingsStore&, const AppPaths&>) {
            return ConsoleT(*store, paths);
        } else {
            return ConsoleT();
        }
    }();
    Services services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console};
};

// Drains the mailbox as a scan's download pass walks it (MailboxPass: TOP n 0, RETR n and
// DELE n, newest first, several in flight when the server takes pipelined commands, then
// QUIT), each message counted rather than written; times it from connect to QUIT's end.
inline Timing DrainWithOurs(const std::string& host, int port, const ServerSecurity& security,
                            const std::string& user, int expected) {
    BenchHome<NoConsole> home;
    const AppPaths& paths = home.paths;
    TPop3Client& pop3 = home.pop3;
    Services& services = home.services;
    MailNotes notes(paths.MailNotesFile());
    MailboxConnection connection(services, notes);
    ScanContext context;
    CountingRules rules;
    const Stopwatch watch;
    if (!connection.Open({"bench", host, port, user, kPassword, 0, security, {}})) {
        throw std::runtime_error("TPop3Client could not log in: " + pop3.LastError.Text());
    }
    if (pop3.MessageCount != expected) {
        throw std::runtime_error("the mailbox holds " + std::to_string(pop3.MessageCount) +
                                 " messages, not " + std::to_string(expected));
    }
    MailboxPass(context, connection, rules).Run();
    const Timing timing = watch.Stop();
    if (rules.stored != expected || !connection.Failures().empty()) {
        throw std::runtime_error("the pass took " + std::to_string(rules.stored) + " of " +
                                 std::to_string(expected) + " messages" +
                                 (connection.Failures().empty()
                                      ? std::string()
                                      : ": " + connection.Failures()[0].Text()));
    }
    return timing;
}

// Runs a peer script and takes the wall and CPU seconds it printed.
inline Timing RunPeer(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    if (pclose(pipe) != 0) {
        throw std::runtime_error("the peer failed: " + command + "\n" + output);
    }
    Timing timing;
    if (std::sscanf(output.c_str(), "%lf %lf", &timing.seconds, &timing.cpu) != 2) {
        throw std::runtime_error("the peer printed no timing: " + output);
    }
    return timing;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Drains one user's mailbox of so many messages; the time it took.
using Drain = std::function<Timing(const std::string& user, int expected)>;

// After an untimed warm-up (Dovecot's first logins start processes and caches every later
// drain finds ready), rounds of four drains in the order A B B A (A the client named first),
// so a drift of the machine's load weighs on both alike. Besides the totals, each client's
// median drain is reported: a drain that met a burst of other work does not sway it.
inline void ComparePop3Drains(testing::MailServers& servers, const char* protocol,
                              const Drain& ours, const Drain& peer, int messages, int bytes,
                              bool peerFirst, int rounds) {
    Fill(servers, "warmup1", 100, bytes);
    ours("warmup1", 100);
    Fill(servers, "warmup2", 100, bytes);
    peer("warmup2", 100);

    Timing oursTotal;
    Timing peerTotal;
    std::vector<double> oursDrains;
    std::vector<double> peerDrains;
    for (int turn = 0; turn < 4 * rounds; ++turn) {
        const std::string user = std::string(kUser) + std::to_string(turn + 1);
        Fill(servers, user, messages, bytes);
        const bool oursNow = (turn % 4 == 0 || turn % 4 == 3) != peerFirst;
        const Timing timing = oursNow ? ours(user, messages) : peer(user, messages);
        if (!servers.ReadMailbox(user).empty()) {
            throw std::runtime_error(std::string(oursNow ? "TPop3Client" : "poplib") +
                                     " left messages in the mailbox");
        }
        std::printf("  drain %d by %-6s %7.3f s\n", turn + 1, oursNow ? "ours" : "poplib",
                    timing.seconds);
        Timing& total = oursNow ? oursTotal : peerTotal;
        total.seconds += timing.seconds;
        total.cpu += timing.cpu;
        (oursNow ? oursDrains : peerDrains).push_back(timing.seconds);
    }
    const double drains = 2.0 * rounds;
    Report(protocol, "ours", 2 * rounds * messages, oursTotal);
    Report(protocol, "poplib", 2 * rounds * messages, peerTotal);
    Report(protocol, "ours-median", messages, {Median(oursDrains), oursTotal.cpu / drains});
    Report(protocol, "poplib-median", messages, {Median(peerDrains), peerTotal.cpu / drains});
}

}  // namespace corvanteer::bench
