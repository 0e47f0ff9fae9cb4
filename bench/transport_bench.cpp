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
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "MailBench.h"
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
Timing DrainWithPoplib(const MailServers& servers, const std::string& user,
                       const std::string& python, const std::string& script, int expected) {
    return RunPeer(python + " " + script + " pop3 " + servers.Host() + " " +
                   std::to_string(servers.Pop3Port()) + " " + user + " " + kPassword + " " +
                   std::to_string(expected));
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
            return DrainWithOurs(servers, user, servers.Pop3Port(), plain, expected);
        },
        [&](const std::string& user, int expected) {
            return DrainWithPoplib(servers, user, python, script, expected);
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
