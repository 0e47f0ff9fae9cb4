// Throughput of the mail clients against real servers, beside Python's poplib and smtplib
// doing the same work. bench/transport.sh runs the whole comparison; this program does one
// part of it:
//
//   transport_bench pop3 PEER_SCRIPT [messages=1000] [bytes=4096] [python=/usr/bin/python3]
//                   [order=ours-first|poplib-first] [rounds=1]
//       Starts Dovecot through the end-to-end harness, puts the messages into a mailbox and
//       drains it with TPop3Client (TOP n 0, RETR n, DELE n, newest first, then QUIT); refills
//       it and has the peer script drain it with poplib the same way; after an untimed
//       warm-up, in rounds of ours, poplib, poplib, ours (or the other way round), a fresh
//       mailbox every time. The totals and each client's median drain are reported.
//   transport_bench pop3-far PEER_SCRIPT [messages=1000] [bytes=4096] [delay=25]
//                   [python=/usr/bin/python3]
//       The same mailbox far away: a proxy on loopback adds delay milliseconds each way. After
//       an untimed warm-up each, ours and poplib drain through the proxy, then ours and
//       poplib directly, a fresh mailbox every time, all in this one run.
//   transport_bench smtp HOST PORT [messages=1000] [bytes=4096]
//       Sends the messages with TSmtpClient, one Send (one connection) each.
//
// Every measurement is printed as one line "RESULT <protocol> <client> <messages> <seconds>
// <messages per second> <cpu seconds>", preceded by a readable line. The CPU time is the
// client's own (user and system) during the work; the wall time is what the ratios use.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <mutex>

#include "MailBench.h"
#include "app/StoreConsole.h"
#include "common/LatencyProxy.h"
#include "engine/ListStore.h"
#include "engine/ScanSession.h"
#include "support/Files.h"
#include "support/SettingsStore.h"
#include "transport/TSmtpClient.h"

