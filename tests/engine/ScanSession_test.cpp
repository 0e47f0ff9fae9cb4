#include "engine/ScanSession.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <functional>
#include <stdexcept>

#include "EngineFixture.h"
#include "common/MessageIds.h"
#include "engine/ActivityLog.h"
#include "engine/PendingQueue.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

constexpr const char* kHost = "pop.example.test";

std::string Msg(const std::string& from, const std::string& subject,
                const std::string& body = "Body line") {
    return "From: " + from + "\r\nSubject: " + subject + "\r\n\r\n" + body + "\r\n";
}

bool Has(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ScanSessionTest : public EngineTest {
protected:
    ScanSessionTest() {
        console.globals.ListServerHost = kHost;
        console.globals.ListServerPort = 110;
        console.globals.ListServerUserID = "listserver";
        console.globals.ListServerPassword = "lspw";
        console.globals.SessionInterval = 5;
    }

    // A list whose mailbox news@ on kHost is configured; anybody may post.
    void AddMailboxList(const std::string& name) {
        AddList(name);
        store->WriteRegString(ListKey(name), "Pop3Host", kHost);
        store->WriteRegString(ListKey(name), "Pop3User", name);
        store->WriteRegString(ListKey(name), "Pop3Password", ScramblePassword(name + "pw"));
        store->WriteRegInteger(ListKey(name), "AllowPostBy", 2);
        store->WriteRegString(ListKey(name), "ListPostingAddress", name + "@example.test");
        WriteSection(DataFile(name), "MemberList", {"reader@x.org 0 123456"});
        pop3.AddMailbox(kHost, 110, name, name + "pw");
    }
    FakePop3::Mailbox& ListServerBox() { return pop3.AddMailbox(kHost, 110, "listserver", "lspw"); }
    std::vector<std::string> TempFiles(const std::string& list) const {
        return ListFiles(paths.TempFolder(list), ".tmp");
    }
    void PutTempFile(const std::string& list, const std::string& name, const std::string& bytes) {
        ForceDirectories(paths.TempFolder(list));
        Spit(paths.TempFolder(list) + "/" + name, bytes);
    }
    ScanOutcome Run() { return RunScanSession(services, timer); }

    RecordingTimer timer;
};

TEST_F(ScanSessionTest, ListServerMessagesAreReadNewestFirstAndDeleted) {
    auto& box = ListServerBox();
    box.messages = {Msg("a@x.org", "hello"), Msg("b@x.org", "what is this"),
                    Msg("C <c@x.org>", "more")};
    box.deleted.assign(3, false);

    ScanOutcome outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "TOP 3", "DELE 3", "TOP 2",
                                                  "DELE 2", "TOP 1", "DELE 1", "QUIT"}));
    EXPECT_TRUE(box.messages.empty());
    EXPECT_TRUE(smtp.sent.empty());  // unrecognised subjects get no answer
    EXPECT_EQ(observer.trayImages, (std::vector<int>{1, 0}));
    EXPECT_EQ(outcome.counts.messagesRead, 3);
}

TEST_F(ScanSessionTest, InvalidSenderStaysInTheMailboxSessionAfterSession) {
    auto& box = ListServerBox();
    box.messages = {Msg("a@x.org", "one"), Msg("Nobody <nobody>", "two"), Msg("c@x.org", "three")};
    box.deleted.assign(3, false);

    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "TOP 3", "DELE 3", "TOP 2",
                                                  "TOP 1", "DELE 1", "QUIT"}));
    ASSERT_EQ(box.messages.size(), 1u);
    EXPECT_EQ(box.messages[0], Msg("Nobody <nobody>", "two"));

    pop3.log.clear();
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "TOP 1", "QUIT"}));
    EXPECT_EQ(box.messages.size(), 1u);
}

TEST_F(ScanSessionTest, ListServerLoginFailureSendsNoQuit) {
    ListServerBox().refuseLogin = true;
    ScanOutcome outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver"}));
    EXPECT_TRUE(observer.trayImages.empty());
}

