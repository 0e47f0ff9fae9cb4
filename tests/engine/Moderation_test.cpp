#include "engine/Moderation.h"

#include <algorithm>

#include "EngineFixture.h"
#include "common/MessageIds.h"
#include "support/Files.h"
#include "support/Version.h"

namespace corvanteer::testing {
namespace {

const std::string kBegin = "--Corvanteer message boundary ########## begin";
const std::string kEnd = "--Corvanteer message boundary ########## end";

class ModerationTest : public EngineTest {
protected:
    ModerationTest() {
        AddList("news");
        context = ContextFor("news");
        ListSettings& s = context.Settings;
        s.ListPostingAddress = "news@lists.test";
        s.ListTo = "news-members@lists.test";
        s.HideSenderEmail = false;
        s.Pop3User = "news";
        s.PostingMethod = 0;
        s.Moderators = "mod1@x.org secret\r\n\r\nMod Two <Mod2@Y.org>";
        context.FromValue = "Ann Author <ann@example.org>";
        context.SenderName = "Ann Author";
        context.SenderAddress = "ann@example.org";
        context.Subject = "Hello all";
        context.HeaderLines = {"From: Ann Author <ann@example.org>", "To: news@lists.test",
                               "Subject: Hello all", "Content-Type: text/plain", ""};
        context.BodyLines = {"Hi everybody,", "", "the meeting is on."};
        SetSection("news", "MemberList", "bob@x.org 0 1\r\ncarl@x.org 0 2");
        SetSection("news", "Signature", "sig");
    }

    std::string Log(const std::string& text) const { return "Mon,09Mar26 14:05:00 " + text; }

    // A moderator's reply to the approval request: the moderator's own lines, then the
    // request's text quoted line by line with the prefix (empty lines quoted as emptyQuote).
    Lines Reply(const Lines& request, const std::string& prefix, const std::string& emptyQuote) {
        Lines reply{"Approved, see below.", "", "On Monday news@lists.test wrote:"};
        for (const auto& entry : request) {
            for (const auto& line : TextToLines(entry + "\r\n")) {
                reply.push_back(line.empty() ? emptyQuote : prefix + line);
            }
        }
        return reply;
    }
    // The approval request the fixture's posting produces.
    Lines Request() {
        RequestApproval(context, services);
        Lines request = smtp.sent.at(0).message;
        smtp.sent.clear();
        DeleteFileIfExists(paths.LogFile());
        return Lines(request.begin() + 8, request.end());  // its body
    }
    // Turns the context into a moderator's message whose body is the reply.
    void FromModerator(Lines body) {
        context.SenderAddress = "mod1@x.org";
        context.SenderName = "Mod One";
        context.Subject = "Re: news requesting approval";
        context.MimeVersion = "";
        context.ContentType = "text/html";
        context.BodyLines = std::move(body);
    }

    ScanContext context;
};

TEST_F(ModerationTest, ApprovalRequestLayout) {
    RequestApproval(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, "news@lists.test");
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"mod1@x.org", "Mod2@Y.org"}));
    // Compared as text: the instructions are one entry of two lines.
    EXPECT_EQ(LinesToText(WithoutIdTags(smtp.sent[0].message)),
              LinesToText(Lines{
                  "From: news@lists.test",
                  "To: mod1@x.org,Mod2@Y.org",
                  "Subject: news requesting approval",
                  "Date: Mon, 9 Mar 2026 14:05:00 GMT",
                  "X-Mailer: " + WindowTitle() + " (www.corvanteer.org)",
                  "Message-ID: <Corvanteer-news0-20260309140500@smtp.example.test>",
                  "Auto-Submitted: auto-replied",
                  "",
                  "Please hit reply and then make your changes to the message body\r\nbetween "
                  "the boundaries before sending it.",
                  "",
                  kBegin,
                  "From: Ann Author <ann@example.org>",
                  "To: news@lists.test",
                  "Subject: Hello all",
                  "Content-Type: text/plain",
                  "",
                  "Hi everybody,",
                  "",
                  "the meeting is on.",
                  kEnd}));
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from ann@example.org - forwarded succesfully.")}));
    EXPECT_FALSE(FileExists(paths.ThreadsFolder("news") + "threads"));
}

