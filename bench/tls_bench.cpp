// Throughput of the mail clients over TLS against real servers, beside Python's
// poplib.POP3_SSL and smtplib.SMTP_SSL doing the same work, and the cost of a handshake.
// bench/tls.sh runs the whole comparison; this program does one part of it:
//
//   tls_bench pop3 PEER_SCRIPT [messages=1000] [bytes=4096] [python=/usr/bin/python3]
//             [order=ours-first|poplib-first] [rounds=1]
//       Starts Dovecot with TLS through the end-to-end harness (its test CA trusted by both
//       clients), puts the messages into a mailbox and drains it over implicit TLS with
//       TPop3Client (TOP n 0, RETR n, DELE n, newest first, then QUIT), and with the peer
//       script's POP3_SSL the same way; after an untimed warm-up, in rounds of A B B A, a
//       fresh mailbox every time. The totals and each client's median drain are reported.
//   tls_bench smtp HOST PORT CA_FILE [messages=1000] [bytes=4096]
//       Sends the messages with TSmtpClient over implicit TLS, one connection each, then
//       times handshakes alone (connect, handshake, close): full ones and resumed ones.
//
// Every measurement is printed as one line "RESULT <protocol> <client> <count> <seconds>
// <per second> <cpu seconds>", preceded by a readable line.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "e2e/MailServers.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"
#include "transport/TcpStream.h"
#include "transport/TlsStream.h"

