// Whole scans with the real POP3 client against a fake POP3 server that takes pipelined
// commands and can misbehave: what is stored, posted, deleted and logged.

#include "engine/MailboxPass.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EngineFixture.h"
#include "common/FakePop3Server.h"
#include "engine/ScanSession.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "transport/TPop3Client.h"

namespace corvanteer::testing {
namespace {

std::string Msg(const std::string& from, const std::string& subject, const std::string& body) {
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\n" + body;
}

class MailboxPassTest : public EngineTest {
protected:
    MailboxPassTest() {
        AddList("news");
        store->WriteRegString(ListKey("news"), "Pop3User", "alice");
        store->WriteRegString(ListKey("news"), "Pop3Password", ScramblePassword("secret"));
        store->WriteRegInteger(ListKey("news"), "AllowPostBy", 2);
        store->WriteRegString(ListKey("news"), "ListPostingAddress", "news@example.test");
        WriteSection(DataFile("news"), "MemberList", {"reader@x.org 0 123456"});
    }

    // A new server with these messages, the list's mailbox pointing at it.
    FakePop3Server& Serve(std::vector<std::string> messages, FakePop3Server::Options options = {}) {
        server = std::make_unique<FakePop3Server>(std::move(messages), options);
        store->WriteRegString(ListKey("news"), "Pop3Host", server->Host());
        store->WriteRegInteger(ListKey("news"), "Pop3Port", server->Port());
        return *server;
    }

    ScanOutcome Scan() {
        client.FirstByteTimeoutMs = 5000;
        client.MultiLineReadTimeoutMs = 5000;
        Services real{paths, *store, client, smtp, clock, random, observer, storeLock, console};
        RecordingTimer timer;
        return RunScanSession(real, timer);
    }

    // The subjects of the postings sent so far, in order.
    std::vector<std::string> Posted() const {
        std::vector<std::string> subjects;
        for (const FakeSmtp::Sent& sent : smtp.Delivered()) {
            for (const std::string& line : sent.message) {
                if (StartsWith(line, "Subject: ")) {
                    subjects.push_back(line.substr(9));
                    break;
                }
            }
        }
        return subjects;
    }

    std::size_t LogCount(const std::string& part) const {
        const Lines lines = LogLines();
        return static_cast<std::size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& l) { return Contains(l, part); }));
    }

    TPop3Client client;
    std::unique_ptr<FakePop3Server> server;
};

// A server that carries out DELE at once and then drops the connection: the copy already
// downloaded is kept and posted, once; the mailbox is still reported as broken off.
TEST_F(MailboxPassTest, DeleteCarriedOutThenADropKeepsTheDownload) {
    FakePop3Server::Options options;
    options.deleteAtOnce = true;
    options.dropAfter = 5;  // TOP 2, TOP 1, RETR 2, RETR 1, DELE 2: then the line goes dead
    Serve({Msg("a@x.org", "one", "1\r\n"), Msg("b@x.org", "two", "2\r\n")}, options);

    ScanOutcome outcome = Scan();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    ASSERT_EQ(outcome.mailboxFailures.size(), 1u);
    EXPECT_TRUE(Contains(outcome.mailboxFailures[0].Text(), "(connection lost)"));
    EXPECT_EQ(server->Messages(), (std::vector<std::string>{Msg("a@x.org", "one", "1\r\n")}));
    EXPECT_EQ(Posted(), (std::vector<std::string>{"one", "two"}));  // oldest first

    // The server still had "one" (its DELE never came back): a duplicate, as after a kill;
    // "two" is gone for good and was posted once.
    outcome = Scan();
    EXPECT_TRUE(outcome.mailboxFailures.empty());
    EXPECT_EQ(Posted(), (std::vector<std::string>{"one", "two", "one"}));
    EXPECT_TRUE(server->Messages().empty());
}

