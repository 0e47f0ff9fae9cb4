// Who receives a list or manual posting by delivery mode, and what the digest keeps of it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/EngineFixture.h"
#include "engine/ListPosting.h"
#include "engine/ManualPosting.h"
#include "engine/digest/DigestStore.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::SizeIs;

class PostingShareTest : public EngineTest {
protected:
    PostingShareTest() {
        AddList("news");
        context = ContextFor("news");
        context.Settings.ListPostingAddress = "news@lists.test";
        context.Settings.ListTo = "news-members@lists.test";
        context.SenderName = "Ann Author";
        context.SenderAddress = "ann@x.org";
        context.Subject = "Hello all";
        SetSection("news", "MemberList",
                   "ann@x.org 0 1\r\nBob@x.org 0 2\r\ncy@x.org 0 3\r\ndee@x.org 0 4");
        Modes("bob@x.org digest\r\ncy@x.org plain-digest\r\ndee@x.org nomail\r\n");
    }
    void Modes(const std::string& text) { WriteFileAtomic(paths.appDir + "news.modes", text); }
    std::vector<std::string> Collected() const { return DigestStore(paths, "news").Postings(); }
    std::string CollectedText(size_t i) const {
        const DigestStore digest(paths, "news");
        return digest.Read(digest.Postings().at(i));
    }
    bool Archived() const { return FileExists(paths.ThreadsFolder("news") + "threads"); }

    ScanContext context;
    const std::string body = "Hi everybody,\r\nthe meeting is on.\r\n";
};

// Each method, delivered or failed: only the "each" member gets a copy, and the digest keeps
// the posting once, in its Bcc form (To the list, no member's address), signed.
TEST_F(PostingShareTest, OnlyEachMembersGetACopyAndTheDigestKeepsTheBccForm) {
    for (const int method : {0, 1}) {
        for (const bool fail : {false, true}) {
            SCOPED_TRACE("method " + std::to_string(method) + (fail ? " failing" : ""));
            smtp.sent.clear();
            smtp.failAll = fail;
            for (const std::string& name : Collected()) {
                std::remove((DigestFolder(paths, "news") + name).c_str());
            }
            PostToList(context, services, body, method);
            ASSERT_THAT(smtp.sent, SizeIs(1));
            EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("ann@x.org"));
            ASSERT_THAT(Collected(), SizeIs(1));
            const std::string kept = CollectedText(0);
            EXPECT_THAT(kept, HasSubstr("To: news-members@lists.test\r\n"));
            EXPECT_THAT(kept, HasSubstr("Subject: Hello all\r\n"));
            EXPECT_THAT(kept, HasSubstr("the meeting is on.\r\n"));
            EXPECT_THAT(kept, Not(HasSubstr("To: ann@x.org")));
        }
    }
}

TEST_F(PostingShareTest, WhenNobodyTakesEachPostingNothingIsSentButItIsArchivedAndKept) {
    Modes("ann@x.org digest\r\nbob@x.org digest\r\ncy@x.org plain-digest\r\ndee@x.org nomail\r\n");
    for (const int method : {0, 1}) {
        PostToList(context, services, body, method);
    }
    EXPECT_THAT(smtp.sent, IsEmpty());
    EXPECT_THAT(QueueFiles(), IsEmpty());
    EXPECT_TRUE(Archived());
    EXPECT_THAT(Collected(), SizeIs(2));

    // Nomail members only: no copy, nothing for a digest, no failed message in the queue.
    std::remove((paths.ThreadsFolder("news") + "threads").c_str());
    Modes("ann@x.org nomail\r\nbob@x.org nomail\r\ncy@x.org nomail\r\ndee@x.org nomail\r\n");
    PostToList(context, services, body, 0);
    EXPECT_THAT(smtp.sent, IsEmpty());
    EXPECT_THAT(QueueFiles(), IsEmpty());
    EXPECT_THAT(Collected(), SizeIs(2));
}

TEST_F(PostingShareTest, WithDigestsOffDigestMembersGetEachPostingAndNomailStillNone) {
    store->WriteRegBool(ListKey("news"), "DigestEnabled", false);
    PostToList(context, services, body, 0);
    ASSERT_THAT(smtp.sent, SizeIs(1));
    EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("ann@x.org", "Bob@x.org", "cy@x.org"));
    EXPECT_THAT(Collected(), IsEmpty());
}

TEST_F(PostingShareTest, ManualPostingLeavesOutDigestAndNomailMembersAndFeedsTheDigest) {
    ManualPosting posting;
    posting.listName = "news";
    posting.postingMethod = 1;
    posting.listTo = "news-members@lists.test";
    posting.listPostingAddress = "news@lists.test";
    posting.members = {"ann@x.org", "Bob@x.org", "cy@x.org", "dee@x.org"};
    posting.from = "Operator <op@lists.test>";
    posting.subject = "Notice";
    posting.messageLines = {"Closed on Monday."};
    std::atomic<bool> abort{false};
    const ManualPostingOutcome outcome = PostManualMessage(services, posting, abort);
    ASSERT_THAT(smtp.sent, SizeIs(1));
    EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("ann@x.org"));
    EXPECT_EQ(outcome.members, 1u);
    EXPECT_EQ(outcome.handled, 1u);
    ASSERT_THAT(Collected(), SizeIs(1));
    EXPECT_THAT(CollectedText(0), HasSubstr("To: news-members@lists.test\r\n"));
    EXPECT_THAT(CollectedText(0), HasSubstr("Closed on Monday."));
}

}  // namespace
}  // namespace corvanteer::testing
