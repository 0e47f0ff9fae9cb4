#include "engine/ManualPosting.h"

#include <gmock/gmock.h>

#include <algorithm>

#include "AppFixture.h"
#include "engine/OutgoingHeaders.h"
#include "engine/bounce/BounceState.h"
#include "engine/bounce/MemberToken.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class ManualPostingTest : public AppTest {
protected:
    ManualPostingTest() {
        posting.listName = "news";
        posting.postingMethod = 0;
        posting.listTo = "all-members@example.test";
        posting.hideSenderEmail = true;
        posting.changeSenderEmailTo = "  list-sender@example.test ";
        posting.listPostingAddress = "news@example.test";
        posting.pop3Host = "pop.example.test";
        posting.extraHeaders = {"X-List: news", "To: forged@example.test", "no colon here",
                                "Precedence: list"};
        posting.signature = "-- \r\nThe news list";
        posting.members = {"amy@example.test", "bob@example.test", "carl@example.test"};
        posting.from = "  Ann Smith <ann@example.test> ";
        posting.subject = "Hello all";
        posting.messageLines = {"First line", "", "Last line"};
    }

    bool Archived() const { return FileExists(paths.ThreadsFolder("news") + "threads"); }
    size_t Queued() const { return ListFiles(paths.OutFolder(), ".dat").size(); }

    ManualPosting posting;
    std::atomic<bool> abort{false};
};

TEST_F(ManualPostingTest, WithBounceHandlingCopiesCarryTheMemberTokenAndRefusalsCount) {
    MakeList("news");
    SetSection("news", "MemberList",
               {"amy@example.test 0 1", "bob@example.test 0 1", "carl@example.test 0 1"});
    posting.memberTokenKey = std::string(64, 'a');
    posting.postingMethod = 1;
    PostManualMessage(services, posting, abort);
    ASSERT_EQ(smtp.sent.size(), 3u);
    for (const FakeSmtp::Sent& sent : smtp.sent) {
        const auto blank = std::find(sent.message.begin(), sent.message.end(), "");
        ASSERT_NE(blank, sent.message.begin());
        EXPECT_EQ(*(blank - 1),
                  "X-Corvanteer-Member: " +
                      bounce::MemberToken(posting.memberTokenKey, "news", sent.sendTo.front()));
    }

    // Bcc: one message without a token; a member refused for good is charged at once.
    smtp = FakeSmtp();
    smtp.recipientReply = [](const std::string& address) {
        return address == "bob@example.test" ? std::string("550 5.1.1 unknown") : std::string();
    };
    posting.postingMethod = 0;
    PostManualMessage(services, posting, abort);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].text.find("X-Corvanteer-Member"), std::string::npos);
    EXPECT_EQ(LogLines().back(),
              std::string(kStamp) +
                  "news: bounce from bob@example.test refused at RCPT (5.1.1) - score 1.0");
    ASSERT_NE(bounce::ReadBounceState(paths, "news").Find("bob@example.test"), nullptr);
}