namespace {

using corvanteer::Lines;
using corvanteer::ServerSecurity;
using corvanteer::TSmtpClient;
using corvanteer::testing::MailServers;
using namespace corvanteer::bench;

// Runs the peer script's poplib drain.
Timing DrainWithPoplib(const std::string& host, int port, const std::string& user,
                       const std::string& python, const std::string& script, int expected) {
    return RunPeer(python + " " + script + " pop3 " + host + " " + std::to_string(port) + " " +
                   user + " " + kPassword + " " + std::to_string(expected));
}

class NullTimer final : public corvanteer::PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

// A whole scan of a list whose mailbox holds the messages: each downloaded into its temp
// file (synced before its DELE), then processed by a list where nobody may post (read and
// dropped, nothing sent). Times the scan.
Timing ScanWithOurs(const std::string& host, int port, const std::string& user, int expected) {
    using namespace corvanteer;
    corvanteer::testing::TempDir dir;
    const AppPaths paths = AppPaths::ForDirectory(dir.Path());
    auto store = SettingsStore::Open(paths.SettingsDatabase());
    TPop3Client pop3;
    TSmtpClient smtp;
    SystemClock clock;
    SystemRandom random;
    ScanObserver observer;
    StoreLock storeLock(paths.StoreLockFile());
    StoreConsole console(*store, paths);
    Services services{paths, *store, pop3, smtp, clock, random, observer, storeLock, console};
    CreateList(*store, paths, "bench");
    const std::string key = paths.ListKey("bench");
    store->WriteRegString(key, "Pop3Host", host);
    store->WriteRegInteger(key, "Pop3Port", port);
    store->WriteRegString(key, "Pop3User", user);
    store->WriteRegString(key, "Pop3Password", ScramblePassword(kPassword));
    store->WriteRegInteger(key, "AllowPostBy", 3);
    SessionLock lock(paths.SessionLockFile());
    std::lock_guard<SessionLock> guard(lock);
    NullTimer timer;
    const Stopwatch watch;
    const ScanOutcome outcome = RunScanSession(services, timer);
    const Timing timing = watch.Stop();
    if (!outcome.ok || outcome.counts.messagesRead != expected ||
        !outcome.mailboxFailures.empty()) {
        throw std::runtime_error("the scan read " + std::to_string(outcome.counts.messagesRead) +
                                 " of " + std::to_string(expected) + " messages " + outcome.error);
    }
    return timing;
}

int RunPop3Far(const std::vector<std::string>& args) {
    if (args.empty()) {
        throw std::invalid_argument("pop3-far needs the peer script");
    }
    const std::string script = args[0];
    const int messages = args.size() > 1 ? std::stoi(args[1]) : 1000;
    const int bytes = args.size() > 2 ? std::stoi(args[2]) : 4096;
    const int delayMs = args.size() > 3 ? std::stoi(args[3]) : 25;
    const std::string python = args.size() > 4 ? args[4] : "/usr/bin/python3";

    MailServers servers;
    servers.Start();
    corvanteer::testing::LatencyProxy proxy(servers.Host(), servers.Pop3Port(), delayMs);
    const ServerSecurity plain{"none", "", ""};
    auto drain = [&](const std::string& user, bool far, bool ours, int count) {
        Fill(servers, user, count, bytes);
        const std::string host = far ? proxy.Host() : servers.Host();
        const int port = far ? proxy.Port() : servers.Pop3Port();
        const Timing timing = ours ? DrainWithOurs(host, port, plain, user, count)
                                   : DrainWithPoplib(host, port, user, python, script, count);
        if (!servers.ReadMailbox(user).empty()) {
            throw std::runtime_error(std::string(ours ? "ours" : "poplib") +
                                     " left messages in the mailbox");
        }
        return timing;
    };
    drain("warmup1", false, true, 100);
    drain("warmup2", false, false, 100);
    std::printf("pop3 drains of %d messages, %d ms added each way for the far ones\n", messages,
                delayMs);
    Report("pop3-far", "ours", messages, drain("far1", true, true, messages));
    Report("pop3-far", "poplib", messages, drain("far2", true, false, messages));
    Report("pop3-near", "ours", messages, drain("near1", false, true, messages));
    Report("pop3-near", "poplib", messages, drain("near2", false, false, messages));
    // The same through a whole scan: temp files written and synced, then processed.
    for (const bool far : {true, false}) {
        const std::string user = far ? "scanfar" : "scannear";
        Fill(servers, user, messages, bytes);
        Report(far ? "scan-far" : "scan-near", "ours", messages,
               ScanWithOurs(far ? proxy.Host() : servers.Host(),
                            far ? proxy.Port() : servers.Pop3Port(), user, messages));
    }
    return 0;
}

int RunPop3(const std::vector<std::string>& args) {
    if (args.empty()) {
        throw std::invalid_argument("pop3 needs the peer script");
    }
    const std::string script = args[0];
    const int messages = args.size() > 1 ? std::stoi(args[1]) : 1000;
    const int bytes = args.size() > 2 ? std::stoi(args[2]) : 4096;
    const std::string python = args.size() > 3 ? args[3] : "/usr/bin/python3";
    const bool poplibFirst = args.size() > 4 && args[4] == "poplib-first";
    const int rounds = args.size() > 5 ? std::max(1, std::stoi(args[5])) : 1;

    MailServers servers;
    servers.Start();
    const ServerSecurity plain{"none", "", ""};
    ComparePop3Drains(
        servers, "pop3",
        [&](const std::string& user, int expected) {
            return DrainWithOurs(servers.Host(), servers.Pop3Port(), plain, user, expected);
        },
        [&](const std::string& user, int expected) {
            return DrainWithPoplib(servers.Host(), servers.Pop3Port(), user, python, script,
                                   expected);
        },
        messages, bytes, poplibFirst, rounds);
    return 0;
}

int RunSmtp(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        throw std::invalid_argument("smtp needs HOST and PORT");
    }
    const int messages = args.size() > 2 ? std::stoi(args[2]) : 1000;
    const int bytes = args.size() > 3 ? std::stoi(args[3]) : 4096;

    TSmtpClient smtp;
    smtp.HostAddress = args[0];
    smtp.Port = std::stoi(args[1]);
    smtp.From = "sender@example.test";
    smtp.SendTo = {MailServers::Address(kUser)};
    std::vector<Lines> bodies;
    bodies.reserve(static_cast<std::size_t>(messages));
    for (int i = 1; i <= messages; ++i) {
        bodies.push_back(MessageLines(i, bytes));
    }
    std::string reply;
    const Stopwatch watch;
    for (Lines& body : bodies) {
        smtp.OutMessage = std::move(body);
        if (!smtp.Send(reply)) {
            throw std::runtime_error("Send failed: " + reply);
        }
    }
    Report("smtp", "ours", messages, watch.Stop());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        if (!args.empty() && args[0] == "pop3") {
            return RunPop3({args.begin() + 1, args.end()});
        }
        if (!args.empty() && args[0] == "pop3-far") {
            return RunPop3Far({args.begin() + 1, args.end()});
        }
        if (!args.empty() && args[0] == "smtp") {
            return RunSmtp({args.begin() + 1, args.end()});
        }
        std::fprintf(
            stderr,
            "usage: transport_bench pop3 PEER_SCRIPT [messages] [bytes] [python] [order] [rounds]\n"
            "       transport_bench pop3-far PEER_SCRIPT [messages] [bytes] [delay] [python]\n"
            "       transport_bench smtp HOST PORT [messages] [bytes]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "transport_bench: %s\n", error.what());
        return 1;
    }
}
