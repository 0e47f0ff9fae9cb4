// corvanteer-demo-servers: the test harness's mail servers (Dovecot for POP3, the SMTP server
// that files mail into Maildirs) for scripts/demo, driven by lines on standard input.
//
// Usage: corvanteer-demo-servers USER... (each gets the password "pw")
// Prints "host H", "pop3 PORT", "smtp PORT" and "ready", then serves commands, one a line:
//   mailbox USER   the From and Subject lines of each message of USER's mailbox, then "end"
//   stop           stops the servers and ends (so does the end of standard input)
// Everything it started is removed when it ends, also when it is killed.

#include <iostream>
#include <sstream>
#include <string>

#include "e2e/MailServers.h"

namespace {

using corvanteer::testing::MailServers;

// The header fields a reader of the demo wants to see, one message after another.
void PrintMailbox(MailServers& servers, const std::string& user) {
    int number = 0;
    for (const std::string& message : servers.ReadMailbox(user)) {
        std::cout << "message " << ++number << '\n';
        std::istringstream lines(message);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.empty()) {
                break;  // end of the header
            }
            if (line.rfind("From:", 0) == 0 || line.rfind("Subject:", 0) == 0) {
                std::cout << "  " << line << '\n';
            }
        }
    }
    std::cout << "end" << std::endl;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        MailServers servers;
        servers.Start();
        for (int i = 1; i < argc; ++i) {
            servers.AddUser(argv[i], "pw");
        }
        std::cout << "host " << servers.Host() << '\n'
                  << "pop3 " << servers.Pop3Port() << '\n'
                  << "smtp " << servers.SmtpPort() << '\n'
                  << "ready" << std::endl;

        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream words(line);
            std::string command;
            std::string user;
            words >> command >> user;
            if (command == "stop") {
                break;
            }
            if (command == "mailbox" && !user.empty()) {
                PrintMailbox(servers, user);
            } else {
                std::cout << "error: unknown command \"" << line << "\"" << std::endl;
            }
        }
        servers.Stop();
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "corvanteer-demo-servers: " << error.what() << '\n';
        return 1;
    }
}