TEST_F(ScanSessionTest, ListMailboxIsDownloadedNewestFirstAndProcessed) {
    AddMailboxList("news");
    for (const char* subject : {"first", "second", "third"}) {
        pop3.Put(kHost, 110, "news", Msg("author@x.org", subject));
    }
    ScanOutcome outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "LOGIN news", "TOP 3",
                                                  "RETR 3", "DELE 3", "TOP 2", "RETR 2", "DELE 2",
                                                  "TOP 1", "RETR 1", "DELE 1", "QUIT"}));
    EXPECT_TRUE(pop3.Find(kHost, 110, "news")->messages.empty());
    EXPECT_TRUE(TempFiles("news").empty());  // processed and deleted in phase 3
    EXPECT_EQ(smtp.Delivered().size(), 3u);
    EXPECT_EQ(outcome.counts.messagesRead, 3);
    EXPECT_EQ(observer.trayImages, (std::vector<int>{1, 0}));
}

TEST_F(ScanSessionTest, ProcessingTakesMimeValuesAndCountsNoMessageNumber) {
    AddMailboxList("news");
    pop3.Put(kHost, 110, "news",
             "From: author@x.org\r\nSubject: mime\r\nMIME-Version: 1.0\r\n"
             "Content-Type: text/plain;\r\n charset=utf-8\r\n"
             "Content-Transfer-Encoding: 8bit\r\n\r\nbody\r\n");
    ASSERT_TRUE(Run().ok);
    ASSERT_EQ(smtp.Delivered().size(), 1u);
    const Lines posting = smtp.Delivered()[0].message;
    EXPECT_TRUE(Has(posting, "MIME-Version: 1.0"));
    EXPECT_TRUE(Has(posting, "Content-Type: text/plain; charset=utf-8"));
    EXPECT_TRUE(Has(posting, "Content-Transfer-Encoding: 8bit"));
    // Message number 0: the posting is made after the mailbox was read to its end.
    EXPECT_TRUE(Has(WithoutIdTags(posting),
                    "Message-ID: <Corvanteer-news0-20260309140500@smtp.example.test>"));
}

TEST_F(ScanSessionTest, TempFileHoldsHeaderBodyAndOneMoreLineEndBeforeQuit) {
    AddMailboxList("news");
    pop3.Put(kHost, 110, "news",
             "From: Ann <ann@x.org>\r\nSubject: Hi\r\n\tthere\r\n\r\nline one\r\n\r\nline "
             "three\r\n");
    std::vector<std::string> namesAtQuit;
    std::string bytesAtQuit;
    pop3.beforeOperation = [&](const std::string& op) {
        if (op == "QUIT" && pop3.User == "news") {
            namesAtQuit = TempFiles("news");
            if (!namesAtQuit.empty()) {
                bytesAtQuit = Slurp(paths.TempFolder("news") + "/" + namesAtQuit[0]);
            }
        }
    };
    ASSERT_TRUE(Run().ok);
    ASSERT_EQ(namesAtQuit.size(), 1u);
    const std::string& name = namesAtQuit[0];
    ASSERT_EQ(name.size(), 12u);
    EXPECT_EQ(name.substr(8), ".tmp");
    EXPECT_EQ(name.substr(0, 8).find_first_not_of("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"),
              std::string::npos);
    EXPECT_EQ(bytesAtQuit,
              "From: Ann <ann@x.org>\r\nSubject: Hi\r\n\tthere\r\n\r\n"
              "line one\r\n\r\nline three\r\n\r\n");
}