TEST_F(ModerationTest, ApprovalRequestWithoutModeratorsIsQueued) {
    context.Settings.Moderators = "\r\n   \r\n";
    RequestApproval(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_TRUE(smtp.sent[0].sendTo.empty());
    EXPECT_EQ(smtp.sent[0].message[1], "To: ");
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from ann@example.org - failed (Attempt 1)")}));
    EXPECT_EQ(QueueFiles().size(), 1u);
    EXPECT_EQ(context.Counts.messagesQueued, 1);
}

TEST_F(ModerationTest, QuotedReplyIsPostedUnderTheAuthorsNameAndSubject) {
    Lines reply = Reply(Request(), "> ", "> ");
    // The moderator edits a line and adds one of his own without the prefix.
    for (auto& line : reply) {
        if (line == "> the meeting is on.") {
            line = "> the meeting is on, at noon.";
        }
    }
    auto end = std::find(reply.begin(), reply.end(), "> " + kEnd);
    reply.insert(end, "Added by the moderator");
    reply.push_back("");
    reply.push_back("-- ");
    reply.push_back("Mod One");
    FromModerator(reply);

    ASSERT_TRUE(HandleApprovalReply(context, services));
    ASSERT_EQ(smtp.sent.size(), 1u);
    const Lines& m = smtp.sent[0].message;
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"bob@x.org", "carl@x.org"}));
    ASSERT_EQ(m.size(), 21u);  // the signature's own line break ends one more, empty, line
    EXPECT_EQ(m[1], "From: Ann Author <ann@example.org>");
    EXPECT_EQ(m[3], "Subject: Hello all");
    EXPECT_EQ(m[4], "Content-Type: text/plain");
    EXPECT_TRUE(StartsWith(m[5], "Message-ID: "));
    // An approved posting carries the list headers like any other.
    EXPECT_EQ(
        Lines(m.begin() + 8, m.begin() + 14),
        (Lines{"List-Id: news <news.lists.test>", "List-Post: NO",
               "List-Help: <mailto:listserver@example.test?subject=help%20news>",
               "List-Subscribe: <mailto:listserver@example.test?subject=subscribe%20news>",
               "List-Unsubscribe: <mailto:listserver@example.test?subject=unsubscribe%20news>",
               "Precedence: list"}));
    EXPECT_EQ(LinesToText(Lines(m.begin() + 14, m.end())),
              LinesToText(Lines{"", "Hi everybody,", "", "the meeting is on, at noon.",
                                "Added by the moderator", "sig\r\n"}));
    EXPECT_EQ(context.SenderAddress, "ann@example.org");
    EXPECT_EQ(context.SenderName, "Ann Author");
    EXPECT_EQ(context.Subject, "Hello all");
    EXPECT_EQ(context.MimeVersion, "");
    EXPECT_EQ(context.ContentType, "text/plain");
    // Only the posting's own line: no "posted msg by" line for an approved posting.
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent succesfully.")}));
}

TEST_F(ModerationTest, BareQuoteMarksCountAsEmptyLinesAndEndMarkerMayBeLast) {
    FromModerator(Reply(Request(), "> ", ">"));
    ASSERT_EQ(context.BodyLines.back(), "> " + kEnd);
    context.Settings.PostingMethod = 1;
    ASSERT_TRUE(HandleApprovalReply(context, services));
    ASSERT_EQ(smtp.sent.size(), 2u);
    const Lines& m = smtp.sent[1].message;
    EXPECT_EQ(m[0], "To: carl@x.org");
    EXPECT_EQ(LinesToText(Lines(m.end() - 6, m.end())),
              LinesToText(Lines{"", "Hi everybody,", "", "the meeting is on.", "sig\r\n"}));
    EXPECT_EQ(LogLines(), (Lines{Log("news: msg from news@lists.test - sent to 2 of 2 members.")}));
}

TEST_F(ModerationTest, UnquotedReplyWorksWithAnEmptyPrefix) {
    FromModerator(Reply(Request(), "", ""));
    ASSERT_TRUE(HandleApprovalReply(context, services));
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message[3], "Subject: Hello all");
    EXPECT_TRUE(EndsWith(smtp.sent[0].text, "\r\nsig\r\n\r\n"));
}

TEST_F(ModerationTest, RepliesThatCannotBeUnderstoodAreNotPosted) {
    const Lines request = Request();
    const std::string notUnderstood =
        Log("news: approval reply from mod1@x.org not understood - not posted");

    Lines noEnd = Reply(request, "> ", "> ");
    noEnd.pop_back();
    Lines noBegin = Reply(request, "> ", "> ");
    noBegin.erase(std::find(noBegin.begin(), noBegin.end(), "> " + kBegin));
    // A mail program that quotes empty lines as ">>" (not the prefix) loses the empty line
    // that ends the quoted header.
    Lines noHeaderEnd = Reply(request, "> ", ">>");
    Lines endBeforeBegin{"> " + kEnd, "> Subject: x", "", "> body", "> " + kBegin};

    for (const Lines& body : {noEnd, noBegin, noHeaderEnd, endBeforeBegin}) {
        FromModerator(body);
        EXPECT_FALSE(HandleApprovalReply(context, services));
        // The moderator's own values stay in place.
        EXPECT_EQ(context.SenderAddress, "mod1@x.org");
        EXPECT_EQ(context.Subject, "Re: news requesting approval");
    }
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_EQ(LogLines(), Lines(4, notUnderstood));
}

}  // namespace
}  // namespace corvanteer::testing
