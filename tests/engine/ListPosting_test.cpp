#include "engine/ListPosting.h"

#include "EngineFixture.h"
#include "common/MessageIds.h"
#include "engine/PendingQueue.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Version.h"

namespace corvanteer::testing {
namespace {

class ListPostingTest : public EngineTest {
protected:
    ListPostingTest() {
        AddList("news");
        context = ContextFor("news");
        ListSettings& s = context.Settings;
        s.ListPostingAddress = "news@lists.test";
        s.ListTo = "news-members@lists.test";
        s.HideSenderEmail = false;
        s.Pop3User = "news";
        s.BounceProcessing = false;  // the copies' member token line: Delivery_test
        context.SenderName = "Ann Author";
        context.SenderAddress = "ann@example.org";
        context.Subject = "Hello all";
        SetSection("news", "MemberList",
                   "carl@x.org 0 111111\r\nBob@x.org 0 222222\r\nann@example.org 1 333333");
        SetSection("news", "Signature", "-- \r\nThe news list");
        SetSection("news", "ExtraHeaders",
                   "X-List-Id: news\r\nReply-To: evil@x.org\r\nX-Note:value\r\n\r\nX-Archive: no");
        random.Script({1, 2});  // the posting's Message-ID tag
    }

    // The lines of the fixture's posting to one To line (the signature, one entry of two
    // lines ended by a line break, gives three).
    Lines Expected(const std::string& to, const std::string& time = "14:05:00",
                   const std::string& stamp = "140500") const {
        return TextToLines(LinesToText(
            {"To: " + to,
             "From: Ann Author <ann@example.org>",
             "Reply-To: news@lists.test",
             "Subject: Hello all",
             "Message-ID: <Corvanteer-news0-20260309" + stamp + ".000001000002@smtp.example.test>",
             "X-Mailer: " + WindowTitle() + " (www.corvanteer.org)",
             "Date: Mon, 9 Mar 2026 " + time + " GMT",
             "X-List-Id: news",
             "X-Archive: no",
             "List-Id: news <news.lists.test>",
             "List-Post: NO",
             "List-Help: <mailto:listserver@example.test?subject=help%20news>",
             "List-Subscribe: <mailto:listserver@example.test?subject=subscribe%20news>",
             "List-Unsubscribe: <mailto:listserver@example.test?subject=unsubscribe%20news>",
             "Precedence: list",
             "",
             "Hi everybody,",
             "",
             "the meeting is on.",
             "-- \r\nThe news list\r\n"}));
    }
    std::string Log(const std::string& text) const { return "Mon,09Mar26 14:05:00 " + text; }
    bool Archived() const { return FileExists(paths.ThreadsFolder("news") + "threads"); }

    ScanContext context;
    const std::string body = LinesToText({"Hi everybody,", "", "the meeting is on."});
};

TEST_F(ListPostingTest, BccPostingGoesOnceToEveryMemberInRosterOrder) {
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    const auto& sent = smtp.sent[0];
    EXPECT_EQ(sent.from, "news@lists.test");
    EXPECT_EQ(sent.sendTo, (Lines{"ann@example.org", "Bob@x.org", "carl@x.org"}));
    EXPECT_EQ(sent.message, Expected("news-members@lists.test"));
    EXPECT_EQ(observer.statusTexts, (Lines{"Posting via Bcc", "Finished posting."}));
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent succesfully.")}));
    EXPECT_EQ(Slurp(paths.ThreadsFolder("news") + "threads"), "1 Hello all\r\n");
    EXPECT_EQ(context.Counts.postingsSent, 1);
    EXPECT_EQ(context.Roster.size(), 3u);
    EXPECT_TRUE(sent.accepted);
    EXPECT_TRUE(QueueFiles().empty());
}

TEST_F(ListPostingTest, MimeValuesAndHiddenSenderShapeTheHeader) {
    context.MimeVersion = "1.0";
    context.ContentType = "text/plain; charset=utf-8";
    context.HeaderLines = {"From: Ann Author <ann@example.org>", "MIME-Version: 1.0",
                           "Content-Type: text/plain; charset=utf-8", ""};
    context.Settings.HideSenderEmail = true;
    context.Settings.ChangeSenderEmailTo = "  hidden@lists.test  ";
    PostToList(context, services, body, 0);
    const Lines& m = smtp.sent.at(0).message;
    ASSERT_GE(m.size(), 9u);
    EXPECT_EQ(m[1], "From: Ann Author <hidden@lists.test>");
    EXPECT_EQ(m[4], "Content-Type: text/plain; charset=utf-8");
    EXPECT_EQ(m[5], "MIME-Version: 1.0");
    EXPECT_TRUE(StartsWith(m[6], "Message-ID: "));
    EXPECT_TRUE(StartsWith(m[8], "Date: "));
    EXPECT_EQ(m[9], "X-List-Id: news");
}

TEST_F(ListPostingTest, FailedBccPostingIsQueuedWholeAndNotArchived) {
    smtp.failAll = true;
    PostToList(context, services, body, 0);
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - failed (Attempt 1)")}));
    EXPECT_FALSE(Archived());
    EXPECT_EQ(context.Counts.messagesQueued, 1);
    auto files = QueueFiles();
    ASSERT_EQ(files.size(), 1u);
    QueuedMessage queued;
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + files[0]), queued));
    EXPECT_EQ(queued.attempts, 1);
    EXPECT_EQ(queued.sendTo, (Lines{"ann@example.org", "Bob@x.org", "carl@x.org"}));
    // The signature (the section's text, ended by a line break) is lines on disk; the file's
    // final line break reads back as one more empty line.
    Lines expected = Expected("news-members@lists.test");
    expected.push_back("");
    EXPECT_EQ(TextToLines(queued.message), expected);
}