TEST_F(ScanSessionTest, FailedQuitLosesNothingAndTheNextSessionPostsTheFiles) {
    AddMailboxList("news");
    for (const char* subject : {"a", "b", "c"}) {
        pop3.Put(kHost, 110, "news", Msg("author@x.org", subject));
    }
    pop3.beforeOperation = [&](const std::string& op) {
        if (op == "QUIT" && pop3.User == "news") {
            throw std::runtime_error("connection reset by peer");
        }
    };
    ScanOutcome outcome = Run();
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find("connection reset by peer"), std::string::npos);
    EXPECT_NE(outcome.error.find("news"), std::string::npos);
    // The server kept its messages (no QUIT went through) and the disk holds them too.
    EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 3u);
    EXPECT_EQ(TempFiles("news").size(), 3u);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));
    EXPECT_EQ(observer.trayImages, (std::vector<int>{1, 0}));

    // Next session: the mailbox cannot be opened, the files are posted all the same.
    pop3.beforeOperation = nullptr;
    pop3.Find(kHost, 110, "news")->refuseLogin = true;
    outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_TRUE(TempFiles("news").empty());
    EXPECT_EQ(smtp.Delivered().size(), 3u);
}

TEST_F(ScanSessionTest, NetworkErrorMidMailboxKeepsDoneWorkAndClosesTheMailbox) {
    AddMailboxList("news");
    for (const char* subject : {"a", "b", "c"}) {
        pop3.Put(kHost, 110, "news", Msg("author@x.org", subject));
    }
    pop3.beforeOperation = [&](const std::string& op) {
        if (op == "RETR 2") {
            throw std::runtime_error("timed out");
        }
    };
    ScanOutcome outcome = Run();
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find("timed out"), std::string::npos);
    EXPECT_EQ(pop3.log.back(), "QUIT");
    EXPECT_EQ(observer.trayImages, (std::vector<int>{1, 0}));
    // Message 3 was downloaded and deleted; 1 and 2 wait on the server.
    EXPECT_EQ(TempFiles("news").size(), 1u);
    EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 2u);
    EXPECT_EQ(outcome.counts.messagesRead, 1);
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));
}

TEST_F(ScanSessionTest, UnwritableTempFolderEndsTheSessionWithItsName) {
    AddMailboxList("news");
    pop3.Put(kHost, 110, "news", Msg("author@x.org", "a"));
    Spit(dir.File("temp"), "a file where the folder belongs");

    ScanOutcome outcome = Run();
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find(paths.TempFolder("news")), std::string::npos) << outcome.error;
    EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 1u);
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));
}

TEST_F(ScanSessionTest, HandlerFailureLeavesTheMessageFileForTheNextSession) {
    AddList("news");
    store->WriteRegInteger(ListKey("news"), "AllowPostBy", 1);
    ForceDirectories(DataFile("news"));  // the roster cannot be read: the member test fails
    PutTempFile("news", "AAAAAAAA.tmp", Msg("m@x.org", "hi") + "\r\n");

    ScanOutcome outcome = Run();
    EXPECT_FALSE(outcome.ok);
    EXPECT_NE(outcome.error.find("processing the messages of list \"news\""), std::string::npos)
        << outcome.error;
    EXPECT_EQ(TempFiles("news"), (std::vector<std::string>{"AAAAAAAA.tmp"}));
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));
}

TEST_F(ScanSessionTest, UnconfiguredListsAreSkippedButTheirTempFoldersProcessed) {
    AddList("nohost");
    AddList("noport");
    store->WriteRegString(ListKey("noport"), "Pop3Host", kHost);
    store->WriteRegString(ListKey("noport"), "Pop3User", "noport");
    store->WriteRegInteger(ListKey("noport"), "Pop3Port", 0);
    AddList("nouser");
    store->WriteRegString(ListKey("nouser"), "Pop3Host", kHost);
    store->WriteRegInteger(ListKey("nohost"), "AllowPostBy", 2);
    WriteSection(DataFile("nohost"), "MemberList", {"reader@x.org 0 123456"});
    PutTempFile("nohost", "LEFTOVER.tmp", Msg("someone@x.org", "left") + "\r\n");

    ScanOutcome outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver"}));
    EXPECT_TRUE(TempFiles("nohost").empty());
    ASSERT_EQ(smtp.Delivered().size(), 1u);
    EXPECT_TRUE(Has(smtp.Delivered()[0].sendTo, "reader@x.org"));
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));
}

