// The posting loop's seams: the composer it asks for each message, the recipients decided
// before it, the abort flag, and the hooks after distribution and for refusals for good.
// (What list and manual postings send and log is tested with them.)

#include "engine/PostingDelivery.h"

#include "EngineFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

// Composes "To: <address>" and a body naming the copy; records every call.
class NamingComposer final : public PostingComposer {
public:
    void ComposeBcc(std::string& message) override {
        calls.push_back("bcc");
        message = "To: list@lists.test\r\nSubject: s\r\n\r\nfor all\r\n";
    }
    void ComposeCopy(std::string& message, const std::string& address, std::size_t index) override {
        calls.push_back(std::to_string(index) + " " + address);
        message = "To: " + address + "\r\nSubject: s\r\n\r\ncopy " + std::to_string(index) + "\r\n";
    }
    std::vector<std::string> calls;
};

class PostingDeliveryTest : public EngineTest {
protected:
    PostingDeliveryTest() {
        plan.listName = "news";
        plan.from = "news@lists.test";
        plan.recipients = {"a@x.org", "b@x.org", "c@x.org"};
        hooks.distributed = [this](const std::string& message) { distributed.push_back(message); };
        hooks.refusedForGood = [this](const RecipientRefusal& refusal) {
            refused.push_back(refusal.address + " " + refusal.reply);
        };
    }

    PostingPlan plan;
    PostingHooks hooks;
    NamingComposer composer;
    std::vector<std::string> distributed;
    std::vector<std::string> refused;
};

TEST_F(PostingDeliveryTest, EachCopyIsComposedForItsRecipientAndTheLastOneIsDistributed) {
    plan.method = 1;
    const std::vector<std::string> shown{"a@x.org 0 1", "b@x.org 0 2", "c@x.org 0 3"};
    plan.shown = &shown;
    const PostingOutcome outcome = DeliverPosting(services, plan, composer, hooks);
    EXPECT_EQ(composer.calls, (Lines{"0 a@x.org", "1 b@x.org", "2 c@x.org"}));
    ASSERT_EQ(smtp.sent.size(), 3u);
    EXPECT_EQ(smtp.sent[1].text, "To: b@x.org\r\nSubject: s\r\n\r\ncopy 1\r\n");
    EXPECT_EQ(observer.statusTexts[1], "Posting to b@x.org 0 2 (2/3)");
    EXPECT_EQ(outcome.sent, 3u);
    EXPECT_EQ(outcome.handled, 3u);
    ASSERT_EQ(distributed.size(), 1u);
    EXPECT_EQ(distributed[0], smtp.sent[2].text);
    EXPECT_TRUE(FileExists(paths.ThreadsFolder("news") + "threads"));
}

TEST_F(PostingDeliveryTest, OnlyThePlannedRecipientsGetACopyAndAnAbortStopsTheLoop) {
    plan.method = 1;
    plan.recipients = {"b@x.org"};  // decided before the loop: the others are left out
    DeliverPosting(services, plan, composer, hooks);
    EXPECT_EQ(composer.calls, (Lines{"0 b@x.org"}));
    EXPECT_EQ(observer.statusTexts, (Lines{"Posting to b@x.org (1/1)"}));

    std::atomic<bool> abort{true};
    plan.recipients = {"a@x.org", "c@x.org"};
    plan.abort = &abort;
    const PostingOutcome outcome = DeliverPosting(services, plan, composer, hooks);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.handled, 1u);
    EXPECT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(distributed.size(), 1u);  // an aborted run is not distributed
    EXPECT_EQ(LogLines().back(),
              "Mon,09Mar26 14:05:00 news: msg from news@lists.test - sent to 1 of 2 members.");
}

TEST_F(PostingDeliveryTest, BccRefusalsForGoodReachTheHookAndTheMessageIsDistributedOnce) {
    plan.method = 0;
    smtp.recipientReply = [](const std::string& address) {
        return address == "b@x.org"   ? std::string("550 5.1.1 no such user")
               : address == "c@x.org" ? std::string("451 4.3.0 try later")
                                      : std::string();
    };
    const PostingOutcome outcome = DeliverPosting(services, plan, composer, hooks);
    EXPECT_EQ(composer.calls, (Lines{"bcc"}));
    EXPECT_EQ(refused, (Lines{"b@x.org 550 5.1.1 no such user"}));  // not the one for now
    EXPECT_EQ(outcome.parts, 1u);
    EXPECT_EQ(outcome.queued, 1u);
    EXPECT_EQ(outcome.handled, 3u);
    EXPECT_EQ(distributed, (Lines{"To: list@lists.test\r\nSubject: s\r\n\r\nfor all\r\n"}));
}

}  // namespace
}  // namespace corvanteer::testing
