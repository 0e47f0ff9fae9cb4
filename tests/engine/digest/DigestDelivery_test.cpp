#include "engine/digest/DigestDelivery.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/MessageIds.h"
#include "engine/EngineFixture.h"
#include "engine/digest/DigestStore.h"
#include "engine/digest/Recipients.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(DigestRecipients, EachModeGetsItsOwnShareAndNomailNothing) {
    const Lines roster = {"ann@x.test 0 1", "Bob@x.test 1 2", "cy@x.test 0 3", "dee@x.test 0 4",
                          "eve@x.test 0 5"};
    MemberModes modes;
    modes.Set("bob@x.test", DeliveryMode::Digest);
    modes.Set("cy@x.test", DeliveryMode::PlainDigest);
    modes.Set("dee@x.test", DeliveryMode::NoMail);
    EXPECT_THAT(PostingRecipients(roster, modes, true),
                ElementsAre("ann@x.test 0 1", "eve@x.test 0 5"));
    // Without digests on offer, digest members get each posting; nomail stays nomail.
    EXPECT_THAT(PostingRecipients(roster, modes, false),
                ElementsAre("ann@x.test 0 1", "Bob@x.test 1 2", "cy@x.test 0 3", "eve@x.test 0 5"));
    EXPECT_THAT(PostingRecipients({"ann@x.test", "dee@x.test"}, modes, true),
                ElementsAre("ann@x.test"));
    EXPECT_THAT(DigestRecipients(roster, modes, DeliveryMode::Digest), ElementsAre("Bob@x.test"));
    EXPECT_THAT(DigestRecipients(roster, modes, DeliveryMode::PlainDigest),
                ElementsAre("cy@x.test"));
    EXPECT_TRUE(HasDigestMembers(roster, modes));
    modes.Set("bob@x.test", DeliveryMode::NoMail);
    modes.Set("cy@x.test", DeliveryMode::Each);
    EXPECT_FALSE(HasDigestMembers(roster, modes));
    EXPECT_THAT(PostingRecipients(roster, MemberModes{}, true).size(), 5u);
}

class DigestDeliveryTest : public EngineTest {
protected:
    DigestDeliveryTest() {
        AddList("news");
        store->WriteRegString(ListKey("news"), "ListPostingAddress", "news@example.test");
        SetSection("news", "MemberList",
                   "ann@example.test 0 1\r\nbob@example.test 0 2\r\ncy@example.test 0 3");
        WriteFileAtomic(paths.appDir + "news.modes",
                        "bob@example.test digest\r\ncy@example.test plain-digest\r\n");
        clock.Set(2026, 3, 9, 5, 30, 0);
    }
    static std::string Posting(const std::string& subject) {
        return "To: news@example.test\r\nFrom: Ann <news@example.test>\r\nSubject: " + subject +
               "\r\nDate: Mon, 9 Mar 2026 05:00:00 GMT\r\nMessage-ID: <" + subject +
               "@example.test>\r\n\r\nText of " + subject + "\r\n";
    }
    void Scan() {
        ScanContext context;
        SendDueDigests(context, services);
    }
    int Setting(const char* name) { return store->ReadRegInteger(ListKey("news"), name, -1); }
    std::string Message(size_t i) const { return LinesToText(smtp.sent.at(i).message); }
};

TEST_F(DigestDeliveryTest, AtTheHourEachDigestKindGoesToItsMembersOnceADay) {
    CollectForDigest(services, "news", Posting("first"));
    CollectForDigest(services, "news", Posting("second"));
    Scan();  // 05:30: before DigestHour 6
    EXPECT_THAT(smtp.sent, IsEmpty());

    clock.Set(2026, 3, 9, 6, 0, 0);
    Scan();
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(smtp.sent[0].from, "news@example.test");
    EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("bob@example.test"));
    EXPECT_THAT(smtp.sent[1].sendTo, ElementsAre("cy@example.test"));
    const std::string mime = Message(0);
    const std::string header = WithoutIdTags(mime);
    EXPECT_EQ(header.substr(0, header.find("X-Mailer")),
              "To: news@example.test\r\nFrom: news@example.test\r\nSubject: news Digest, Vol 1, "
              "Issue 1\r\nDate: Mon, 9 Mar 2026 06:00:00 GMT\r\nMessage-ID: "
              "<Corvanteer-0-20260309060000@smtp.example.test>\r\n");
    EXPECT_THAT(mime, HasSubstr("\r\nList-Id: news <news.example.test>\r\n"));
    EXPECT_THAT(mime, HasSubstr("\r\nPrecedence: list\r\nMIME-Version: 1.0\r\n"));
    EXPECT_NE(IdTagOf(mime), IdTagOf(Message(1)));  // two messages, two Message-IDs
    // Both postings, whole, in the MIME digest; the plain one has their text.
    EXPECT_THAT(mime, HasSubstr("Content-Type: message/rfc822\r\n\r\n" + Posting("first")));
    EXPECT_THAT(mime, HasSubstr("Content-Type: message/rfc822\r\n\r\n" + Posting("second")));
    EXPECT_THAT(Message(1), HasSubstr("Text of second\r\n"));
    EXPECT_THAT(Message(1), HasSubstr("End of news Digest, Vol 1, Issue 1\r\n"));
    EXPECT_THAT(LogLines(),
                ElementsAre("Mon,09Mar26 06:00:00 news: digest Vol 1, Issue 1 sent to 1 members "
                            "(2 postings)",
                            "Mon,09Mar26 06:00:00 news: digest Vol 1, Issue 1 sent to 1 members "
                            "(2 postings)"));
    EXPECT_EQ(Setting("DigestIssue"), 1);
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "DigestLastDate", ""), "2026-03-09");
    EXPECT_THAT(DigestStore(paths, "news").Postings(), IsEmpty());

    // Later the same day: a digest went out already; nothing collected: nothing sent.
    CollectForDigest(services, "news", Posting("third"));
    clock.Set(2026, 3, 9, 23, 0, 0);
    Scan();
    EXPECT_EQ(smtp.sent.size(), 2u);
    clock.Set(2026, 3, 10, 6, 0, 0);
    Scan();
    ASSERT_EQ(smtp.sent.size(), 4u);
    EXPECT_THAT(Message(2), HasSubstr("Subject: news Digest, Vol 1, Issue 2\r\n"));
    clock.Set(2026, 3, 11, 6, 0, 0);
    Scan();  // nothing collected: no digest
    EXPECT_EQ(smtp.sent.size(), 4u);
}

