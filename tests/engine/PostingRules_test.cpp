#include "engine/PostingRules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "EngineFixture.h"
#include "engine/Moderation.h"
#include "engine/PendingQueue.h"
#include "engine/RosterCache.h"
#include "engine/ScanSession.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

// The activity log stamp of the fixture's clock (Monday 9 March 2026, 14:05:00, LC_ALL=C).
constexpr const char* kStamp = "Mon,09Mar26 14:05:00 ";

bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return StartsWith(l, prefix); });
}

class PostingRulesTest : public EngineTest {
protected:
    PostingRulesTest() {
        AddList("news");
        Set("ListPostingAddress", "news@example.test");
        Set("ErrorsTo", "errors@example.test");
        Set("Moderators", "Mod@X.org 333333\r\nsecond@x.org");
        WriteSection(DataFile("news"), "MemberList",
                     {"member@x.org 0 111111", "banned@x.org 1 222222", "mod@x.org 0 444444"});
    }

    void Set(const std::string& name, const std::string& value) {
        store->WriteRegString(ListKey("news"), name, value);
    }
    void Set(const std::string& name, int value) {
        store->WriteRegInteger(ListKey("news"), name, value);
    }

    // Prepares the context as the session's processing phase does for one downloaded message.
    void Load(const std::string& from, const std::string& subject,
              const std::string& body = "Hello all\r\n",
              const std::string& header = "X-Header: kept") {
        raw = "From: " + from + "\r\nSubject: " + subject + "\r\n" + header + "\r\n\r\n" + body +
              "\r\n";
        context = ScanContext{};
        context.ListName = "news";
        context.ListKey = ListKey("news");
        context.ListDataFile = DataFile("news");
        context.TempFolder = paths.TempFolder("news");
        context.Settings = LoadListSettings(*store, context.ListKey);
        ForceDirectories(context.TempFolder);
        context.MessageFile = AddBackslash(context.TempFolder) + "MESSAGE1.tmp";
        Spit(context.MessageFile, raw);
        SplitMessageFile(context.MessageFile, context.HeaderLines, context.BodyLines);
        context.FromValue = GetHeaderValue("From", context.HeaderLines);
        context.SenderName = ExtractDisplayName(context.FromValue);
        context.SenderAddress = LowerCase(ExtractEmail(context.FromValue));
        context.Subject = Trim(CollapseSpaces(GetHeaderValue("Subject", context.HeaderLines)));
    }
    void Apply() { ApplyPostingRules(context, services); }

    // Deliveries whose recipients include the address.
    size_t SentTo(const std::string& address) const {
        return static_cast<size_t>(
            std::count_if(smtp.sent.begin(), smtp.sent.end(), [&](const FakeSmtp::Sent& s) {
                return std::find(s.sendTo.begin(), s.sendTo.end(), address) != s.sendTo.end();
            }));
    }
    std::string PostedLine(const std::string& sender, const std::string& subject,
                           int method = 0) const {
        return std::string(kStamp) + "news: i posted msg by " + sender + " (" + subject +
               ") - PostMethod = " + std::to_string(method);
    }
    bool WasPosted() const { return SentTo("member@x.org") > 0; }
    bool ApprovalRequested() const {
        return SentTo("second@x.org") > 0 && SentTo("member@x.org") == 0 &&
               std::any_of(smtp.sent.begin(), smtp.sent.end(), [](const FakeSmtp::Sent& s) {
                   return std::find(s.message.begin(), s.message.end(), kApprovalBegin) !=
                          s.message.end();
               });
    }
    // A moderator's reply quoting an approval request for a posting by author@x.org.
    std::string ApprovalReplyBody() const {
        return std::string("Looks fine.\r\n> ") + kApprovalBegin +
               "\r\n> From: Author <author@x.org>\r\n> Subject: Approved topic\r\n> \r\n"
               "> The approved text\r\n> " +
               kApprovalEnd + "\r\n";
    }

    std::string raw;
    ScanContext context;
};

TEST_F(PostingRulesTest, ModeratorsOnlyListPostsAModeratorsMessage) {
    Load("The Mod <MOD@x.org>", "News of the day");
    Apply();
    EXPECT_TRUE(WasPosted());
    EXPECT_TRUE(Has(LogLines(), PostedLine("mod@x.org", "News of the day")));
}

TEST_F(PostingRulesTest, ModeratorsOnlyListRefusesMembersAndDropsSilently) {
    Load("member@x.org", "Hi");
    Apply();
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_TRUE(LogLines().empty());  // a dropped posting leaves no trace
}