TEST_F(ListPostingTest, BccToAnEmptyRosterIsTheServersCall) {
    SetSection("news", "MemberList", "");
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_TRUE(smtp.sent[0].sendTo.empty());
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - failed (Attempt 1)")}));
    QueuedMessage queued;
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + QueueFiles().at(0)), queued));
    EXPECT_TRUE(queued.sendTo.empty());
    EXPECT_EQ(TextToLines(queued.message).front(), "To: news-members@lists.test");
}

TEST_F(ListPostingTest, IndividualCopiesWithTheSecondMemberFailing) {
    smtp.accept = [](const FakeSmtp::Sent& s) { return s.sendTo != Lines{"Bob@x.org"}; };
    PostToList(context, services, body, 1);
    ASSERT_EQ(smtp.sent.size(), 3u);
    const Lines order{"ann@example.org", "Bob@x.org", "carl@x.org"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(smtp.sent[i].from, "news@lists.test");
        EXPECT_EQ(smtp.sent[i].sendTo, Lines{order[i]});
        EXPECT_EQ(smtp.sent[i].message, Expected(order[i]));
    }
    EXPECT_EQ(smtp.Delivered().size(), 2u);
    EXPECT_EQ(
        observer.statusTexts,
        (Lines{"Posting to ann@example.org 1 333333 (1/3)", "Posting to Bob@x.org 0 222222 (2/3)",
               "Posting to carl@x.org 0 111111 (3/3)", "Finished posting."}));
    EXPECT_EQ(LogLines(),
              (Lines{Log("news: msg to Bob@x.org - failed (Ateempt 1)"),
                     Log("news: msg from news@lists.test - sent to 2 of 3 members (1 queued).")}));
    QueuedMessage queued;
    ASSERT_EQ(QueueFiles().size(), 1u);
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + QueueFiles()[0]), queued));
    EXPECT_EQ(queued.sendTo, (Lines{"Bob@x.org"}));
    EXPECT_EQ(TextToLines(queued.message).front(), "To: Bob@x.org");
    EXPECT_EQ(context.Counts.postingsSent, 2);
    EXPECT_EQ(context.Counts.messagesQueued, 1);
    // The last member's copy is archived.
    EXPECT_TRUE(Archived());
}

// A posting as mail programs send them: the signature joins it where it shows, every copy and
// the queued one carry the same decorated body, the From line has the list's address, and no
// header line carries raw 8-bit text.
TEST_F(ListPostingTest, MimePostingsGoOutDecoratedFromTheListAndAreQueuedSo) {
    context.HeaderLines = {"From: Ann Author <ann@example.org>", "MIME-Version: 1.0",
                           "Content-Type: multipart/alternative; boundary=\"b1\"", ""};
    const Lines alternative{"--b1",  "Content-Type: text/plain", "", "plain",
                            "--b1",  "Content-Type: text/html",  "", "<p>html</p>",
                            "--b1--"};
    context.Settings.HideSenderEmail = true;  // with ChangeSenderEmailTo empty
    context.Subject =
        "Gr\xC3\xBC\xC3\x9F"
        "e";
    smtp.accept = [](const FakeSmtp::Sent& s) { return s.sendTo != Lines{"Bob@x.org"}; };
    PostToList(context, services, LinesToText(alternative), 1);

    ASSERT_EQ(smtp.sent.size(), 3u);
    QueuedMessage queued;
    ASSERT_EQ(QueueFiles().size(), 1u);
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + QueueFiles()[0]), queued));
    EXPECT_TRUE(StartsWith(queued.message, smtp.sent[1].text));  // the decorated copy
    const std::string& first = smtp.sent[0].text;
    const std::string firstBody = first.substr(first.find("\r\n\r\n"));
    for (const FakeSmtp::Sent& copy : smtp.sent) {
        const Lines& m = copy.message;
        EXPECT_EQ(m[1], "From: Ann Author <news@lists.test>");
        EXPECT_EQ(m[3], "Subject: =?iso-8859-1?b?R3L832U=?=");
        EXPECT_TRUE(StartsWith(m[4], "Content-Type: multipart/mixed; boundary=\"=_corvanteer_"));
        EXPECT_EQ(m[5], "MIME-Version: 1.0");
        EXPECT_TRUE(mime::IsSevenBit(copy.text.substr(0, copy.text.find("\r\n\r\n"))));
        // One decoration for the posting: the copies differ in their header alone.
        EXPECT_EQ(copy.text.substr(copy.text.find("\r\n\r\n")), firstBody);
    }
    EXPECT_NE(
        firstBody.find("Content-Type: multipart/alternative; boundary=\"b1\"\r\n\r\n--b1\r\n"),
        std::string::npos);
    EXPECT_NE(
        firstBody.find("Content-Disposition: inline\r\nContent-Transfer-Encoding: 7bit\r\n\r\n"
                       "-- \r\nThe news list\r\n"),
        std::string::npos);
}