TEST_F(ScanSessionTest, ListLoginFailureQuitsAndStillProcessesLeftFiles) {
    AddMailboxList("news");
    pop3.Find(kHost, 110, "news")->refuseLogin = true;
    PutTempFile("news", "LEFTOVER.tmp", Msg("someone@x.org", "left") + "\r\n");

    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "LOGIN news", "QUIT"}));
    EXPECT_TRUE(observer.trayImages.empty());
    EXPECT_TRUE(TempFiles("news").empty());
    EXPECT_EQ(smtp.Delivered().size(), 1u);
}

TEST_F(ScanSessionTest, TempFolderIsCreatedForANewList) {
    AddList("fresh");
    ASSERT_FALSE(DirectoryExists(paths.TempFolder("fresh")));
    ASSERT_TRUE(Run().ok);
    EXPECT_TRUE(DirectoryExists(paths.TempFolder("fresh")));
}

TEST_F(ScanSessionTest, ListsAreTakenInTheConsoleOrderInBothPhases) {
    AddMailboxList("zeta");
    AddMailboxList("alpha");
    pop3.Put(kHost, 110, "zeta", Msg("z@x.org", "from zeta"));
    pop3.Put(kHost, 110, "alpha", Msg("a@x.org", "from alpha"));
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(pop3.log, (std::vector<std::string>{"LOGIN listserver", "LOGIN zeta", "TOP 1",
                                                  "RETR 1", "DELE 1", "QUIT", "LOGIN alpha",
                                                  "TOP 1", "RETR 1", "DELE 1", "QUIT"}));
    ASSERT_EQ(smtp.Delivered().size(), 2u);
    // Phase 3 follows the same order: zeta's posting goes out first.
    auto subjectOf = [](const FakeSmtp::Sent& sent) {
        for (const auto& line : sent.message) {
            if (StartsWith(line, "Subject: ")) {
                return line;
            }
        }
        return std::string();
    };
    EXPECT_EQ(subjectOf(smtp.Delivered()[0]), "Subject: from zeta");
    EXPECT_EQ(subjectOf(smtp.Delivered()[1]), "Subject: from alpha");
}

TEST_F(ScanSessionTest, TimerStopsFirstAndGetsTheIntervalAfterward) {
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 300000}));

    console.globals.SessionInterval = 0;
    timer.events.clear();
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(timer.events, (std::vector<int64_t>{0, 0}));
}

TEST_F(ScanSessionTest, PendingMailIsRetriedBeforeAnyMailboxIsRead) {
    ForceDirectories(paths.OutFolder());
    QueuedMessage queued{1, "list@x.org", {"someone@x.org"}, "Subject: queued\r\n\r\ntext\r\n"};
    Spit(paths.OutFolder() + "QUEUED01.dat", FormatQueueFile(queued));
    size_t sentAtLogin = 99;
    pop3.beforeOperation = [&](const std::string& op) {
        if (op == "LOGIN listserver") {
            sentAtLogin = smtp.sent.size();
        }
    };
    ASSERT_TRUE(Run().ok);
    EXPECT_EQ(sentAtLogin, 1u);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"someone@x.org"}));
}

// A server that answers TOP of one message with a bare error line (no empty line after
// it), or refuses DELE of one message.
class FlakyPop3 : public FakePop3 {
public:
    void Top(int number) override {
        FakePop3::Top(number);
        if (number == refused) {
            Header = {"-ERR message is locked"};
        }
    }
    bool Delete(int number) override {
        if (number == refusedDelete) {
            log.push_back("DELE " + std::to_string(number) + " refused");
            return false;
        }
        return FakePop3::Delete(number);
    }
    int refused = 0;
    int refusedDelete = 0;
};