TEST_F(ManualPostingTest, BccSendsOneComposedMessageToAllMembers) {
    store->WriteRegString(paths.SettingsKey(), "ListServerAddress", "ls@example.test");
    random.Script({1, 2});  // the run's Message-ID tag
    ManualPostingOutcome outcome = PostManualMessage(services, posting, abort);
    ASSERT_EQ(smtp.sent.size(), 1u);
    const FakeSmtp::Sent& sent = smtp.sent[0];
    EXPECT_EQ(sent.from, "news@example.test");
    EXPECT_EQ(sent.sendTo, posting.members);
    EXPECT_EQ(sent.host, "smtp.example.test");
    EXPECT_EQ(sent.port, 2525);
    // Compared as text: the signature is one entry of two lines.
    EXPECT_EQ(
        sent.text,
        LinesToText({"To: all-members@example.test", "From: Ann Smith <list-sender@example.test>",
                     "Reply-To: news@example.test", "Subject: Hello all",
                     "Date: Mon, 9 Mar 2026 14:05:00 GMT",
                     "Message-ID: <Corvanteer-pop.example.test-20260309140500.000001000002"
                     "@smtp.example.test>",
                     "X-Mailer: " + MailerName(), "X-List: news", "Precedence: list",
                     // The list headers follow, but for the Precedence the operator set.
                     "List-Id: news <news.example.test>", "List-Post: NO",
                     "List-Help: <mailto:ls@example.test?subject=help%20news>",
                     "List-Subscribe: <mailto:ls@example.test?subject=subscribe%20news>",
                     "List-Unsubscribe: <mailto:ls@example.test?subject=unsubscribe%20news>", "",
                     "First line", "", "Last line", "-- \r\nThe news list"}));
    EXPECT_EQ(outcome.members, 3u);
    EXPECT_EQ(outcome.handled, 3u);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_TRUE(Archived());
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) +
                                        "news: msg from news@example.test - sent succesfully."));
    EXPECT_THAT(observer.statusTexts, ElementsAre("Posting via Bcc", "Finished posting"));
}

TEST_F(ManualPostingTest, FromFieldIsKeptTrimmedWhenTheSenderIsNotHidden) {
    const ManualPostingStamp stamp{clock.Now(), "smtp.example.test", "", ".tag"};
    posting.hideSenderEmail = false;
    Lines message =
        TextToLines(ComposeManualPosting(posting, "x@example.test", std::nullopt, stamp));
    EXPECT_EQ(message[1], "From: Ann Smith <ann@example.test>");
    posting.from = " plain@example.test ";
    message = TextToLines(ComposeManualPosting(posting, "x@example.test", std::nullopt, stamp));
    EXPECT_EQ(message[1], "From: plain@example.test");
}

// Text as the window gives it (UTF-8) goes out labelled and 7-bit, the From line has the
// list's address when no replacement is set, and the signature follows the text.
TEST_F(ManualPostingTest, NonAsciiTextIsLabelledAndTheFromHasTheListsAddress) {
    const ManualPostingStamp stamp{clock.Now(), "smtp.example.test", "", ".tag"};
    posting.changeSenderEmailTo = "";
    posting.from = "J\xC3\xB6rg <joerg@example.test>";
    posting.messageLines = {
        "Gr\xC3\xBC\xC3\x9F"
        "e"};
    posting.extraHeaders.clear();
    posting.listHeaders = false;
    const Lines message =
        TextToLines(ComposeManualPosting(posting, "x@example.test", std::nullopt, stamp));
    EXPECT_EQ(message[1], "From: =?iso-8859-1?b?SvZyZw==?= <news@example.test>");
    EXPECT_EQ(Lines(message.begin() + 6, message.end()),
              (Lines{"X-Mailer: " + MailerName(), "MIME-Version: 1.0",
                     "Content-Type: text/plain; charset=utf-8",
                     "Content-Transfer-Encoding: quoted-printable", "", "Gr=C3=BC=C3=9Fe", "--=20",
                     "The news list"}));
}

TEST_F(ManualPostingTest, EmptyToNamesTheListAndListHeadersCanBeSwitchedOff) {
    posting.allowPostBy = 1;
    posting.extraHeaders.clear();
    const ManualPostingStamp stamp{clock.Now(), "smtp.example.test", "", ".tag"};
    Lines message = TextToLines(ComposeManualPosting(posting, " ", std::nullopt, stamp));
    EXPECT_EQ(message[0], "To: news@example.test");
    EXPECT_EQ(Lines(message.begin() + 7, message.begin() + 11),
              (Lines{"List-Id: news <news.example.test>", "List-Post: <mailto:news@example.test>",
                     "Precedence: list", ""}));
    posting.listHeaders = false;
    message = TextToLines(ComposeManualPosting(posting, "x@example.test", std::nullopt, stamp));
    EXPECT_EQ(message[7], "");

    // Two runs of one second: each has its own Message-ID.
    PostManualMessage(services, posting, abort);
    PostManualMessage(services, posting, abort);
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_NE(smtp.sent[0].message[5], smtp.sent[1].message[5]);
}

