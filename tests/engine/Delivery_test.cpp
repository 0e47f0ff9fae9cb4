// Postings and queue flushes over one SMTP session: reconnection, Bcc parts, refused
// recipients, the sending caps and held messages.

#include "engine/Delivery.h"

#include <algorithm>
#include <cstdio>

#include "EngineFixture.h"
#include "engine/GivenUpMail.h"
#include "engine/ListPosting.h"
#include "engine/PendingQueue.h"
#include "engine/SendingCaps.h"
#include "engine/bounce/BounceState.h"
#include "engine/bounce/MemberDelivery.h"
#include "engine/bounce/MemberToken.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

class DeliveryTest : public EngineTest {
protected:
    DeliveryTest() {
        AddList("news");
        context = ContextFor("news");
        context.Settings.ListPostingAddress = "news@lists.test";
        context.Settings.ListTo = "news@lists.test";
        context.SenderName = "Ann";
        context.SenderAddress = "ann@example.org";
        context.Subject = "Hello";
    }

    static std::string Member(int i) {
        char text[32];
        std::snprintf(text, sizeof text, "m%03d@x.org", i);
        return text;
    }
    void Members(int count) {
        std::string roster;
        for (int i = 1; i <= count; ++i) {
            roster += Member(i) + " 0 1\r\n";
        }
        SetSection("news", "MemberList", roster);
    }
    std::string Log(const std::string& text) const { return "Mon,09Mar26 14:05:00 " + text; }
    std::vector<QueuedMessage> Queued(bool held) const {
        std::vector<QueuedMessage> out;
        for (const std::string& name : QueueFiles()) {
            if (IsHeldQueueFile(name) == held && EndsWith(name, ".dat")) {
                QueuedMessage message;
                EXPECT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + name), message)) << name;
                out.push_back(message);
            }
        }
        return out;
    }
    int ArchiveEntries() const {
        auto text = ReadFileIfExists(paths.ThreadsFolder("news") + "1.txt");
        return text ? static_cast<int>(Count(*text, std::string(40, '#'))) : 0;
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
            ++n;
        }
        return n;
    }

    using Sent = FakeSmtp::Sent;
    ScanContext context;
    const std::string body = "Hi.\r\n";
};

TEST_F(DeliveryTest, IndividualCopiesShareOneConnectionAndReopenWhenTheServerCloses) {
    struct Case {
        int closeAfter;
        int connections;
    };
    for (const Case test : {Case{0, 1}, Case{3, 3}}) {
        SCOPED_TRACE(test.closeAfter);
        smtp = FakeSmtp();
        smtp.closeAfter = test.closeAfter;
        Members(7);
        PostToList(context, services, body, 1);
        ASSERT_EQ(smtp.sent.size(), 7u);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(smtp.sent[i].sendTo, Lines{Member(i + 1)});
            EXPECT_TRUE(smtp.sent[i].accepted);
        }
        EXPECT_EQ(smtp.connections, test.connections);
        EXPECT_EQ(smtp.sent.back().connection, test.connections);
        EXPECT_EQ(smtp.quits, 1);
        EXPECT_FALSE(smtp.SessionOpen());
        EXPECT_TRUE(QueueFiles().empty());
    }
}

TEST_F(DeliveryTest, AServerThatCannotBeReachedGetsNoFurtherTries) {
    Members(3);
    smtp.failure = Fail(MailFailure::Connect, "cannot connect to smtp.example.test:25");
    PostToList(context, services, body, 1);
    EXPECT_EQ(smtp.sent.size(), 1u);  // only the first copy tried to connect
    EXPECT_EQ(Queued(false).size(), 3u);
    EXPECT_EQ(LogLines(),
              (Lines{Log("news: msg to m001@x.org - failed (Ateempt 1)"),
                     Log("news: msg to m002@x.org - failed (Ateempt 1)"),
                     Log("news: msg to m003@x.org - failed (Ateempt 1)"),
                     Log("news: msg from news@lists.test - sent to 0 of 3 members (3 queued).")}));

    // One that takes every connection and closes it with a 421 is given three more, after
    // pauses that grow, and then nothing more is tried.
    std::remove(paths.LogFile().c_str());
    smtp = FakeSmtp();
    smtp.dataReply = [](const Sent&) { return std::string("421 4.3.2 shutting down"); };
    PostToList(context, services, body, 1);
    EXPECT_EQ(smtp.connections, 4);
    EXPECT_EQ(smtp.sent.size(), 4u);
    EXPECT_EQ(clock.Pauses(), (std::vector<int64_t>{2000, 10000, 30000}));
    EXPECT_EQ(Queued(false).size(), 6u);
    EXPECT_EQ(LogLines().back(),
              Log("news: msg from news@lists.test - sent to 0 of 3 members (3 queued)."));
}