TEST_F(PostingRulesTest, RefusedPostingIsForwardedWholeToErrorsTo) {
    Set("AllowPostBy", 1);
    Set("ForwardErrorMsgs", 1);
    Load("Banned One <banned@x.org>", "Let me in");
    Apply();
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, "news@example.test");
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"errors@example.test"}));
    EXPECT_EQ(smtp.sent[0].message, TextToLines(raw));  // headers included, unchanged
    EXPECT_EQ(
        LogLines(),
        (std::vector<std::string>{std::string(kStamp) +
                                  "news: error msg from banned@x.org - forwarded succesfully."}));
}

TEST_F(PostingRulesTest, ForwardThatFailsIsQueuedAsFirstAttempt) {
    Set("AllowPostBy", 1);
    Set("ForwardErrorMsgs", 1);
    smtp.failAll = true;
    Load("stranger@y.org", "Spam");
    Apply();
    EXPECT_TRUE(Has(LogLines(), std::string(kStamp) +
                                    "news: error msg from stranger@y.org - failed (Attempt 1)"));
    auto queued = ListFiles(paths.OutFolder(), ".dat");
    ASSERT_EQ(queued.size(), 1u);
    QueuedMessage message;
    ASSERT_TRUE(ParseQueueFile(Slurp(paths.OutFolder() + queued[0]), message));
    EXPECT_EQ(message.attempts, 1);
    EXPECT_EQ(message.from, "news@example.test");
    EXPECT_EQ(message.sendTo, (Lines{"errors@example.test"}));
    EXPECT_EQ(context.Counts.messagesQueued, 1);
}

TEST_F(PostingRulesTest, MembersListPostsMembersAndRefusesTheRest) {
    Set("AllowPostBy", 1);
    Load("member@x.org", "A question");
    Apply();
    EXPECT_TRUE(WasPosted());
    EXPECT_TRUE(Has(LogLines(), PostedLine("member@x.org", "A question")));

    for (const char* sender : {"banned@x.org", "stranger@y.org"}) {
        smtp.sent.clear();
        Load(sender, "Hi");
        Apply();
        EXPECT_TRUE(smtp.sent.empty()) << sender;
    }
}

// A posting that went to nobody is never logged as posted.
TEST_F(PostingRulesTest, PostingRefusedEverywhereIsLoggedAsFailed) {
    Set("AllowPostBy", 1);
    for (int method : {0, 1, 2}) {
        SCOPED_TRACE(method);
        Set("PostingMethod", method);
        DeleteFileIfExists(paths.LogFile());
        Load("member@x.org", "A question");
        smtp.failAll = method != 2;
        Apply();
        EXPECT_FALSE(HasPrefix(LogLines(), std::string(kStamp) + "news: i posted msg by"));
        EXPECT_TRUE(Has(LogLines(), std::string(kStamp) +
                                        "news: i failed to post msg by member@x.org (A question) "
                                        "- PostMethod = " +
                                        std::to_string(method)));
    }
}

TEST_F(PostingRulesTest, ModeratedMembersListSendsMembersPostingsForApproval) {
    Set("AllowPostBy", 1);
    Set("ModerateList", 1);
    Load("member@x.org", "Please post");
    Apply();
    EXPECT_TRUE(ApprovalRequested());
    EXPECT_FALSE(HasPrefix(LogLines(), std::string(kStamp) + "news: i posted msg by"));
}

TEST_F(PostingRulesTest, ModeratorsApprovalReplyPostsTheQuotedMessage) {
    for (int allowPostBy : {0, 1}) {
        smtp.sent.clear();
        DeleteFileIfExists(paths.LogFile());
        Set("AllowPostBy", allowPostBy);
        Set("ModerateList", 1);
        Load("mod@x.org", "Re: news requesting approval", ApprovalReplyBody());
        Apply();
        EXPECT_TRUE(WasPosted()) << allowPostBy;
        // The approved posting goes out under its author's name and subject.
        EXPECT_EQ(context.SenderAddress, "author@x.org");
        EXPECT_EQ(context.Subject, "Approved topic");
        EXPECT_FALSE(HasPrefix(LogLines(), std::string(kStamp) + "news: i posted msg by"));
    }
}

TEST_F(PostingRulesTest, AnybodyListPostsOrAsksForApprovalWithoutTests) {
    Set("AllowPostBy", 2);
    Load("stranger@y.org", "Open list");
    Apply();
    EXPECT_TRUE(WasPosted());
    EXPECT_TRUE(Has(LogLines(), PostedLine("stranger@y.org", "Open list")));

    smtp.sent.clear();
    Set("ModerateList", 1);
    // Even a moderator's "requesting approval" is just a posting to approve here.
    Load("mod@x.org", "Re: news requesting approval", ApprovalReplyBody());
    Apply();
    EXPECT_TRUE(ApprovalRequested());
    EXPECT_EQ(context.SenderAddress, "mod@x.org");
}