TEST_F(ListPostingTest, EachIndividualCopyIsDatedWhenItIsComposed) {
    smtp.accept = [this](const FakeSmtp::Sent&) {
        clock.AdvanceSeconds(1);
        return true;
    };
    PostToList(context, services, body, 1);
    ASSERT_EQ(smtp.sent.size(), 3u);
    EXPECT_EQ(smtp.sent[0].message, Expected("ann@example.org", "14:05:00", "140500"));
    EXPECT_EQ(smtp.sent[1].message, Expected("Bob@x.org", "14:05:01", "140501"));
    EXPECT_EQ(smtp.sent[2].message, Expected("carl@x.org", "14:05:02", "140502"));
}

TEST_F(ListPostingTest, SignatureAndExtraHeadersChangedDuringAPostingReachLaterCopies) {
    smtp.accept = [this](const FakeSmtp::Sent& s) {
        if (s.sendTo == Lines{"ann@example.org"}) {
            SetSection("news", "Signature", "-- \r\nNew signature");
            SetSection("news", "ExtraHeaders", "X-Other: yes");
        }
        return true;
    };
    PostToList(context, services, body, 1);
    ASSERT_EQ(smtp.sent.size(), 3u);
    EXPECT_EQ(smtp.sent[0].message, Expected("ann@example.org"));
    Lines changed = Expected("carl@x.org");
    changed.erase(changed.begin() + 7, changed.begin() + 9);
    changed.insert(changed.begin() + 7, "X-Other: yes");
    changed.resize(changed.size() - 3);
    changed.insert(changed.end(), {"-- ", "New signature", ""});
    EXPECT_EQ(smtp.sent[2].message, changed);
}

TEST_F(ListPostingTest, IndividualPostingToNoMembersSendsAndArchivesNothing) {
    SetSection("news", "MemberList", "");
    PostToList(context, services, body, 1);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_FALSE(Archived());
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent to 0 of 0 members.")}));
    EXPECT_EQ(observer.statusTexts, (Lines{"Finished posting."}));
}

TEST_F(ListPostingTest, OtherMethodsSendNothing) {
    PostToList(context, services, body, 2);
    PostToList(context, services, body, -1);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_TRUE(LogLines().empty());
    EXPECT_FALSE(Archived());
    EXPECT_EQ(observer.statusTexts, (Lines{"Finished posting.", "Finished posting."}));
}

TEST_F(ListPostingTest, EmptySignatureIsOneEmptyLineAndAddressOnlySenderShowsTwice) {
    SetSection("news", "Signature", "");
    SetSection("news", "ExtraHeaders", "");
    context.Settings.ListHeaders = false;
    context.SenderName = "ann@example.org";
    PostToList(context, services, "only line\r\n", 0);
    const Lines& m = smtp.sent.at(0).message;
    EXPECT_EQ(m[1], "From: \"ann@example.org\" <ann@example.org>");
    ASSERT_EQ(m.size(), 10u);
    EXPECT_EQ(m[6].substr(0, 6), "Date: ");
    EXPECT_EQ(m[7], "");
    EXPECT_EQ(m[8], "only line");
    EXPECT_EQ(m[9], "");
}

TEST_F(ListPostingTest, EmptyListToNamesTheListAndEveryPostingHasItsOwnMessageId) {
    context.Settings.ListTo = "  ";
    PostToList(context, services, body, 0);
    random.Script({});
    PostToList(context, services, body, 0);
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(smtp.sent[0].message, Expected("news@lists.test"));
    EXPECT_EQ(smtp.sent[1].message.front(), "To: news@lists.test");
    // Same list, number and second: only the tag tells the two postings apart.
    EXPECT_NE(smtp.sent[0].message[4], smtp.sent[1].message[4]);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message), WithoutIdTags(smtp.sent[1].message));
}

}  // namespace
}  // namespace corvanteer::testing
