// The POP3 client's replies taken apart as they arrive, and walks with commands in flight.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FakeMailServer.h"
#include "common/FakePop3Server.h"
#include "support/Text.h"
#include "transport/Pop3Replies.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::FakePop3Server;
using testing::ServerScript;

// Feeds bytes to a fresh sink in the given pieces; what it took, as one text.
struct Fed {
    std::string status;
    std::string content;
    std::size_t taken = 0;
    std::size_t octets = 0;
    ReplySink::State state = ReplySink::State::More;
};

Fed Feed(const std::vector<std::string_view>& pieces, const MultiLineSink::Limits& limits) {
    Fed fed;
    MultiLineSink sink(fed.status, fed.content, limits);
    for (std::string_view piece : pieces) {
        fed.taken += sink.Take(piece);
        if (sink.Now() != ReplySink::State::More) {
            break;
        }
    }
    fed.state = sink.Now();
    fed.octets = sink.Octets();
    return fed;
}

// Every reply is taken apart the same, wherever the network cut it: in two pieces at every
// place, and byte by byte. What follows the reply's end is left for the next one.
TEST(MultiLineSink, TakesApartRepliesCutAnywhere) {
    struct Case {
        const char* name;
        std::string reply;  // followed by "NEXT" on the wire
        bool unstuff;
        std::string status;
        std::string content;
        std::size_t octets;
    };
    const std::vector<Case> cases = {
        {"stuffed lines", "+OK 12\r\nA: b\r\n\r\n..dot\r\n...\r\nx\r\n.\r\n", true, "+OK 12\r\n",
         "A: b\r\n\r\n.dot\r\n..\r\nx\r\n", 21},
        {"lines ended by a lone LF or CR", "+OK\r\na\nb\rc\r\n\r\n.\r\n", true, "+OK\r\n",
         "a\r\nb\r\nc\r\n\r\n", 9},
        {"TOP keeps its dots", "+OK\r\n..x\r\n.\r\n", false, "+OK\r\n", "..x\r\n", 5},
        {"the end line with a lone LF", "+OK\r\nbody\r\n.\n", true, "+OK\r\n", "body\r\n", 6},
        {"a refusal is one line", "-ERR no such message\r\n", true, "-ERR no such message\r\n", "",
         0},
        {"an empty message", "+OK\r\n.\r\n", true, "+OK\r\n", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string wire = c.reply + "NEXT";
        MultiLineSink::Limits limits;
        limits.unstuff = c.unstuff;
        std::vector<std::vector<std::string_view>> cuts;
        for (std::size_t at = 0; at <= wire.size(); ++at) {
            cuts.push_back(
                {std::string_view(wire).substr(0, at), std::string_view(wire).substr(at)});
        }
        std::vector<std::string_view> bytes;
        for (std::size_t i = 0; i < wire.size(); ++i) {
            bytes.push_back(std::string_view(wire).substr(i, 1));
        }
        cuts.push_back(bytes);
        for (const auto& pieces : cuts) {
            const Fed fed = Feed(pieces, limits);
            ASSERT_EQ(fed.state, ReplySink::State::Done) << pieces[0].size();
            EXPECT_EQ(fed.status, c.status);
            EXPECT_EQ(fed.content, c.content);
            EXPECT_EQ(fed.octets, c.octets);
            EXPECT_EQ(fed.taken, c.reply.size()) << pieces[0].size();
        }
    }
}

// The size limit counts the message's own octets: the dots of stuffing are not the
// message's, so a message of lines that all begin with "." is taken at exactly its size.
TEST(MultiLineSink, SizeLimitCountsTheMessageNotItsStuffing) {
    std::string message;
    for (int i = 0; i < 100; ++i) {
        message += ".line\r\n";
    }
    std::string wire = "+OK\r\n";
    for (int i = 0; i < 100; ++i) {
        wire += "..line\r\n";
    }
    wire += ".\r\n";
    MultiLineSink::Limits limits;
    limits.maxOctets = message.size();
    Fed fed = Feed({wire}, limits);
    EXPECT_EQ(fed.state, ReplySink::State::Done);
    EXPECT_EQ(fed.content, message);

    limits.maxOctets = message.size() - 1;
    fed = Feed({wire}, limits);
    EXPECT_EQ(fed.state, ReplySink::State::TooLong);

    // What is kept may be less than what is read and counted.
    limits.maxOctets = 0;
    limits.keepOctets = 10;
    fed = Feed({wire}, limits);
    EXPECT_EQ(fed.state, ReplySink::State::Done);
    EXPECT_EQ(fed.content, message.substr(0, 10));
    EXPECT_EQ(fed.octets, message.size());
}

std::string Message(int number, const std::string& body) {
    return "From: a" + std::to_string(number) + "@x.org\r\nSubject: " + std::to_string(number) +
           "\r\n\r\n" + body;
}

void PointAt(TPop3Client& pop3, const FakePop3Server& server) {
    pop3.HostAddress = server.Host();
    pop3.Port = server.Port();
    pop3.User = "alice";
    pop3.Password = "secret";
    pop3.FirstByteTimeoutMs = 5000;
    pop3.ReadTimeoutMs = 5000;
    pop3.MultiLineReadTimeoutMs = 5000;
}

// A walk with its commands in flight: TOPs, RETRs and DELEs go out together and their replies,
// cut into pieces and late, are matched in order; a Top called in between waits for the
// replies ahead of it, which Receive gives afterwards.
TEST(TPop3Pipelining, RepliesOfAWindowArriveInPiecesAndInOrder) {
    std::vector<std::string> messages;
    for (int i = 1; i <= 6; ++i) {
        messages.push_back(Message(i, ".dotted line " + std::to_string(i) + "\r\nend\r\n"));
    }
    FakePop3Server::Options options;
    options.pieceBytes = 7;
    options.pauseMs = 1;
    FakePop3Server server(messages, options);
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    const auto listing = pop3.ListMessages();
    ASSERT_EQ(pop3.Window(), pop3.PipelineWindow);
    ASSERT_EQ(listing.size(), 6u);
    EXPECT_EQ(listing.at(4).size, static_cast<int64_t>(messages[3].size()));
    EXPECT_EQ(listing.at(4).uid, "uid-4");

    for (int n = 6; n >= 4; --n) {
        pop3.Send({Pop3Command::Kind::Top, n});
        pop3.Send({Pop3Command::Kind::Retrieve, n});
        pop3.Send({Pop3Command::Kind::Delete, n});
    }
    pop3.Top(1);  // a command of its own among those in flight
    EXPECT_EQ(pop3.Header, (Lines{"From: a1@x.org", "Subject: 1", ""}));
    for (int n = 6; n >= 4; --n) {
        Pop3Reply reply;
        ASSERT_TRUE(pop3.Receive(reply));
        EXPECT_EQ(reply.command.kind, Pop3Command::Kind::Top);
        EXPECT_EQ(reply.command.number, n);
        EXPECT_EQ(reply.header, (Lines{"From: a" + std::to_string(n) + "@x.org",
                                       "Subject: " + std::to_string(n), ""}));
        ASSERT_TRUE(pop3.Receive(reply));
        EXPECT_EQ(reply.command.kind, Pop3Command::Kind::Retrieve);
        EXPECT_TRUE(reply.positive);
        EXPECT_EQ(reply.message, messages[static_cast<std::size_t>(n - 1)]);
        ASSERT_TRUE(pop3.Receive(reply));
        EXPECT_EQ(reply.command.kind, Pop3Command::Kind::Delete);
        EXPECT_TRUE(reply.positive);
    }
    Pop3Reply none;
    EXPECT_FALSE(pop3.Receive(none));
    pop3.Quit();
    EXPECT_GT(server.CommandsAhead(), 5);
    EXPECT_EQ(server.Messages(),
              (std::vector<std::string>(messages.begin(), messages.begin() + 3)));
}

// Without PIPELINING the walk goes command by command; QUIT still waits for the replies
// in flight. A connection that ends mid-window gives every command left a failed reply.
TEST(TPop3Pipelining, NoPipeliningMeansOneCommandAtATimeAndADropFailsTheRest) {
    FakePop3Server::Options options;
    options.pipelining = false;
    options.dropAfter = 2;
    FakePop3Server server({Message(1, "one\r\n"), Message(2, "two\r\n")}, options);
    TPop3Client pop3;
    PointAt(pop3, server);
    ASSERT_TRUE(pop3.Login());
    pop3.ListMessages();
    EXPECT_EQ(pop3.Window(), 1u);
    // The caller may still queue more than one; the server's second reply is its last.
    pop3.Send({Pop3Command::Kind::Retrieve, 2});
    pop3.Send({Pop3Command::Kind::Delete, 2});
    pop3.Send({Pop3Command::Kind::Retrieve, 1});
    pop3.Send({Pop3Command::Kind::Delete, 1});
    std::vector<bool> positive;
    Pop3Reply reply;
    while (pop3.Receive(reply)) {
        positive.push_back(reply.positive);
        if (!reply.positive) {
            EXPECT_FALSE(reply.error.ok());
        }
    }
    EXPECT_EQ(positive, (std::vector<bool>{true, true, false, false}));
    EXPECT_FALSE(pop3.Connected());
    pop3.Quit();
    EXPECT_EQ(server.Messages().size(), 2u);  // no QUIT: nothing deleted
}

// A clock that moves on by stepMs each time it is read.
class TickingClock final : public Clock {
public:
    explicit TickingClock(int64_t stepMs) : stepMs_(stepMs) {}
    LocalTime Now() const override { return {}; }
    int64_t MonotonicMs() const override { return now_ += stepMs_; }

private:
    int64_t stepMs_;
    mutable int64_t now_ = 0;
};

// A greeting sent a byte at a time, each byte well within the idle time-out, is ended by the
// total deadline of one reply, POP3 and SMTP alike (the clock runs a minute a look).
TEST(ReplyDeadline, ASlowGreetingIsEndedByTheTotalDeadline) {
    FakeMailServer server(
        {ServerScript().SendEndlessly("+", 2, 3000), ServerScript().SendEndlessly("2", 2, 3000)});
    TickingClock clock(60000);
    TPop3Client pop3;
    pop3.UseClock(clock);
    pop3.HostAddress = server.Host();
    pop3.Port = server.Port();
    pop3.User = "alice";
    EXPECT_FALSE(pop3.Login());
    EXPECT_EQ(pop3.LastError.kind, MailFailure::Timeout);
    EXPECT_TRUE(Contains(pop3.LastError.Text(), "did not end in time")) << pop3.LastError.Text();
    pop3.Quit();

    TSmtpClient smtp;
    smtp.UseClock(clock);
    smtp.Server.host = server.Host();
    smtp.Server.port = server.Port();
    const SmtpResult result =
        smtp.Submit({"list@x.org", {"member@x.org"}, "Subject: hi\r\n\r\ntext\r\n"});
    EXPECT_EQ(result.error.kind, MailFailure::Timeout);
    EXPECT_TRUE(Contains(result.error.Text(), "did not end in time")) << result.error.Text();
    EXPECT_TRUE(server.Problems().empty());
}

}  // namespace
}  // namespace corvanteer