TEST_F(ScanSessionTest, RefusedDeleteDropsTheCopySoTheMessageIsPostedOnce) {
    FlakyPop3 server;
    Services custom{paths, *store, server, smtp, clock, random, observer, storeLock, console};
    AddList("news");
    store->WriteRegString(ListKey("news"), "Pop3Host", kHost);
    store->WriteRegString(ListKey("news"), "Pop3User", "news");
    store->WriteRegInteger(ListKey("news"), "AllowPostBy", 2);
    WriteSection(DataFile("news"), "MemberList", {"reader@x.org 0 123456"});
    server.AddMailbox(kHost, 110, "news", "");
    server.Put(kHost, 110, "news", Msg("a@x.org", "one"));
    server.Put(kHost, 110, "news", Msg("b@x.org", "two"));
    server.refusedDelete = 2;

    ScanOutcome outcome = RunScanSession(custom, timer);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.counts.messagesRead, 1);
    EXPECT_TRUE(ListFiles(paths.TempFolder("news"), ".tmp").empty());
    ASSERT_EQ(server.Find(kHost, 110, "news")->messages.size(), 1u);
    EXPECT_EQ(smtp.Delivered().size(), 1u);

    server.refusedDelete = 0;
    ASSERT_TRUE(RunScanSession(custom, timer).ok);
    EXPECT_TRUE(server.Find(kHost, 110, "news")->messages.empty());
    EXPECT_EQ(smtp.Delivered().size(), 2u);  // each message posted exactly once
}

TEST_F(ScanSessionTest, NegativeTopReplyLeavesTheMessageAlone) {
    FlakyPop3 server;
    Services custom{paths, *store, server, smtp, clock, random, observer, storeLock, console};
    AddList("news");
    store->WriteRegString(ListKey("news"), "Pop3Host", kHost);
    store->WriteRegString(ListKey("news"), "Pop3User", "news");
    server.AddMailbox(kHost, 110, "news", "");
    server.Put(kHost, 110, "news", Msg("a@x.org", "one"));
    server.Put(kHost, 110, "news", Msg("b@x.org", "two"));
    server.refused = 2;

    ScanOutcome outcome = RunScanSession(custom, timer);
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(server.log, (std::vector<std::string>{"LOGIN listserver", "LOGIN news", "TOP 2",
                                                    "TOP 1", "RETR 1", "DELE 1", "QUIT"}));
    ASSERT_EQ(server.Find(kHost, 110, "news")->messages.size(), 1u);
    EXPECT_EQ(server.Find(kHost, 110, "news")->messages[0], Msg("b@x.org", "two"));
}

TEST_F(ScanSessionTest, RefusedRetrieveLeavesTheMessageAndWritesNoCopy) {
    AddMailboxList("news");
    pop3.Put(kHost, 110, "news", Msg("a@x.org", "one"));
    pop3.Find(kHost, 110, "news")->refuseRetrieve = true;

    ScanOutcome outcome = Run();
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_FALSE(Has(pop3.log, "DELE 1"));
    EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 1u);
    EXPECT_TRUE(TempFiles("news").empty());
    EXPECT_TRUE(smtp.sent.empty());  // the refusal is not posted

    pop3.Find(kHost, 110, "news")->refuseRetrieve = false;
    ASSERT_TRUE(Run().ok);
    EXPECT_TRUE(pop3.Find(kHost, 110, "news")->messages.empty());
    EXPECT_EQ(smtp.Delivered().size(), 1u);
}