TEST_F(DigestDeliveryTest, PassingTheSizeSendsAtOnceAndTheVolumeRisesOn1January) {
    store->WriteRegInteger(ListKey("news"), "DigestMaxKB", 1);
    store->WriteRegString(ListKey("news"), "DigestLastDate", "2025-12-31");
    store->WriteRegInteger(ListKey("news"), "DigestIssue", 365);
    clock.Set(2026, 1, 1, 2, 0, 0);
    CollectForDigest(services, "news", Posting("small"));
    Scan();
    EXPECT_THAT(smtp.sent, IsEmpty());
    CollectForDigest(services, "news", Posting(std::string(1000, 'x')));
    Scan();
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_THAT(Message(0), HasSubstr("Subject: news Digest, Vol 2, Issue 1\r\n"));
    EXPECT_EQ(Setting("DigestVolume"), 2);
    EXPECT_EQ(Setting("DigestIssue"), 1);
}

TEST_F(DigestDeliveryTest, NothingIsCollectedWithoutDigestMembersOrWithDigestsOff) {
    WriteFileAtomic(paths.appDir + "news.modes", "cy@example.test nomail\r\n");
    CollectForDigest(services, "news", Posting("one"));
    WriteFileAtomic(paths.appDir + "news.modes", "cy@example.test digest\r\n");
    store->WriteRegBool(ListKey("news"), "DigestEnabled", false);
    CollectForDigest(services, "news", Posting("two"));
    EXPECT_THAT(DigestStore(paths, "news").Postings(), IsEmpty());

    // Collected, then everyone went back to each posting: the digest has nobody to go to.
    store->WriteRegBool(ListKey("news"), "DigestEnabled", true);
    CollectForDigest(services, "news", Posting("three"));
    std::remove((paths.appDir + "news.modes").c_str());
    clock.Set(2026, 3, 9, 7, 0, 0);
    Scan();
    EXPECT_THAT(smtp.sent, IsEmpty());
    EXPECT_THAT(DigestStore(paths, "news").Postings(), IsEmpty());
    EXPECT_THAT(LogLines(), ElementsAre("Mon,09Mar26 07:00:00 news: digest of 1 postings dropped "
                                        "(no member in a digest mode)"));
}

TEST_F(DigestDeliveryTest, AFailedDigestIsQueuedAndNotSentAgain) {
    smtp.failAll = true;
    CollectForDigest(services, "news", Posting("one"));
    clock.Set(2026, 3, 9, 6, 0, 0);
    Scan();
    EXPECT_EQ(QueueFiles().size(), 2u);
    EXPECT_THAT(DigestStore(paths, "news").Postings(), IsEmpty());
    smtp.sent.clear();
    Scan();
    EXPECT_THAT(smtp.sent, IsEmpty());
}

// A scan killed (as by kill -9) at each step of a digest loses nothing: the next one sends
// what is left, and each posting goes in one digest only.
TEST_F(DigestDeliveryTest, AScanKilledAnywhereLeavesTheDigestForTheNextOne) {
    for (const std::string step : {"collected", "built", "sent digest"}) {
        SCOPED_TRACE(step);
        smtp.sent.clear();
        CollectForDigest(services, "news", Posting("p-" + step));
        clock.Set(2026, 3, 9, 6, 0, 0);
        store->WriteRegString(ListKey("news"), "DigestLastDate", "");
        if (step != "collected") {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                auto childStore = SettingsStore::Open(paths.SettingsDatabase());
                StoreLock childLock(paths.StoreLockFile());
                Services childServices{paths,  *childStore, pop3,      smtp,   clock,
                                       random, observer,    childLock, console};
                ScanContext context;
                SendDueDigests(context, childServices, [&](const std::string& at) {
                    if (at == step) {
                        ::_exit(0);
                    }
                });
                ::_exit(1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        Scan();
        // The kill after the MIME digest went out resends it (same message, same Message-ID)
        // rather than lose it; every other step sends each kind once.
        ASSERT_EQ(smtp.sent.size(), 2u);
        const std::string mime = step == "sent digest" ? "" : Message(0);
        EXPECT_THAT(LinesToText(smtp.sent.back().message), HasSubstr("Text of p-" + step));
        if (!mime.empty()) {
            EXPECT_THAT(mime, HasSubstr(Posting("p-" + step)));
        }
        EXPECT_THAT(DigestStore(paths, "news").Postings(), IsEmpty());
        EXPECT_FALSE(DigestStore(paths, "news").OpenBatch());
    }
}

}  // namespace
}  // namespace corvanteer::testing
