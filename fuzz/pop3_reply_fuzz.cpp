// The POP3 client's reply reading: a whole session (greeting, USER, PASS, STAT, STAT, TOP,
// RETR, DELE, QUIT) against a server played from the input, its bytes cut into reads at will.
//
// Input: control bytes (how the server's bytes are cut into reads; 0 is a time-out), "%%",
// the server's bytes.
//
// Checked: no call on a closed stream; no line the client hands on holds a line break; a
// positive TOP or RETR was a whole "+OK" response ended by "." and its header and body are
// the response's lines as POP3 frames them (RETR dot-unstuffed); a positive STAT or DELE was a
// whole "+OK" line.

#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/ScriptedServer.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"

namespace corvanteer::fuzz {
namespace {

void CheckNoBreaks(const Lines& lines) {
    for (const auto& line : lines) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    }
}

// The message of a whole positive multi-line response: its header lines and its body lines.
struct Framed {
    Lines header;
    Lines body;
};

Framed Frame(const std::string& response) {
    Lines lines = TextToLines(response);
    Framed framed;
    bool inBody = false;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        if (inBody) {
            framed.body.push_back(lines[i]);
        } else if (lines[i].empty()) {
            inBody = true;
        } else {
            framed.header.push_back(lines[i]);
        }
    }
    return framed;
}

bool IsWholePositive(const std::string& response) {
    return StartsWith(response, "+OK") && EndsWith(response, "\r\n.\r\n");
}

void Top(TPop3Client& client, const ScriptedServer& server, int number) {
    client.Top(number);
    CheckNoBreaks(client.Header);
    CheckNoBreaks(client.Body);
    if (!client.LastReplyPositive) {
        return;
    }
    const std::string& response = server.SinceLastWrite();
    FUZZ_CHECK(IsWholePositive(response));
    Framed framed = Frame(response);
    framed.header.emplace_back();
    FUZZ_CHECK(client.Header == framed.header);
    FUZZ_CHECK(client.Body == framed.body);
}

void Retrieve(TPop3Client& client, const ScriptedServer& server, int number) {
    client.Retrieve(number);
    CheckNoBreaks(client.Body);
    if (!client.LastReplyPositive) {
        return;
    }
    const std::string& response = server.SinceLastWrite();
    FUZZ_CHECK(IsWholePositive(response));
    Framed framed = Frame(response);
    for (auto& line : framed.body) {
        if (StartsWith(line, "..")) {
            line.erase(0, 1);
        }
    }
    FUZZ_CHECK(client.Body == framed.body);
}

void Delete(TPop3Client& client, const ScriptedServer& server, int number) {
    if (client.Delete(number)) {
        const std::string& response = server.SinceLastWrite();
        FUZZ_CHECK(StartsWith(response, "+OK") && EndsWith(response, "\r\n"));
    }
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 2);
    ScriptedServer server(parts[1], parts[0]);
    TPop3Client client(server.Connector());
    client.HostAddress = "pop.example.test";
    client.Port = 110;
    client.User = "list";
    client.Password = "secret";
    client.TopLines = 0;

    // Login's own STAT goes unchecked (its result is ignored there); a second one is not.
    if (client.Login() && client.Stat()) {
        const std::string& stat = server.SinceLastWrite();
        FUZZ_CHECK(server.Writes().back() == "STAT\r\n");
        FUZZ_CHECK(StartsWith(stat, "+OK") && EndsWith(stat, "\r\n"));
    }
    for (int number = 1; number <= 2; ++number) {
        Top(client, server, number);
        Retrieve(client, server, number);
        Delete(client, server, number);
    }
    client.Quit();
    FUZZ_CHECK(server.Connections() <= 1);
    for (const auto& write : server.Writes()) {
        FUZZ_CHECK(EndsWith(write, "\r\n"));
        FUZZ_CHECK(write.find_first_of("\r\n") == write.size() - 2);
    }
    return 0;
}