// A mailbox that fails is logged, named in the outcome and shown as a status text, and
// the scan goes on with the other mailboxes.
TEST_F(ScanSessionTest, MailboxFailuresAreReportedAndTheScanGoesOn) {
    const std::string news = "news: mailbox news at pop.example.test:110 - ";
    struct Case {
        const char* name;
        std::function<void(FakePop3&)> arrange;
        std::string failure;
        std::vector<std::string> newsLog;  // pop3.log of the news mailbox
        std::size_t newsLeft;              // messages news still holds afterwards
    };
    const std::vector<Case> cases = {
        {"List Server login",
         [](FakePop3& p) { p.Find(kHost, 110, "listserver")->refuseLogin = true; },
         "List Server: mailbox listserver at pop.example.test:110 - login failed",
         {"LOGIN news", "TOP 3", "RETR 3", "DELE 3", "TOP 2", "RETR 2", "DELE 2", "TOP 1", "RETR 1",
          "DELE 1", "QUIT"},
         0},
        {"list login",
         [](FakePop3& p) { p.Find(kHost, 110, "news")->refuseLogin = true; },
         news + "login failed",
         {"LOGIN news", "QUIT"},
         3},
        // Message 3 was downloaded and its DELE sent, but no QUIT commits it: its copy goes.
        {"connection lost",
         [](FakePop3& p) { p.Find(kHost, 110, "news")->dropAt = "RETR 2"; },
         news + "reading broke off at message 2 (connection lost)",
         {"LOGIN news", "TOP 3", "RETR 3", "DELE 3", "TOP 2", "RETR 2", "QUIT"},
         3},
        // A STAT that lies: ten refusals, then QUIT, instead of 2^31 TOPs.
        {"lying STAT",
         [](FakePop3& p) { p.Find(kHost, 110, "news")->claimedCount = INT32_MAX; },
         news + "reading broke off at message 2147483638 (10 TOP or RETR refusals in a row)",
         {"LOGIN news", "TOP 2147483647", "TOP 2147483646", "TOP 2147483645", "TOP 2147483644",
          "TOP 2147483643", "TOP 2147483642", "TOP 2147483641", "TOP 2147483640", "TOP 2147483639",
          "TOP 2147483638", "QUIT"},
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileIfExists(paths.LogFile());
        console.lists.clear();
        pop3.log.clear();
        observer.statusTexts.clear();
        ListServerBox();
        AddMailboxList("news");
        AddMailboxList("sports");
        for (const char* subject : {"a", "b", "c"}) {
            pop3.Put(kHost, 110, "news", Msg("author@x.org", subject));
        }
        pop3.Put(kHost, 110, "sports", Msg("author@x.org", "goal"));
        c.arrange(pop3);

        ScanOutcome outcome = Run();
        ASSERT_TRUE(outcome.ok) << outcome.error;
        EXPECT_EQ(outcome.mailboxFailures, (std::vector<std::string>{c.failure}));
        EXPECT_TRUE(Has(LogLines(), Stamp(services) + c.failure));
        ASSERT_GE(observer.statusTexts.size(), 2u);
        EXPECT_EQ(observer.statusTexts.back(), c.failure);
        EXPECT_EQ(observer.statusTexts[observer.statusTexts.size() - 2], "");
        auto first = std::find(pop3.log.begin(), pop3.log.end(), "LOGIN news");
        auto last = std::find(pop3.log.begin(), pop3.log.end(), "LOGIN sports");
        EXPECT_EQ(std::vector<std::string>(first, last), c.newsLog);
        EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), c.newsLeft);
        EXPECT_TRUE(TempFiles("news").empty());
        // sports was read and posted all the same; news's messages only when it was read.
        EXPECT_TRUE(pop3.Find(kHost, 110, "sports")->messages.empty());
        EXPECT_EQ(smtp.Delivered().size(), 1 + (3 - c.newsLeft));
        EXPECT_EQ(outcome.counts.messagesRead, static_cast<int>(1 + (3 - c.newsLeft)));
        smtp.sent.clear();
    }
}

