// The SMTP client's reply reading: one Send (greeting, HELO or EHLO with AUTH LOGIN, MAIL
// FROM, RCPT TO, DATA, the data, QUIT) against a server played from the input.
//
// Input: control bytes (the first one's low bit asks for authentication, the rest cut the
// server's bytes into reads; 0 is a time-out), "%%", the server's bytes, "%%", the message
// (one buffer, any line breaks), "%%", the sender and recipients one a line (none: fixed
// ones).
//
// Checked: an address holding a line break or an angle bracket is refused before any
// connection; every command is one line; a send counts as accepted only after the whole
// conversation with a "250" reply to the data; the data on the wire, unstuffed, is exactly the
// message's lines and nothing in it ends the data early; the reply handed back is one line.

#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/ScriptedServer.h"
#include "support/Text.h"
#include "transport/TSmtpClient.h"

namespace corvanteer::fuzz {
namespace {

bool IsSafe(const std::string& address) {
    return address.find_first_of("\r\n<>") == std::string::npos;
}

// The lines the message must become on the wire, before dot-stuffing: cut at every line
// break (CR LF, CR or LF), a last line break starting no further line.
Lines ExpectedDataLines(const std::string& message) {
    return TextToLines(message);
}

// Checks the data written after DATA (its writes joined) and returns its lines unstuffed.
Lines UnstuffData(const std::string& data) {
    FUZZ_CHECK(EndsWith(data, ".\r\n"));
    const std::string content = data.substr(0, data.size() - 3);
    Lines lines;
    size_t pos = 0;
    while (pos < content.size()) {
        const size_t end = content.find("\r\n", pos);
        FUZZ_CHECK(end != std::string::npos);
        std::string line = content.substr(pos, end - pos);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        if (!line.empty() && line[0] == '.') {
            FUZZ_CHECK(line.size() >= 2 && line[1] == '.');
            line.erase(0, 1);
        }
        lines.push_back(std::move(line));
        pos = end + 2;
    }
    return lines;
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    using namespace corvanteer::fuzz;
    std::vector<std::string> parts = SplitParts(data, size, 4);
    const bool authenticate = !parts[0].empty() && (parts[0][0] & 1) != 0;
    ScriptedServer server(parts[1], parts[0].empty() ? std::string() : parts[0].substr(1));

    TSmtpClient client(server.Connector());
    client.Server.host = "smtp.example.test";
    client.Server.port = 25;
    client.Server.requireAuthentication = authenticate;
    client.Server.user = "list";
    client.Server.password = "secret";
    Envelope mail;
    mail.message = parts[2];
    if (parts[3].empty()) {
        mail.from = "news@example.test";
        mail.recipients = {"ann@example.test", "bob@example.test"};
    } else {
        Lines addresses = SplitAtLineFeeds(parts[3]);
        mail.from = addresses.front();
        mail.recipients.assign(addresses.begin() + 1, addresses.end());
    }

    bool safe = IsSafe(mail.from);
    for (const auto& recipient : mail.recipients) {
        safe = safe && IsSafe(recipient);
    }
    std::string reply = "untouched";
    const bool accepted = client.Send(mail, reply);
    FUZZ_CHECK(reply.find_first_of("\r\n") == std::string::npos);
    if (!safe) {
        FUZZ_CHECK(!accepted && server.Connections() == 0 && server.Writes().empty());
        return 0;
    }
    FUZZ_CHECK(server.Connections() == 1);

    // Commands, then (once DATA was accepted) the data in one or more writes, then QUIT.
    const std::vector<std::string>& writes = server.Writes();
    size_t index = 0;
    Lines commands;
    bool sawData = false;
    for (; index < writes.size(); ++index) {
        const std::string& write = writes[index];
        FUZZ_CHECK(EndsWith(write, "\r\n") && write.find_first_of("\r\n") == write.size() - 2);
        commands.push_back(write.substr(0, write.size() - 2));
        if (write == "DATA\r\n") {
            sawData = true;
            ++index;
            break;
        }
    }
    std::string dataBytes;
    bool dataWritten = false;
    for (; index < writes.size(); ++index) {
        if (writes[index] == "QUIT\r\n" && index + 1 == writes.size()) {
            break;
        }
        dataBytes += writes[index];
        dataWritten = true;
    }
    if (dataWritten) {
        FUZZ_CHECK(sawData);
        FUZZ_CHECK(UnstuffData(dataBytes) == ExpectedDataLines(mail.message));
    }

    if (accepted) {
        FUZZ_CHECK(dataWritten);
        FUZZ_CHECK(StartsWith(reply, "250"));
        size_t next = authenticate ? 4 : 1;
        FUZZ_CHECK(commands.size() == next + 2 + mail.recipients.size());
        FUZZ_CHECK(commands[next++] == "MAIL FROM:<" + mail.from + ">");
        for (const auto& recipient : mail.recipients) {
            FUZZ_CHECK(commands[next++] == "RCPT TO:<" + recipient + ">");
        }
    }
    return 0;
}