TEST_F(DeliveryTest, BccGoesInPartsInRosterOrderAndAFailedPartIsQueuedAlone) {
    Members(250);
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 3u);
    EXPECT_EQ(smtp.sent[0].sendTo.size(), 100u);
    EXPECT_EQ(smtp.sent[1].sendTo.front(), Member(101));
    EXPECT_EQ(smtp.sent[2].sendTo.size(), 50u);
    EXPECT_EQ(smtp.sent[2].sendTo.back(), Member(250));
    EXPECT_EQ(smtp.sent[0].message, smtp.sent[2].message);
    EXPECT_EQ(smtp.connections, 1);
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent succesfully.")}));
    EXPECT_EQ(ArchiveEntries(), 1);

    std::remove(paths.LogFile().c_str());
    smtp = FakeSmtp();
    smtp.accept = [](const Sent& s) { return s.sendTo.front() != Member(101); };
    console.globals.MaxRecipientsPerMessage = 0;  // no limit: one message
    PostToList(context, services, body, 0);
    EXPECT_EQ(smtp.sent.size(), 1u);
    console.globals.MaxRecipientsPerMessage = 100;
    smtp = FakeSmtp();
    smtp.accept = [](const Sent& s) { return s.sendTo.front() != Member(101); };
    PostToList(context, services, body, 0);
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent succesfully."),
                                 Log("news: msg from news@lists.test - failed (Attempt 1)")}));
    const auto queued = Queued(false);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].sendTo.size(), 100u);
    EXPECT_EQ(queued[0].sendTo.front(), Member(101));
    EXPECT_EQ(ArchiveEntries(), 3);
}

TEST_F(DeliveryTest, RefusedBccRecipientsAreLeftOutOrQueuedOnTheirOwn) {
    SetSection("news", "MemberList", "ann@x.org 0 1\r\nbad@x.org 0 1\r\nbusy@x.org 0 1");
    smtp.recipientReply = [](const std::string& address) {
        return address == "bad@x.org"    ? std::string("550 5.1.1 unknown")
               : address == "busy@x.org" ? std::string("450 4.2.1 busy")
                                         : std::string();
    };
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.Delivered().size(), 1u);
    EXPECT_EQ(smtp.Delivered()[0].refused, (Lines{"bad@x.org", "busy@x.org"}));
    EXPECT_EQ(LogLines(),
              (Lines{Log("news: bad@x.org refused by the SMTP server: 550 5.1.1 unknown"),
                     Log("news: msg to busy@x.org - failed (Attempt 1)"),
                     Log("news: msg from news@lists.test - sent succesfully."),
                     // Refused for good: a hard bounce at once; refused for now: none.
                     Log("news: bounce from bad@x.org refused at RCPT (5.1.1) - score 1.0")}));
    const bounce::BounceState state = bounce::ReadBounceState(paths, "news");
    EXPECT_EQ(state.Members().size(), 1u);
    const auto queued = Queued(false);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].sendTo, Lines{"busy@x.org"});
    EXPECT_EQ(queued[0].attempts, 1);

    // Nobody accepted: the message fails whole, as one refused recipient made it before.
    smtp.recipientReply = [](const std::string&) { return std::string("550 5.1.1 unknown"); };
    PostToList(context, services, body, 0);
    EXPECT_EQ(LogLines().back(), Log("news: msg from news@lists.test - failed (Attempt 1)"));
    EXPECT_EQ(Queued(false).size(), 2u);
}

TEST_F(DeliveryTest, DisabledMembersAreLeftOutAndEachCopyCarriesItsMembersToken) {
    SetSection("news", "MemberList", "ann@x.org 0 1\r\nBob@X.org 0 1\r\ncy@x.org 0 1");
    ASSERT_EQ(bounce::DisableDeliveryByHand(services, "news", "bob@x.org"),
              bounce::DeliveryChange::Changed);
    const std::string key = bounce::MemberTokenKey(*store, paths.SettingsKey());
    ASSERT_FALSE(key.empty());
    PostToList(context, services, body, 1);
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(LogLines().back(), Log("news: msg from news@lists.test - sent to 2 of 2 members."));
    for (const auto& sent : smtp.sent) {
        SCOPED_TRACE(sent.sendTo.front());
        // The last header line, the member's own, and never the address itself.
        const auto blank = std::find(sent.message.begin(), sent.message.end(), "");
        ASSERT_NE(blank, sent.message.begin());
        EXPECT_EQ(*(blank - 1),
                  "X-Corvanteer-Member: " + bounce::MemberToken(key, "news", sent.sendTo.front()));
        EXPECT_EQ(sent.text.find("X-Corvanteer-Member: " + sent.sendTo.front()), std::string::npos);
    }

    // Bcc: one message for everybody carries no member's token; off, no copy carries one.
    smtp = FakeSmtp();
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"ann@x.org", "cy@x.org"}));
    context.Settings.BounceProcessing = false;
    PostToList(context, services, body, 1);
    for (const auto& sent : smtp.sent) {
        EXPECT_EQ(sent.text.find("X-Corvanteer-Member"), std::string::npos);
    }
    EXPECT_EQ(smtp.sent.size(), 3u);  // the member disabled by hand stays out
}

