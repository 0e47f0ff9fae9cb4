// The POP3 client's reply reading: a whole session (greeting, USER, PASS, STAT, STAT, TOP,
// RETR, DELE one at a time, then CAPA, LIST and UIDL and a window of TOP, RETR and DELE in
// flight together, QUIT) against a server played from the input, its bytes cut into reads at
// will.
//
// Input: control bytes (how the server's bytes are cut into reads; 0 is a time-out), "%%",
// the server's bytes.
//
// Checked against a plain reading of the server's bytes, reply by reply in the order of the
// commands the client wrote (the client reads ahead, so a reply need not begin after the
// command's write): no call on a closed stream; a positive TOP or RETR was a whole "+OK"
// reply ended by "." and its header and body are that reply's lines as POP3 frames them
// (RETR dot-unstuffed), each ended by CR LF; a positive STAT or DELE was a whole "+OK" line;
// no reply is positive after the connection ended; the window's replies come in order.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/FuzzCheck.h"
#include "common/ScriptedServer.h"
#include "support/Text.h"
#include "transport/TPop3Client.h"

namespace corvanteer::fuzz {
namespace {

// One reply as the server's bytes have it: its status line and, for a positive multi-line
// reply, its lines (without their line ends, stuffing dots kept).
struct Expected {
    bool whole = false;
    std::string status;
    Lines lines;
};

bool MultiLine(std::string_view command) {
    const std::string_view verb = command.substr(0, command.find(' '));
    const bool argument = command.find(' ') != std::string_view::npos;
    return verb == "CAPA" || verb == "TOP" || verb == "RETR" ||
           ((verb == "LIST" || verb == "UIDL") && !argument);
}

// The replies to greeting and commands, read from the server's bytes one after the other.
std::vector<Expected> ReadReplies(std::string_view bytes,
                                  const std::vector<std::string>& commands) {
    std::vector<Expected> replies;
    std::size_t at = 0;
    for (const std::string& command : commands) {
        Expected reply;
        const std::size_t lf = bytes.find('\n', at);
        if (lf == std::string_view::npos) {
            replies.push_back(reply);
            break;
        }
        reply.status = std::string(bytes.substr(at, lf + 1 - at));
        at = lf + 1;
        if (!MultiLine(command) || reply.status.front() == '-') {
            reply.whole = true;
            replies.push_back(reply);
            continue;
        }
        // Lines end with CR LF, a lone LF or a lone CR; the line "." ends the reply.
        for (;;) {
            const std::size_t end = bytes.find_first_of("\r\n", at);
            if (end == std::string_view::npos) {
                break;
            }
            const std::string_view line = bytes.substr(at, end - at);
            at = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);
            if (line == ".") {
                reply.whole = true;
                break;
            }
            reply.lines.emplace_back(line);
        }
        const bool whole = reply.whole;
        replies.push_back(std::move(reply));
        if (!whole) {
            break;
        }
    }
    return replies;
}

// The commands the client wrote, one a line, after the greeting's place.
std::vector<std::string> Commands(const ScriptedServer& server) {
    std::vector<std::string> commands{"(greeting)"};
    for (const std::string& write : server.Writes()) {
        std::string_view rest = write;
        while (!rest.empty()) {
            const std::size_t end = rest.find("\r\n");
            commands.emplace_back(rest.substr(0, end));
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 2);
        }
    }
    return commands;
}

std::string Joined(const Lines& lines, std::size_t from, std::size_t to, bool unstuff) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) {
        std::string_view line = lines[i];
        if (unstuff && StartsWith(line, ".")) {
            line.remove_prefix(1);
        }
        text.append(line);
        text += "\r\n";
    }
    return text;
}

// Where the header's empty line is among the lines (their number when there is none).
std::size_t HeaderEnd(const Lines& lines) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].empty()) {
            return i;
        }
    }
    return lines.size();
}

// What a session learned, checked once it is over.
struct Seen {
    enum class What { Line, Top, Retrieve, Message };
    std::size_t command = 0;  // the reply's place in Commands(); 0: nothing was written
    What what = What::Line;
    bool positive = false;
    Lines header;
    std::string body;  // Top/Retrieve: Body; Message: the whole message of a Receive
};

class Session {
public:
    Session(TPop3Client& client, const ScriptedServer& server) : client_(client), server_(server) {}