TEST_F(ScanSessionTest, OversizedMessageStaysOnTheServerAndIsLoggedOncePerSession) {
    ListServerBox();
    AddMailboxList("news");
    const std::string big = Msg("author@x.org", "big", std::string(500, 'x'));
    pop3.Put(kHost, 110, "news", big);
    pop3.Put(kHost, 110, "news", Msg("author@x.org", "small"));
    console.globals.MaxMessageSize = 400;
    const std::string logged = Stamp(services) + "news: message 1 of " +
                               std::to_string(big.size()) +
                               " bytes is over MaxMessageSize - left on the server";

    for (int session = 1; session <= 2; ++session) {
        SCOPED_TRACE(session);
        ScanOutcome outcome = Run();
        ASSERT_TRUE(outcome.ok) << outcome.error;
        EXPECT_TRUE(outcome.mailboxFailures.empty());
        const Lines log = LogLines();
        EXPECT_EQ(std::count(log.begin(), log.end(), logged), session);
        ASSERT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 1u);
        EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages[0], big);
    }
    EXPECT_EQ(smtp.Delivered().size(), 1u);  // the small one

    console.globals.MaxMessageSize = 0;  // no limit
    ASSERT_TRUE(Run().ok);
    EXPECT_TRUE(pop3.Find(kHost, 110, "news")->messages.empty());
    EXPECT_EQ(smtp.Delivered().size(), 2u);
}

TEST_F(ScanSessionTest, ADownloadKilledHalfWayIsNotPostedAndTheMessageComesWhole) {
    AddMailboxList("news");
    // 200,000 octets in lines a server takes as they are.
    std::string body;
    for (int i = 0; i < 2000; ++i) {
        body += std::string(98, 'b') + "\r\n";
    }
    body.resize(body.size() - 2);
    pop3.Put(kHost, 110, "news", Msg("author@x.org", "big", body));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A process of its own that may write at most 64 KiB into a file: the write of the
        // downloaded message kills it there (SIGXFSZ), as a kill -9 would.
        auto childStore = SettingsStore::Open(paths.SettingsDatabase());
        StoreLock childLock(paths.StoreLockFile());
        Services childServices{paths,  *childStore, pop3,      smtp,   clock,
                               random, observer,    childLock, console};
        const rlimit noCore{0, 0};
        const rlimit small{65536, 65536};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &small);
        RecordingTimer childTimer;
        RunScanSession(childServices, childTimer);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    // What the kill left is no ".tmp" file, so nothing cut can be posted.
    const std::vector<std::string> cut = ListFiles(paths.TempFolder("news"), ".part");
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(Slurp(paths.TempFolder("news") + "/" + cut[0]).size(), 65536u);
    EXPECT_TRUE(TempFiles("news").empty());

    // The message is still on the server: the next session takes it whole, once.
    ASSERT_TRUE(Run().ok);
    ASSERT_EQ(smtp.Delivered().size(), 1u);
    EXPECT_NE(LinesToText(smtp.Delivered()[0].message).find(body), std::string::npos);
    EXPECT_TRUE(ListFiles(paths.TempFolder("news"), ".part").empty());
    EXPECT_TRUE(pop3.Find(kHost, 110, "news")->messages.empty());
}

TEST(SplitMessageFileTest, SplitsAtTheFirstEmptyLine) {
    TempDir dir;
    Lines header{"stale"};
    Lines body{"stale"};
    SplitMessageFile(dir.File("missing.tmp"), header, body);
    EXPECT_TRUE(header.empty());
    EXPECT_TRUE(body.empty());

    Spit(dir.File("a.tmp"), "From: a@x.org\r\nSubject: s\r\n\r\nb1\r\n\r\nb3\r\n\r\n");
    SplitMessageFile(dir.File("a.tmp"), header, body);
    EXPECT_EQ(header, (Lines{"From: a@x.org", "Subject: s", ""}));
    EXPECT_EQ(body, (Lines{"b1", "", "b3", ""}));

    Spit(dir.File("b.tmp"), "From: a@x.org\r\nno end of header\r\n");
    SplitMessageFile(dir.File("b.tmp"), header, body);
    EXPECT_EQ(header, (Lines{"From: a@x.org", "no end of header", ""}));
    EXPECT_TRUE(body.empty());
}

}  // namespace
}  // namespace corvanteer::testing