TEST_F(DeliveryTest, HourlyCapHoldsTheRestUntilALaterSessionHasRoom) {
    console.globals.MaxRecipientsPerHour = 3;
    Members(5);
    PostToList(context, services, body, 1);
    EXPECT_EQ(smtp.Delivered().size(), 3u);
    const auto held = Queued(true);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].sendTo, Lines{Member(4)});  // oldest first by name
    EXPECT_EQ(held[0].attempts, 0);               // holding uses up no attempt
    EXPECT_EQ(LogLines(),
              (Lines{Log("news: msg from news@lists.test - held (sending cap)"),
                     Log("news: msg from news@lists.test - sent to 3 of 5 members (2 held).")}));
    const int64_t now = UnixSeconds(clock.Now());
    EXPECT_EQ(Slurp(paths.SendingRecordFile()), std::to_string(now) + " 3\r\n");

    // Within the hour nothing goes; an hour later both do, and their attempt is the first.
    QueueRunCounts counts = SendPendingMail(services);
    EXPECT_EQ(counts.held, 2);
    EXPECT_EQ(smtp.Delivered().size(), 3u);
    clock.AdvanceSeconds(3600);
    counts = SendPendingMail(services);
    EXPECT_EQ(counts.sent, 2);
    EXPECT_EQ(smtp.Delivered().back().sendTo, Lines{Member(5)});
    EXPECT_EQ(
        LogLines().back(),
        "Mon,09Mar26 15:05:00 pending msg from news@lists.test: sent successfully (Attempt 1)");
    EXPECT_TRUE(QueueFiles().empty());
}

TEST_F(DeliveryTest, DailyCapMakesBccPartsSmallerThanItself) {
    console.globals.MaxRecipientsPerDay = 2;
    Members(5);
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{Member(1), Member(2)}));
    const auto held = Queued(true);
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[1].sendTo, Lines{Member(5)});
    EXPECT_EQ(ArchiveEntries(), 1);
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - held (sending cap)"),
                                 Log("news: msg from news@lists.test - held (sending cap)")}));
}

TEST_F(DeliveryTest, AServerSayingTheSenderIsOverALimitHoldsWhatRemains) {
    Members(5);
    smtp.dataReply = [this](const Sent&) {
        return smtp.sent.size() >= 2 ? std::string("421 4.7.0 Too many messages, slow down")
                                     : std::string("250 OK");
    };
    PostToList(context, services, body, 1);
    // The third got the 421 on its connection and on three new ones; none after it was tried.
    EXPECT_EQ(smtp.sent.size(), 6u);
    EXPECT_EQ(Queued(false).size(), 0u);
    EXPECT_EQ(Queued(true).size(), 3u);
    EXPECT_EQ(LogLines().back(),
              Log("news: msg from news@lists.test - sent to 2 of 5 members (3 held)."));

    // The next session sends them; a 452 4.5.3 for recipients of a Bcc part holds those.
    smtp = FakeSmtp();
    smtp.recipientReply = [](const std::string& address) {
        return address == Member(5) ? std::string("452 4.5.3 Too many recipients") : std::string();
    };
    QueueRunCounts counts = SendPendingMail(services);
    EXPECT_EQ(counts.sent, 2);
    EXPECT_EQ(counts.held, 1);  // the one to m005 went nowhere
    smtp = FakeSmtp();
    counts = SendPendingMail(services);
    EXPECT_EQ(counts.sent, 1);
    EXPECT_TRUE(Queued(true).empty());
}

TEST_F(DeliveryTest, HeldFilesAreQueueFilesWhoseNamesSortOldestFirst) {
    unsigned sequence = 0;
    const QueuedMessage message{0, "news@lists.test", {"a@x.org"}, "Subject: s\r\n\r\nb\r\n"};
    const Envelope envelope{message.from, message.sendTo, message.message};
    HoldQueuedMessage(services, 0, envelope, sequence);
    clock.AdvanceSeconds(1);
    HoldQueuedMessage(services, 0, envelope, sequence);
    sequence = 0;  // another session in the same second takes the next free number
    HoldQueuedMessage(services, 0, envelope, sequence);
    EXPECT_EQ(QueueFiles(),
              (Lines{"held-20260309140500-000000.dat", "held-20260309140501-000001.dat",
                     "held-20260309140501-000002.dat"}));
    EXPECT_EQ(Slurp(paths.OutFolder() + QueueFiles()[0]), FormatQueueFile(message));
    EXPECT_FALSE(IsHeldQueueFile("A1B2C3D4.dat"));
    EXPECT_TRUE(IsHeldQueueFile("HELD-x.dat"));
}