TEST_F(PostingRulesTest, AllowPostByAboveTwoDoesNothing) {
    Set("AllowPostBy", 3);
    Set("ForwardErrorMsgs", 1);
    Load("mod@x.org", "Anything");
    Apply();
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_TRUE(LogLines().empty());
}

TEST_F(PostingRulesTest, LoopsAndAutomaticMailNeverReachTheMembersOrTheModerators) {
    Set("AllowPostBy", 1);
    console.globals.ListServerAddress = "ls@example.test";
    const struct {
        const char* from;
        const char* subject;
        const char* header;
        bool forward;  // ForwardErrorMsgs
        const char* logged;
    } cases[] = {
        {"member@x.org", "Out of office", "Auto-Submitted: auto-replied", false,
         "automatic msg from member@x.org (Auto-Submitted: auto-replied) - not posted"},
        // A moderator's responder answering an approval request is no approval.
        {"mod@x.org", "Re: news requesting approval", "Precedence: bulk", false,
         "automatic msg from mod@x.org (Precedence: bulk) - not posted"},
        // The list's own mail is deleted, never forwarded: ErrorsTo may lead back here.
        {"news@example.test", "Hello all", "X-Header: kept", true,
         "looping msg from news@example.test (From: list posting address) - not posted"},
        {"ls@example.test", "Welcome", "X-Header: kept", true,
         "looping msg from ls@example.test (From: List Server address) - not posted"},
    };
    // Nothing is sent for any of them. Forwarding, List-Id loops and "Auto-Submitted: no":
    // see the end-to-end scan.
    for (const auto& c : cases) {
        smtp.sent.clear();
        DeleteFileIfExists(paths.LogFile());
        WriteSection(DataFile("news"), "Latest_Actions", {});
        Set("ForwardErrorMsgs", c.forward ? 1 : 0);
        Load(c.from, c.subject, ApprovalReplyBody(), c.header);
        Apply();
        SCOPED_TRACE(c.logged);
        EXPECT_FALSE(WasPosted());
        EXPECT_FALSE(ApprovalRequested());
        EXPECT_EQ(LogLines().at(0), std::string(kStamp) + "news: " + c.logged);
        EXPECT_TRUE(smtp.sent.empty());
        const std::string what = StartsWith(c.logged, "looping") ? "looping msg" : "automatic msg";
        const std::string reason = Before(After(c.logged, "("), ")");
        EXPECT_EQ(ReadSection(DataFile("news"), "Latest_Actions"),
                  "03/09/26 x " + LowerCase(c.from) + "(" + what + ", " + reason + ")\r\n");
    }
}

TEST_F(PostingRulesTest, PasswordIsTakenFromTheSubjectsLastWord) {
    Set("AllowPostBy", 1);
    Set("RequirePassword", 1);
    Set("PostingMethod", 1);
    Load("member@x.org", "Two   words 111111");
    Apply();
    EXPECT_EQ(context.PostingPassword, "111111");
    EXPECT_EQ(context.Subject, "Two words");
    EXPECT_TRUE(WasPosted());
    EXPECT_TRUE(Has(LogLines(), PostedLine("member@x.org", "Two words", 1)));

    smtp.sent.clear();
    Load("member@x.org", "Two words 999999");  // wrong password: refused
    Apply();
    EXPECT_TRUE(smtp.sent.empty());

    Load("member@x.org", "111111");  // the whole subject is the password
    Apply();
    EXPECT_EQ(context.PostingPassword, "111111");
    EXPECT_EQ(context.Subject, "");
    EXPECT_TRUE(WasPosted());
}

TEST_F(PostingRulesTest, ModeratedListKeepsTheWholeSubjectAndTestsNoPassword) {
    Set("AllowPostBy", 1);
    Set("RequirePassword", 1);
    Set("ModerateList", 1);
    Load("member@x.org", "Two words 999999");
    Apply();
    EXPECT_FALSE(context.Settings.RequirePassword);
    EXPECT_EQ(context.PostingPassword, "");
    EXPECT_EQ(context.Subject, "Two words 999999");
    EXPECT_TRUE(ApprovalRequested());
}

TEST_F(PostingRulesTest, ModeratorWithWrongPasswordIsTestedAsMember) {
    Set("AllowPostBy", 1);
    Set("RequirePassword", 1);
    // mod@x.org's member password is 444444, its moderator password 333333.
    Load("mod@x.org", "Topic 444444");
    Apply();
    EXPECT_TRUE(WasPosted());
    EXPECT_TRUE(Has(LogLines(), PostedLine("mod@x.org", "Topic")));

    smtp.sent.clear();
    Set("AllowPostBy", 0);
    Load("mod@x.org", "Topic 444444");
    Apply();
    EXPECT_TRUE(smtp.sent.empty());

    Load("mod@x.org", "Topic 333333");
    Apply();
    EXPECT_TRUE(WasPosted());
}