namespace {

using corvanteer::Lines;
using corvanteer::TPop3Client;
using corvanteer::TSmtpClient;
using corvanteer::testing::MailServerOptions;
using corvanteer::testing::MailServers;
using Clock = std::chrono::steady_clock;

constexpr const char* kUser = "bench";
constexpr const char* kPassword = "bench-pass";

// The same layout as transport_bench's messages and the peer script's.
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
    double seconds = 0;
    double cpu = 0;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

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

void Report(const char* protocol, const char* client, int count, const Timing& timing) {
    const double rate = count / timing.seconds;
    std::printf("%-9s %-14s %5d in %7.3f s = %8.1f /s (client cpu %.3f s)\n", protocol, client,
                count, timing.seconds, rate, timing.cpu);
    std::printf("RESULT %s %s %d %.6f %.3f %.6f\n", protocol, client, count, timing.seconds, rate,
                timing.cpu);
    std::fflush(stdout);
}

void Fill(MailServers& servers, const std::string& user, int messages, int bytes) {
    servers.AddUser(user, kPassword);
    for (int i = 1; i <= messages; ++i) {
        servers.PutMessage(user, corvanteer::LinesToText(MessageLines(i, bytes)));
    }
}

Timing DrainWithOurs(const MailServers& servers, const std::string& user, int expected) {
    TPop3Client pop3;
    pop3.HostAddress = servers.Host();
    pop3.Port = servers.Pop3sPort();
    pop3.User = user;
    pop3.Password = kPassword;
    pop3.Security = {"tls", "", servers.CaFile()};
    const Stopwatch watch;
    if (!pop3.Login()) {
        throw std::runtime_error("TPop3Client could not log in: " + pop3.LastError.Text());
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

Timing RunPeer(const std::string& command) {
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

Timing DrainWithPoplib(const MailServers& servers, const std::string& user,
                       const std::string& python, const std::string& script, int expected) {
    return RunPeer(python + " " + script + " pop3s " + servers.Host() + " " +
                   std::to_string(servers.Pop3sPort()) + " " + user + " " + kPassword + " " +
                   std::to_string(expected) + " " + servers.CaFile());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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

    MailServerOptions options;
    options.tls = true;
    MailServers servers(options);
    servers.Start();

    Fill(servers, "warmup1", 100, bytes);
    DrainWithOurs(servers, "warmup1", 100);
    Fill(servers, "warmup2", 100, bytes);
    DrainWithPoplib(servers, "warmup2", python, script, 100);

    Timing ours;
    Timing poplib;
    std::vector<double> oursDrains;
    std::vector<double> poplibDrains;
    for (int turn = 0; turn < 4 * rounds; ++turn) {
        const std::string user = std::string(kUser) + std::to_string(turn + 1);
        Fill(servers, user, messages, bytes);
        const bool oursNow = (turn % 4 == 0 || turn % 4 == 3) != poplibFirst;
        const Timing timing = oursNow ? DrainWithOurs(servers, user, messages)
                                      : DrainWithPoplib(servers, user, python, script, messages);
        if (!servers.ReadMailbox(user).empty()) {
            throw std::runtime_error("a drain left messages in the mailbox");
        }
        std::printf("  drain %d by %-6s %7.3f s\n", turn + 1, oursNow ? "ours" : "poplib",
                    timing.seconds);
        Timing& total = oursNow ? ours : poplib;
        total.seconds += timing.seconds;
        total.cpu += timing.cpu;
        (oursNow ? oursDrains : poplibDrains).push_back(timing.seconds);
    }
    const double drains = 2.0 * rounds;
    Report("pop3s", "ours", 2 * rounds * messages, ours);
    Report("pop3s", "poplib", 2 * rounds * messages, poplib);
    Report("pop3s", "ours-median", messages, {Median(oursDrains), ours.cpu / drains});
    Report("pop3s", "poplib-median", messages, {Median(poplibDrains), poplib.cpu / drains});
    return 0;
}

// Connections with the handshake alone, to show what TLS costs per connection. resumed
// counts the handshakes that resumed an earlier session.
Timing Handshakes(const std::string& host, int port, const std::string& caFile, int count,
                  bool resume, int& resumed) {
    corvanteer::TlsClient tls;
    corvanteer::TcpConnector connector;
    const corvanteer::TlsPeer peer{host, port, "", caFile};
    const Stopwatch watch;
    for (int i = 0; i < count; ++i) {
        if (!resume) {
            tls.ForgetSessions();
        }
        corvanteer::TlsInfo info;
        corvanteer::MailError error;
        auto stream = tls.Start(connector.Open(host, port, 10000), peer, 10000, 10000, info, error);
        if (!stream) {
            throw std::runtime_error("handshake failed: " + error.Text());
        }
        // The greeting: TLS 1.3 hands out its session tickets with the first data.
        char buffer[512];
        stream->ReadSome(buffer, sizeof buffer, 10000);
        resumed += info.resumed ? 1 : 0;
        stream->Close();
    }
    return watch.Stop();
}

int RunSmtp(const std::vector<std::string>& args) {
    if (args.size() < 3) {
        throw std::invalid_argument("smtp needs HOST, PORT and CA_FILE");
    }
    const std::string host = args[0];
    const int port = std::stoi(args[1]);
    const std::string caFile = args[2];
    const int messages = args.size() > 3 ? std::stoi(args[3]) : 1000;
    const int bytes = args.size() > 4 ? std::stoi(args[4]) : 4096;

    TSmtpClient smtp;
    smtp.HostAddress = host;
    smtp.Port = port;
    smtp.Security = {"tls", "", caFile};
    smtp.From = "sender@example.test";
    smtp.SendTo = {MailServers::Address(kUser)};
    std::vector<Lines> bodies;
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
    Report("smtps", "ours", messages, watch.Stop());
    const int count = std::min(messages, 500);
    int resumed = 0;
    Report("handshake", "full", count, Handshakes(host, port, caFile, count, false, resumed));
    resumed = 0;
    Report("handshake", "resumable", count, Handshakes(host, port, caFile, count, true, resumed));
    std::printf("  %d of %d resumable handshakes resumed a session\n", resumed, count);
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
        std::fprintf(stderr,
                     "usage: tls_bench pop3 PEER_SCRIPT [messages] [bytes] [python] [order] "
                     "[rounds]\n"
                     "       tls_bench smtp HOST PORT CA_FILE [messages] [bytes]\n");
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tls_bench: %s\n", error.what());
        return 1;
    }
}