TEST_F(DeliveryTest, SendingWindowSlidesAndIsSharedThroughTheRecord) {
    SendingCaps first(services, 5, 8);
    EXPECT_TRUE(first.Allows(5));
    EXPECT_TRUE(first.Allows(9));  // larger than a cap: fits only an empty window
    first.Count(2);
    clock.AdvanceSeconds(20);
    first.Count(1);  // same minute: one line
    clock.AdvanceSeconds(30 * 60);
    SendingCaps second(services, 5, 8);  // another process reads what the first counted
    second.Count(2);
    EXPECT_EQ(Slurp(paths.SendingRecordFile()),
              std::to_string(UnixSeconds(clock.Now()) - 1800) + " 3\r\n" +
                  std::to_string(UnixSeconds(clock.Now())) + " 2\r\n");
    struct Step {
        int64_t advance;
        size_t count;
        bool allowed;
    };
    // Used: 3 at 14:05:20, 2 at 14:35:20; caps 5 an hour, 8 a day.
    const Step steps[] = {{0, 1, false}, {29 * 60 + 59, 1, false}, {1, 3, true},
                          {0, 4, false}, {3600, 5, false},  // the day still holds 5 of its 8
                          {0, 3, true},  {86400, 8, true}};
    for (const Step& step : steps) {
        clock.AdvanceSeconds(step.advance);
        EXPECT_EQ(second.Allows(step.count), step.allowed) << step.count << " at +" << step.advance;
    }
    EXPECT_EQ(second.Largest(), 5u);
    EXPECT_FALSE(SendingCaps(services, 0, 0).Active());
    EXPECT_EQ(SendingCaps(services, 0, 7).Largest(), 7u);
}

// An answer: the message as composed, to the sender of the message in hand.
const std::string kAnswer =
    "To: ann@example.org\r\nFrom: listserver@example.test\r\nSubject: List Server "
    "Response\r\n\r\nWelcome.\r\n";

TEST_F(DeliveryTest, SentAnswerGoesToTheSenderAndIsLogged) {
    SendReply(context, services, "listserver@example.test", kAnswer);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, "listserver@example.test");
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"ann@example.org"}));
    EXPECT_EQ(smtp.sent[0].text, kAnswer);
    EXPECT_TRUE(smtp.sent[0].accepted);
    EXPECT_EQ(context.Counts.answersSent, 1);
    EXPECT_EQ(LogLines(), (Lines{"Mon,09Mar26 14:05:00 news: i sent msg to ann@example.org"}));
    EXPECT_TRUE(QueueFiles().empty());
}

TEST_F(DeliveryTest, FailedAnswerIsQueuedThenLogged) {
    smtp.failAll = true;
    SendReply(context, services, "listserver@example.test", kAnswer);
    EXPECT_FALSE(smtp.sent[0].accepted);
    EXPECT_EQ(context.Counts.answersSent, 0);
    EXPECT_EQ(context.Counts.messagesQueued, 1);
    EXPECT_EQ(LogLines(),
              (Lines{"Mon,09Mar26 14:05:00 news: i failed msg to ann@example.org(Attempt 1)"}));
    auto files = QueueFiles();
    ASSERT_EQ(files.size(), 1u);
    QueuedMessage queued;
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + files[0]), queued));
    EXPECT_EQ(queued.attempts, 1);
    EXPECT_EQ(queued.from, "listserver@example.test");
    EXPECT_EQ(queued.sendTo, (Lines{"ann@example.org"}));

    // With a limit of one attempt nothing is queued: the answer is given up, kept apart, and
    // the failure and the giving up are logged with the list's name and the cause.
    console.globals.SmtpMaxAttempts = 1;
    SendReply(context, services, "listserver@example.test", kAnswer);
    EXPECT_EQ(QueueFiles().size(), 1u);
    EXPECT_EQ(context.Counts.messagesQueued, 1);
    EXPECT_EQ(ListGivenUp(paths).size(), 1u);
    ASSERT_EQ(LogLines().size(), 3u);
    EXPECT_EQ(LogLines()[2],
              "Mon,09Mar26 14:05:00 news: msg from listserver@example.test - given up after 1 "
              "attempts: refused: 554 refused");
}

}  // namespace
}  // namespace corvanteer::testing