TEST_F(PostingRulesTest, IsModeratorReadsTheStoreAfreshAndTheFirstLineDecides) {
    Set("Moderators", "  Boss@X.org\t  pw1 \r\nboss@x.org pw2\r\n\r\nother@x.org");
    EXPECT_TRUE(IsModerator(services, "news", "boss@x.org", "pw1", true));
    EXPECT_FALSE(IsModerator(services, "news", "boss@x.org", "pw2", true));
    EXPECT_TRUE(IsModerator(services, "news", "boss@x.org", "wrong", false));
    EXPECT_TRUE(IsModerator(services, "NEWS", "other@x.org", "", true));  // no password stored
    EXPECT_FALSE(IsModerator(services, "news", "nobody@x.org", "", false));
    EXPECT_FALSE(IsModerator(services, "", "boss@x.org", "pw1", true));
    EXPECT_FALSE(IsModerator(services, "news", "", "", false));

    Set("Moderators", "boss@x.org pw3");
    EXPECT_TRUE(IsModerator(services, "news", "boss@x.org", "pw3", true));
    EXPECT_FALSE(IsModerator(services, "absent", "boss@x.org", "pw3", false));
}

TEST_F(PostingRulesTest, IsMemberTakesTheFirstEntryWithBanFlagZero) {
    // Read afresh, and through a session's cache that must notice every change of the file.
    RosterCache sessionCache;
    for (RosterCache* cache : {static_cast<RosterCache*>(nullptr), &sessionCache}) {
        SCOPED_TRACE(cache ? "cached" : "read afresh");
        auto isMember = [&](std::string_view list, std::string_view sender,
                            std::string_view password, bool required) {
            return IsMember(services, list, sender, password, required, cache);
        };
        WriteSection(DataFile("news"), "MemberList",
                     {"Twice@x.org 1 aaaaaa", "twice@x.org 0 bbbbbb", "twice@x.org 0 cccccc",
                      "flag@x.org 2 dddddd", "nopw@x.org 0"});
        EXPECT_TRUE(isMember("news", "twice@x.org", "bbbbbb", true));
        EXPECT_FALSE(isMember("news", "twice@x.org", "cccccc", true));
        EXPECT_FALSE(isMember("news", "twice@x.org", "aaaaaa", true));
        EXPECT_TRUE(isMember("news", "TWICE@x.org", "", false));
        EXPECT_FALSE(isMember("news", "flag@x.org", "", false));  // flag is not "0"
        EXPECT_TRUE(isMember("news", "nopw@x.org", "", true));
        EXPECT_FALSE(isMember("news", "", "", false));
        EXPECT_FALSE(isMember("", "twice@x.org", "", false));
        // A list without a data file or without the section has no members.
        EXPECT_FALSE(isMember("absent", "twice@x.org", "", false));
        // Banned, then back, then gone: the same size each time, written within one tick.
        WriteSection(DataFile("news"), "MemberList", {"nopw@x.org 1"});
        EXPECT_FALSE(isMember("news", "nopw@x.org", "", false));
        WriteSection(DataFile("news"), "MemberList", {"nopw@x.org 0"});
        EXPECT_TRUE(isMember("news", "nopw@x.org", "", false));
        DeleteFileIfExists(DataFile("news"));
        EXPECT_FALSE(isMember("news", "twice@x.org", "", false));
        WriteSection(DataFile("news"), "Signature", {"-- "});
        EXPECT_FALSE(isMember("news", "twice@x.org", "", false));
    }
}

TEST_F(PostingRulesTest, IsMemberFindsTheRosterOfTheListAsTheSetSpellsIt) {
    // A request may write the list name in another case; the roster is still news.dat.
    EXPECT_TRUE(IsMember(services, "NEWS", "member@x.org", "", false));
}

TEST_F(PostingRulesTest, IsBlacklistedMatchesAnyPartOfTheAddress) {
    WriteSection(DataFile("news"), "BlackList", {"  SPAM.example ", "", "bad@x.org"});
    EXPECT_TRUE(IsBlacklisted("joe@spam.example", DataFile("news")));
    EXPECT_TRUE(IsBlacklisted("joe@mail.spam.example.com", DataFile("news")));
    EXPECT_TRUE(IsBlacklisted("BAD@X.ORG", DataFile("news")));
    EXPECT_FALSE(IsBlacklisted("good@x.org", DataFile("news")));
    EXPECT_FALSE(IsBlacklisted("good@x.org", DataFile("absent")));
}

}  // namespace
}  // namespace corvanteer::testing