TEST_F(ManualPostingTest, FailedBccIsQueuedAndNotArchived) {
    smtp.failAll = true;
    ManualPostingOutcome outcome = PostManualMessage(services, posting, abort);
    EXPECT_EQ(outcome.queued, 1u);
    EXPECT_EQ(Queued(), 1u);
    EXPECT_FALSE(Archived());
    EXPECT_THAT(LogLines(), ElementsAre(std::string(kStamp) +
                                        "news: msg from news@example.test - failed (Attempt 1)"));
}

TEST_F(ManualPostingTest, IndividualCopiesCarryTheMemberIndexInTheirMessageId) {
    posting.postingMethod = 1;
    random.Script({1, 2});
    smtp.accept = [](const FakeSmtp::Sent& sent) { return sent.sendTo[0] != "bob@example.test"; };
    ManualPostingOutcome outcome = PostManualMessage(services, posting, abort);
    ASSERT_EQ(smtp.sent.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(smtp.sent[i].message[0], "To: " + posting.members[i]);
        EXPECT_EQ(smtp.sent[i].sendTo, Lines{posting.members[i]});
        // All three within the same second, yet every Message-ID differs.
        EXPECT_EQ(smtp.sent[i].message[5],
                  "Message-ID: <Corvanteer-pop.example.test-"
                  "20260309140500" +
                      std::to_string(i) + ".000001000002@smtp.example.test>");
    }
    EXPECT_EQ(outcome.handled, 3u);
    EXPECT_EQ(outcome.queued, 1u);
    EXPECT_TRUE(Archived());
    EXPECT_THAT(
        LogLines(),
        ElementsAre(std::string(kStamp) + "news: msg to bob@example.test - failed (Attempt 1)",
                    std::string(kStamp) +
                        "news: msg from news@example.test - sent to 2 of 3 members (1 queued)."));
    EXPECT_THAT(
        observer.statusTexts,
        ElementsAre("Posting to amy@example.test (1/3)", "Posting to bob@example.test (2/3)",
                    "Posting to carl@example.test (3/3)", "Finished posting"));
}

TEST_F(ManualPostingTest, AbortDuringTheSecondOfThreeStopsAfterIt) {
    posting.postingMethod = 1;
    abort = true;  // left over from an earlier run: cleared at the start
    smtp.accept = [this](const FakeSmtp::Sent& sent) {
        if (sent.sendTo[0] == "bob@example.test") {
            abort = true;  // the operator presses Abort while the second copy is sent
        }
        return true;
    };
    ManualPostingOutcome outcome = PostManualMessage(services, posting, abort);
    EXPECT_EQ(smtp.sent.size(), 2u);
    EXPECT_TRUE(outcome.aborted);
    EXPECT_EQ(outcome.handled, 2u);
    EXPECT_FALSE(Archived());
    EXPECT_FALSE(abort.load());
    EXPECT_THAT(LogLines(),
                ElementsAre(std::string(kStamp) +
                            "news: msg from news@example.test - sent to 2 of 3 members."));
    EXPECT_EQ(observer.statusTexts.back(), "Finished posting");
}

TEST_F(ManualPostingTest, NoMembersSendsAndArchivesNothing) {
    posting.members.clear();
    posting.postingMethod = 1;
    PostManualMessage(services, posting, abort);
    posting.postingMethod = 0;
    PostManualMessage(services, posting, abort);
    posting.postingMethod = 7;
    PostManualMessage(services, posting, abort);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_FALSE(Archived());
    EXPECT_EQ(Queued(), 0u);
    EXPECT_THAT(LogLines(),
                ElementsAre(std::string(kStamp) +
                            "news: msg from news@example.test - sent to 0 of 0 members."));
}

}  // namespace
}  // namespace corvanteer::testing