// A connection dropped after any one reply of the walk never loses a message: whatever the
// server deleted (DELE carried out at once) was stored whole and posted.
TEST_F(MailboxPassTest, ADropAfterAnyReplyDeletesNothingThatWasNotStored) {
    std::vector<std::string> messages;
    for (int i = 1; i <= 4; ++i) {
        messages.push_back(Msg("m@x.org", "m" + std::to_string(i), "text\r\n"));
    }
    for (int drop = 1; drop <= 12; ++drop) {
        SCOPED_TRACE(drop);
        smtp.sent.clear();
        FakePop3Server::Options options;
        options.deleteAtOnce = true;
        options.dropAfter = drop;
        Serve(messages, options);
        ASSERT_TRUE(Scan().ok);
        const std::vector<std::string> left = server->Messages();
        for (int i = 1; i <= 4; ++i) {
            const std::string& message = messages[static_cast<std::size_t>(i - 1)];
            const bool gone = std::find(left.begin(), left.end(), message) == left.end();
            const std::vector<std::string> posted = Posted();
            const auto copies = std::count(posted.begin(), posted.end(), "m" + std::to_string(i));
            EXPECT_LE(copies, 1) << i;
            if (gone) {
                EXPECT_EQ(copies, 1) << "message " << i << " deleted without being posted";
            }
        }
        EXPECT_TRUE(ListFiles(paths.TempFolder("news"), ".tmp").empty());
    }
}

// Lines that begin with "." are stuffed on the wire: the message is still taken at exactly
// MaxMessageSize, its own size.
TEST_F(MailboxPassTest, StuffingDoesNotCountAgainstTheSizeLimit) {
    std::string body;
    while (body.size() < 2000) {
        body += ".a line that begins with a dot\r\n";
    }
    const std::string message = Msg("a@x.org", "dots", body);
    Serve({message});
    console.globals.MaxMessageSize = static_cast<int32_t>(message.size());

    ScanOutcome outcome = Scan();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_TRUE(outcome.mailboxFailures.empty());
    EXPECT_EQ(Posted(), (std::vector<std::string>{"dots"}));
    EXPECT_TRUE(server->Messages().empty());
    EXPECT_EQ(LogCount("MaxMessageSize"), 0u);
}

// A message whose listed size lies is cut off at the limit: it stays on the server, the
// log says why once, and the messages after it are read on a new connection in the same
// scan. Later scans leave it alone without fetching it again.
TEST_F(MailboxPassTest, ACutReplyIsLeftAndTheRestIsReadOnANewConnection) {
    FakePop3Server::Options options;
    options.listedSizes[2] = 100;
    const std::string big = Msg("b@x.org", "big", std::string(3000, 'x') + "\r\n");
    Serve({Msg("a@x.org", "one", "1\r\n"), big, Msg("c@x.org", "three", "3\r\n")}, options);
    console.globals.MaxMessageSize = 1000;

    for (int scan = 1; scan <= 2; ++scan) {
        SCOPED_TRACE(scan);
        ScanOutcome outcome = Scan();
        ASSERT_TRUE(outcome.ok) << outcome.error;
        EXPECT_TRUE(outcome.mailboxFailures.empty());
        EXPECT_EQ(Posted(), (std::vector<std::string>{"one", "three"}));
        EXPECT_EQ(server->Messages(), (std::vector<std::string>{big}));
        EXPECT_EQ(LogCount("news: message 2 is over MaxMessageSize (more than 1000 bytes came, "
                           "listed as 100 bytes) - left on the server"),
                  1u);
    }
    // The second scan did not ask for it again.
    const std::vector<std::string> commands = server->Commands();
    const auto last = std::find(commands.rbegin(), commands.rend(), "CONNECT").base();
    EXPECT_EQ(std::count(last, commands.end(), "RETR 1"), 0);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "CONNECT"), 3);
}

// A message whose sender cannot be used is neither fetched nor deleted although the
// commands around it are in flight; it is logged once, not by every scan.
TEST_F(MailboxPassTest, AnUnusableSenderIsLeftAndLoggedOnce) {
    const std::string bad = Msg("Nobody <nobody>", "bad", "x\r\n");
    Serve({Msg("a@x.org", "one", "1\r\n"), bad, Msg("c@x.org", "three", "3\r\n")});

    for (int scan = 1; scan <= 2; ++scan) {
        SCOPED_TRACE(scan);
        ScanOutcome outcome = Scan();
        ASSERT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(server->Messages(), (std::vector<std::string>{bad}));
        EXPECT_EQ(LogCount("news: message 2 has no usable sender (From: Nobody <nobody>) - left "
                           "on the server"),
                  1u);
    }
    EXPECT_EQ(Posted(), (std::vector<std::string>{"one", "three"}));
    const std::vector<std::string> commands = server->Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR 2"), 0);
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "DELE 2"), 0);
    EXPECT_GT(server->CommandsAhead(), 0);  // pipelined all the same
}

}  // namespace
}  // namespace corvanteer::testing