    // A call that writes one command; the reply it read is the last command written.
    template <typename Call>
    void Sync(Seen::What what, Call call) {
        const std::size_t before = Count();
        Seen seen;
        seen.what = what;
        seen.positive = call();
        seen.command = Count() > before ? Count() - 1 : 0;
        seen.header = client_.Header;
        seen.body = client_.Body;
        FUZZ_CHECK(seen.command != 0 || !seen.positive);
        seen_.push_back(std::move(seen));
    }

    // Commands sent together and their replies received in order.
    void Window(const std::vector<Pop3Command>& commands) {
        const std::size_t before = Count();
        for (const Pop3Command& command : commands) {
            client_.Send(command);
        }
        std::size_t place = before;
        Pop3Reply reply;
        for (std::size_t i = 0; i < commands.size(); ++i) {
            FUZZ_CHECK(client_.Receive(reply));
            FUZZ_CHECK(reply.command.kind == commands[i].kind &&
                       reply.command.number == commands[i].number);
            Seen seen;
            seen.what = reply.command.kind == Pop3Command::Kind::Delete ? Seen::What::Line
                                                                        : Seen::What::Message;
            seen.positive = reply.positive;
            seen.command = Count() > before ? place++ : 0;
            FUZZ_CHECK(seen.command != 0 || !seen.positive);
            if (reply.positive && reply.command.kind == Pop3Command::Kind::Top) {
                seen.what = Seen::What::Top;
                seen.header = reply.header;
            }
            seen.body = reply.message;
            seen_.push_back(std::move(seen));
        }
        FUZZ_CHECK(!client_.Receive(reply));
    }

    void Check(std::string_view bytes) const {
        const std::vector<std::string> commands = Commands(server_);
        const std::vector<Expected> replies = ReadReplies(bytes, commands);
        for (const Seen& seen : seen_) {
            if (!seen.positive) {
                continue;
            }
            FUZZ_CHECK(seen.command < replies.size());
            const Expected& expected = replies[seen.command];
            FUZZ_CHECK(expected.whole && StartsWith(expected.status, "+OK"));
            CheckContent(seen, expected);
        }
    }

private:
    std::size_t Count() const { return Commands(server_).size(); }

    static void CheckContent(const Seen& seen, const Expected& expected) {
        const Lines& lines = expected.lines;
        switch (seen.what) {
            case Seen::What::Line:
                break;
            case Seen::What::Top: {
                const std::size_t end = HeaderEnd(lines);
                Lines header(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(end));
                header.emplace_back();
                FUZZ_CHECK(seen.header == header);
                const std::size_t bodyFrom = end < lines.size() ? end + 1 : end;
                FUZZ_CHECK(seen.body == Joined(lines, bodyFrom, lines.size(), false));
                break;
            }
            case Seen::What::Retrieve: {
                const std::size_t end = HeaderEnd(lines);
                const std::size_t bodyFrom = end < lines.size() ? end + 1 : end;
                FUZZ_CHECK(seen.body == Joined(lines, bodyFrom, lines.size(), true));
                break;
            }
            case Seen::What::Message:
                FUZZ_CHECK(seen.body == Joined(lines, 0, lines.size(), true));
                break;
        }
    }

    TPop3Client& client_;
    const ScriptedServer& server_;
    std::vector<Seen> seen_;
};

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
    Session session(client, server);

    // Login's own STAT goes unchecked (its result is ignored there); a second one is not.
    if (client.Login()) {
        session.Sync(Seen::What::Line, [&] { return client.Stat(); });
    }
    for (int number = 1; number <= 2; ++number) {
        session.Sync(Seen::What::Top, [&] {
            client.Top(number);
            return client.LastReplyPositive;
        });
        session.Sync(Seen::What::Retrieve, [&] {
            client.Retrieve(number);
            return client.LastReplyPositive;
        });
        session.Sync(Seen::What::Line, [&] { return client.Delete(number); });
    }
    // CAPA, LIST and UIDL (together when PIPELINING is offered), then a window.
    client.ListMessages();
    using Kind = Pop3Command::Kind;
    session.Window({{Kind::Top, 3},
                    {Kind::Retrieve, 3},
                    {Kind::Delete, 3},
                    {Kind::Top, 4},
                    {Kind::Retrieve, 4},
                    {Kind::Delete, 4}});
    client.Quit();
    session.Check(parts[1]);
    FUZZ_CHECK(server.Connections() <= 1);
    for (const auto& write : server.Writes()) {
        FUZZ_CHECK(EndsWith(write, "\r\n"));
    }
    for (const std::string& command : Commands(server)) {
        FUZZ_CHECK(command.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}
