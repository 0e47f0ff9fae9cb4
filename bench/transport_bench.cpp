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
//   transport_bench smtp HOST PORT [messages=1000] [bytes=4096]
//       Sends the messages with TSmtpClient, one Send (one connection) each.
//
// Every measurement is printed as one line "RESULT <protocol> <client> <messages> <seconds>
// <messages per second> <cpu seconds>", preceded by a readable line. The CPU time is the
// client's own (user and system) during the work; the wall time is what the ratios use.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>

#include "e2e/MailServers.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace {

using corvanteer::Lines;
using corvanteer::TPop3Client;
using corvanteer::TSmtpClient;
using corvanteer::testing::MailServers;
using Clock = std::chrono::steady_clock;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-pass";

// A plain message of about bytes bytes: a few header lines, an empty line, body lines of 72
// characters. The same layout as the peer script's.
Lines MessageLines(int number, int bytes) {
    Lines lines = {"From: sender@example.test", "To: " + MailServers::Address(kUser),
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

double CpuSeconds() {
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
    Clock::time_point start_;
    double cpu_;
};

void Report(const char* protocol, const char* client, int messages, const Timing& timing) {
    const double rate = messages / timing.seconds;
    std::printf("%-5s %-12s %5d messages in %7.3f s = %8.1f messages/s (client cpu %.3f s)\n",
                protocol, client, messages, timing.seconds, rate, timing.cpu);
    std::printf("RESULT %s %s %d %.6f %.3f %.6f\n", protocol, client, messages, timing.seconds,
                rate, timing.cpu);
    std::fflush(stdout);
}

// Fills a new mailbox, so that every drain meets the same state: no other drain's history
// in Dovecot's index. The files stay in the page cache as the harness wrote them (forcing
// them to disk first makes the drains ten times slower for both clients, all of it in the
// file system).
void Fill(MailServers& servers, const std::string& user, int messages, int bytes) {
    servers.AddUser(user, kPassword);
    for (int i = 1; i <= messages; ++i) {
        servers.PutMessage(user, corvanteer::LinesToText(MessageLines(i, bytes)));
    }
}

// Drains the mailbox as a scan does; times it from connect to QUIT's end.
Timing DrainWithOurs(const MailServers& servers, const std::string& user, int expected) {
    TPop3Client pop3;
    pop3.HostAddress = servers.Host();
    pop3.Port = servers.Pop3Port();
    pop3.User = user;
    pop3.Password = kPassword;
    pop3.TopLines = 0;
    const Stopwatch watch;
    if (!pop3.Login()) {
        throw std::runtime_error("TPop3Client could not log in");
    }
    if (pop3.MessageCount != expected) {
        throw std::runtime_error("the mailbox holds " + std::to_string(pop3.MessageCount) +
                                 " messages, not " + std::to_string(expected));
    }
    for (int n = pop3.MessageCount; n >= 1; --n) {
        pop3.Top(n);
        pop3.Retrieve(n);
        if (pop3.Body.empty() || !pop3.Delete(n)) {
            throw std::runtime_error("message " + std::to_string(n) + " was not drained");
        }
    }
    pop3.Quit();
    return watch.Stop();
}

// Runs the peer script and takes the wall and CPU seconds it printed.
Timing DrainWithPoplib(const MailServers& servers, const std::string& user,
                       const std::string& python, const std::string& script, int expected) {
    const std::string command = python + " " + script + " pop3 " + servers.Host() + " " +
                                std::to_string(servers.Pop3Port()) + " " + user + " " + kPassword +
                                " " + std::to_string(expected);
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void CheckEmpty(const MailServers& servers, const std::string& user, const char* who) {
    if (!servers.ReadMailbox(user).empty()) {
        throw std::runtime_error(std::string(who) + " left messages in the mailbox");
    }
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

    // Untimed warm-up: Dovecot's first logins and first mailbox start processes and caches
    // that every later drain finds ready.
    Fill(servers, "warmup1", 100, bytes);
    DrainWithOurs(servers, "warmup1", 100);
    Fill(servers, "warmup2", 100, bytes);
    DrainWithPoplib(servers, "warmup2", python, script, 100);

    // Rounds of four drains in the order A B B A (A the client named first), so a drift of
    // the machine's load weighs on both alike. Besides the totals, each client's median drain
    // is reported: a drain that met a burst of other work on the machine does not sway it.
    Timing ours;
    Timing poplib;
    std::vector<double> oursDrains;
    std::vector<double> poplibDrains;
    for (int turn = 0; turn < 4 * rounds; ++turn) {
        const std::string user = std::string(kUser) + std::to_string(turn + 1);
        Fill(servers, user, messages, bytes);
        const bool oursNow = (turn % 4 == 0 || turn % 4 == 3) != poplibFirst;
        Timing timing = oursNow ? DrainWithOurs(servers, user, messages)
                                : DrainWithPoplib(servers, user, python, script, messages);
        CheckEmpty(servers, user, oursNow ? "TPop3Client" : "poplib");
        std::printf("  drain %d by %-6s %7.3f s\n", turn + 1, oursNow ? "ours" : "poplib",
                    timing.seconds);
        Timing& total = oursNow ? ours : poplib;
        total.seconds += timing.seconds;
        total.cpu += timing.cpu;
        (oursNow ? oursDrains : poplibDrains).push_back(timing.seconds);
    }
    const double drains = 2.0 * rounds;
    Report("pop3", "ours", 2 * rounds * messages, ours);
    Report("pop3", "poplib", 2 * rounds * messages, poplib);
    Report("pop3", "ours-median", messages, {Median(oursDrains), ours.cpu / drains});
    Report("pop3", "poplib-median", messages, {Median(poplibDrains), poplib.cpu / drains});
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
        if (!args.empty() && args[0] == "smtp") {
            return RunSmtp({args.begin() + 1, args.end()});
        }
        std::fprintf(
            stderr,
            "usage: transport_bench pop3 PEER_SCRIPT [messages] [bytes] [python] [order] [rounds]\n"
            "       transport_bench smtp HOST PORT [messages] [bytes]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "transport_bench: %s\n", error.what());
        return 1;
    }
}
