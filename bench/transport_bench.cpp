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
//   transport_bench bigmail KIND SMTP_PORT [post=1] [megabytes=60]
//       One message of that size in a list mailbox on Dovecot, KIND empty-lines (nothing but
//       CR LF), short-lines (lines of one octet) or base64 (one attachment, single part,
//       76-character lines); a whole scan downloads it and (post 1) posts it individually
//       to one member through the SMTP server on 127.0.0.1:SMTP_PORT (post 0: the list takes
//       no postings, the message is only downloaded and read back). Prints the peak resident
//       memory of the scan alone ("RESULT bigmail KIND post seconds peak_kb base_kb").
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

#include <cstring>
#include <memory>
#include <mutex>

#include "MailBench.h"
#include "app/StoreConsole.h"
#include "common/LatencyProxy.h"
#include "engine/ListStore.h"
#include "engine/MailConnections.h"
#include "engine/ScanSession.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/SettingsStore.h"
#include "transport/TSmtpClient.h"

namespace {

using corvanteer::Envelope;
using corvanteer::Lines;
using corvanteer::LinesToText;
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
    BenchHome<StoreConsole> home;
    const AppPaths& paths = home.paths;
    std::unique_ptr<SettingsStore>& store = home.store;
    Services& services = home.services;
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

// The big message of RunBigMail, written straight into the Maildir file piece by piece so
// that this process never holds it.
void PutBigMessage(MailServers& servers, const std::string& user, const std::string& kind,
                   std::size_t bytes) {
    std::string message =
        "From: Big Sender <big@example.test>\r\nTo: " + MailServers::Address(user) +
        "\r\nSubject: a big " + kind + " message\r\nMIME-Version: 1.0\r\n";
    std::string line;
    if (kind == "empty-lines") {
        message += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
        line = "\r\n";
    } else if (kind == "short-lines") {
        message += "Content-Type: text/plain; charset=us-ascii\r\n\r\n";
        line = "x\r\n";
    } else if (kind == "base64") {
        message +=
            "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n";
        line = std::string(76, 'A');
        for (std::size_t i = 0; i < line.size(); ++i) {
            line[i] =
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"[(i * 7) % 64];
        }
        line += "\r\n";
    } else {
        throw std::invalid_argument("KIND is empty-lines, short-lines or base64");
    }
    // Filled into the mailbox in pieces of about a megabyte.
    const std::size_t lines = (bytes - message.size()) / line.size();
    std::string piece;
    servers.AddUser(user, kPassword);
    const std::string path = servers.PutMessage(user, message);
    for (std::size_t i = 0; i < lines; ++i) {
        piece += line;
        if (piece.size() >= 1024 * 1024 || i + 1 == lines) {
            corvanteer::AppendToFile(path, piece);
            piece.clear();
        }
    }
}

long ResidentKb(const char* field) {
    FILE* status = std::fopen("/proc/self/status", "r");
    char text[256];
    long kb = -1;
    while (status != nullptr && std::fgets(text, sizeof text, status) != nullptr) {
        if (std::strncmp(text, field, std::strlen(field)) == 0) {
            kb = std::atol(text + std::strlen(field));
        }
    }
    if (status != nullptr) {
        std::fclose(status);
    }
    return kb;
}

int RunBigMail(const std::vector<std::string>& args) {
    using namespace corvanteer;
    if (args.size() < 2) {
        throw std::invalid_argument("bigmail needs KIND and SMTP_PORT");
    }
    const std::string kind = args[0];
    const int smtpPort = std::stoi(args[1]);
    const bool post = args.size() <= 2 || args[2] != "0";
    const std::size_t megabytes = args.size() > 3 ? std::stoul(args[3]) : 60;

    MailServers servers;
    servers.Start();
    PutBigMessage(servers, "biglist", kind, megabytes * 1024 * 1024);

    BenchHome<StoreConsole> home;
    const AppPaths& paths = home.paths;
    std::unique_ptr<SettingsStore>& store = home.store;
    TSmtpClient& smtp = home.smtp;
    StoreConsole& console = home.console;
    Services& services = home.services;
    store->WriteRegString(paths.SettingsKey(), "SMTPHost", "127.0.0.1");
    store->WriteRegInteger(paths.SettingsKey(), "SMTPPort", smtpPort);
    CreateList(*store, paths, "big");
    const std::string key = paths.ListKey("big");
    store->WriteRegString(key, "Pop3Host", servers.Host());
    store->WriteRegInteger(key, "Pop3Port", servers.Pop3Port());
    store->WriteRegString(key, "Pop3User", "biglist");
    store->WriteRegString(key, "Pop3Password", ScramblePassword(kPassword));
    store->WriteRegString(key, "ListPostingAddress", MailServers::Address("biglist"));
    store->WriteRegInteger(key, "AllowPostBy", post ? 2 : 3);
    store->WriteRegInteger(key, "PostingMethod", 1);
    WriteSection(paths.ListDataFile("big"), "MemberList", {"member@example.test 0 123456"});
    smtp.Server = SmtpServerFromSettings(console.Globals());

    const long base = ResidentKb("VmRSS:");
    // The high-water mark starts again here (Linux: "5" into clear_refs).
    if (FILE* refs = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", refs);
        std::fclose(refs);
    }
    SessionLock lock(paths.SessionLockFile());
    std::lock_guard<SessionLock> guard(lock);
    NullTimer timer;
    const Stopwatch watch;
    const ScanOutcome outcome = RunScanSession(services, timer);
    const Timing timing = watch.Stop();
    const long peak = ResidentKb("VmHWM:");
    if (!outcome.ok || outcome.counts.messagesRead != 1 ||
        (post && outcome.counts.postingsSent != 1)) {
        throw std::runtime_error("the scan read " + std::to_string(outcome.counts.messagesRead) +
                                 " and posted " + std::to_string(outcome.counts.postingsSent) +
                                 " " + outcome.error);
    }
    std::printf("bigmail %-11s %s: %.1f s, peak resident %ld KB during the scan (%ld KB before)\n",
                kind.c_str(), post ? "downloaded and posted" : "downloaded and read",
                timing.seconds, peak, base);
    std::printf("RESULT bigmail %s %d %.3f %ld %ld\n", kind.c_str(), post ? 1 : 0, timing.seconds,
                peak, base);
    return 0;
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
    smtp.Server.host = args[0];
    smtp.Server.port = std::stoi(args[1]);
    Envelope mail{"sender@example.test", {MailServers::Address(kUser)}, {}};
    std::vector<std::string> bodies;
    bodies.reserve(static_cast<std::size_t>(messages));
    for (int i = 1; i <= messages; ++i) {
        bodies.push_back(LinesToText(MessageLines(i, bytes)));
    }
    std::string reply;
    const Stopwatch watch;
    for (std::string& body : bodies) {
        mail.message = std::move(body);
        if (!smtp.Send(mail, reply)) {
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
        if (!args.empty() && args[0] == "bigmail") {
            return RunBigMail({args.begin() + 1, args.end()});
        }
        if (!args.empty() && args[0] == "smtp") {
            return RunSmtp({args.begin() + 1, args.end()});
        }
        std::fprintf(
            stderr,
            "usage: transport_bench pop3 PEER_SCRIPT [messages] [bytes] [python] [order] [rounds]\n"
            "       transport_bench pop3-far PEER_SCRIPT [messages] [bytes] [delay] [python]\n"
            "       transport_bench smtp HOST PORT [messages] [bytes]\n"
            "       transport_bench bigmail KIND SMTP_PORT [post] [megabytes]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "transport_bench: %s\n", error.what());
        return 1;
    }
}
