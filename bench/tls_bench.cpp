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

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "MailBench.h"
#include "transport/TSmtpClient.h"
#include "transport/TcpStream.h"
#include "transport/TlsStream.h"

namespace {

using corvanteer::Envelope;
using corvanteer::Lines;
using corvanteer::LinesToText;
using corvanteer::ServerSecurity;
using corvanteer::TSmtpClient;
using corvanteer::testing::MailServerOptions;
using corvanteer::testing::MailServers;
using namespace corvanteer::bench;

Timing DrainWithPoplib(const MailServers& servers, const std::string& user,
                       const std::string& python, const std::string& script, int expected) {
    return RunPeer(python + " " + script + " pop3s " + servers.Host() + " " +
                   std::to_string(servers.Pop3sPort()) + " " + user + " " + kPassword + " " +
                   std::to_string(expected) + " " + servers.CaFile());
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
    const ServerSecurity tls{"tls", "", servers.CaFile()};
    ComparePop3Drains(
        servers, "pop3s",
        [&](const std::string& user, int expected) {
            return DrainWithOurs(servers, user, servers.Pop3sPort(), tls, expected);
        },
        [&](const std::string& user, int expected) {
            return DrainWithPoplib(servers, user, python, script, expected);
        },
        messages, bytes, poplibFirst, rounds);
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
    smtp.Server.host = host;
    smtp.Server.port = port;
    smtp.Server.security = {"tls", "", caFile};
    Envelope mail{"sender@example.test", {MailServers::Address(kUser)}, {}};
    std::vector<std::string> bodies;
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
