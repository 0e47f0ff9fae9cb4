#pragma once

// The connection check of the command line's `check` and the window's "Check connections":
// the SMTP server, the List Server mailbox and every list's mailbox, in that order, each
// connected to, its TLS and certificate shown, its capabilities listed and the login tried.
// Nothing is read, deleted or sent.

#include <optional>
#include <string>
#include <vector>

#include "engine/Services.h"

namespace corvanteer {

// One server of the check, as `check --json` gives it.
struct CheckedServer {
    std::string kind;  // "smtp", "listserver" or "list"
    std::string list;  // the list's name for kind "list"
    std::string host;
    int port = 0;
    std::string user;
    bool configured = false;  // false: not tried, probe stays empty
    ProbeReport probe;
};

struct CheckReport {
    std::string text;    // the report, lines ending with "\n"
    bool passed = true;  // every configured server passed; false when none is configured
    int checked = 0;     // servers that were configured and tried
    std::vector<CheckedServer> servers;  // in the order of the text
};

// Checks with the settings as the console shows them now; the clients of services get the
// host, port, credentials and security of each server in turn. With list, only that list's
// mailbox is checked (a list that is not configured fails then); without it, an installation
// with no server configured fails with the line "nothing is configured". Blocks while it talks to
// the servers; never throws for a server's failure.
CheckReport CheckConnections(Services& services, const std::optional<std::string>& list = {});

// How a login went, in words: "not tried", "not required", "accepted" or "refused".
const char* LoginText(LoginOutcome login);

// The lines of one server's part of the report, for tests and the window. title names it
// ("SMTP server smtp.example.org:465"); shows the encryption of a connection made and a
// WARNING line for a login sent unencrypted; ends with "  passed" or "  FAILED: <reason>".
// What the server sent is shown without control bytes (OneLineText).
std::string DescribeProbe(const std::string& title, const ProbeReport& probe, bool isPop3);

}  // namespace corvanteer
