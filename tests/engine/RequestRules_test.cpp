#include "engine/RequestRules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RequestFixture.h"
#include "engine/ScanSession.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class RequestRulesTest : public RequestTest {
protected:
    void Apply(ScanContext& context) { ApplyRequestRules(context, services); }
};

TEST_F(RequestRulesTest, ListNamedInOtherCapitalsKeepsTheWrittenNameAndTheHeldFile) {
    AddList("mylist");
    SetSection("mylist", "Subscribe_Verify", "Join {ListName}?");
    ScanContext context = Request("joe@example.org", "Subscribe MyList");
    Apply(context);

    EXPECT_EQ(context.ListName, "MyList");
    EXPECT_EQ(context.ListDataFile, DataFile("mylist"));
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response (authMyList2603091405000)",
                     {"Join MyList?"}));
    EXPECT_THAT(Vericode(), ElementsAre("authMyList2603091405000 joe@example.org"));
    EXPECT_THAT(SectionLines("mylist", "Latest_Actions"),
                ElementsAre("03/09/26 ? joe@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("MyList: ? joe@example.org(subscribe request)",
                                        "MyList: i sent msg to joe@example.org"));
    // No second data file for the other spelling.
    EXPECT_FALSE(FileExists(paths.appDir + "MyList.dat"));
    EXPECT_THAT(ListFiles(paths.appDir, ".dat"), ElementsAre("mylist.dat", "vericode.dat"));
}

TEST_F(RequestRulesTest, RequestsNamingNoListAreNotAnswered) {
    AddList("news");
    for (const char* subject : {"subscribe", "subscribe nosuchlist", "unsubscribe", "help",
                                "help nosuchlist", "Re: (authother2603091405000)"}) {
        ScanContext context = Request("joe@example.org", subject);
        Apply(context);
        EXPECT_TRUE(smtp.sent.empty()) << subject;
    }
    EXPECT_TRUE(LogLines().empty());
    EXPECT_FALSE(FileExists(DataFile("news")));
}

TEST_F(RequestRulesTest, AlreadyMemberFlagIgnoresBanFlagsAndCase) {
    AddList("news");
    SetSection("news", "MemberList", "Joe@Example.org 1 111111");
    SetSection("news", "Already_A_Member", "already");
    ScanContext context = Request("joe@example.org", "SUBSCRIBE news");
    Apply(context);
    EXPECT_TRUE(context.AlreadyMember);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message.back(), "already");
}

TEST_F(RequestRulesTest, RequestsAreIgnoredWhereUsersMayNotSubscribe) {
    AddList("news");
    SetBool("news", "AllowUserSubscribe", false);
    SetSection("news", "MemberList", "joe@example.org 0 111111");
    for (const char* subject : {"subscribe news", "unsubscribe news"}) {
        ScanContext context = Request("joe@example.org", subject);
        Apply(context);
    }
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre("joe@example.org 0 111111"));
    EXPECT_TRUE(Vericode().empty());
}

TEST_F(RequestRulesTest, BlacklistFragmentRefusesLongerDomainsButNotUnsubscribe) {
    AddList("news");
    SetSection("news", "BlackList", "\r\n  Example.COM \r\n");
    SetSection("news", "MemberList", "joe@mail.example.com.au 0 111111");
    SetSection("news", "Unsubscribe_Confirm", "bye");

    ScanContext refused = Request("ann@example.com.au", "subscribe news");
    Apply(refused);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_TRUE(Vericode().empty());
    EXPECT_THAT(SectionLines("news", "Latest_Actions"),
                ElementsAre("03/09/26 x ann@example.com.au(blacklisted)"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: x ann@example.com.au(blacklisted)"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));

    ScanContext leaving = Request("joe@mail.example.com.au", "unsubscribe news");
    Apply(leaving);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message.back(), "bye");
    EXPECT_EQ(Section("news", "MemberList"), "");
}

TEST_F(RequestRulesTest, SubscribeAndVerificationInOneSubjectBothActInThatOrder) {
    AddList("news");
    SetSection("news", "Subscribe_Verify", "verify");
    SetSection("news", "Subscribe_Confirm", "welcome");
    SetVericode("authnews2603081200000 joe@example.org\r\n");
    ScanContext context = Request(
        "joe@example.org", "subscribe news Re: List Server Response (authnews2603081200000)");
    Apply(context);

    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(smtp.sent[0].message.back(), "verify");
    EXPECT_EQ(smtp.sent[1].message.back(), "welcome");
    // The new code of the first rule stays pending; the answered one is used up.
    EXPECT_THAT(Vericode(), ElementsAre("authnews2603091405000 joe@example.org"));
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(StartsWith(roster[0], "joe@example.org 0 "));
}

TEST_F(RequestRulesTest, VerificationTextFindsTheListWhoseCodeItIs) {
    const std::vector<std::string> lists = {"abc", "abcd"};
    EXPECT_EQ(ListOfVerificationText("(authabcd2603091405000)", lists), "abcd");
    EXPECT_EQ(ListOfVerificationText("(authABC2603091405000)", lists), "abc");
    EXPECT_EQ(ListOfVerificationText("(authAbcD2603091405000)", lists), "abcd");
    // Not the form of a code: the first list whose name begins the text.
    EXPECT_EQ(ListOfVerificationText("(authabcd26030914)", lists), "abc");
    EXPECT_EQ(ListOfVerificationText("(authabcd2603091405000) thanks", lists), "abc");
    EXPECT_EQ(ListOfVerificationText("(authab2603091405000)", lists), "");
    EXPECT_EQ(ListOfVerificationText("(auth", lists), "");
}

TEST_F(RequestRulesTest, ReplyForListAbcdIsNotTakenForListAbc) {
    AddList("abc");
    AddList("abcd");
    SetSection("abcd", "Subscribe_Confirm", "welcome to {ListName}");
    SetVericode("authabcd2603091405000 joe@example.org\r\n");
    ScanContext context =
        Request("joe@example.org", "Re: List Server Response (authabcd2603091405000)");
    Apply(context);

    EXPECT_EQ(context.ListName, "abcd");
    EXPECT_FALSE(FileExists(DataFile("abc")));
    ASSERT_EQ(SectionLines("abcd", "MemberList").size(), 1u);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message.back(), "welcome to abcd");
    EXPECT_TRUE(Vericode().empty());
}

TEST_F(RequestRulesTest, VerificationReplyUsesTheSelectorsSpelling) {
    AddList("News");
    SetSection("News", "Verify_Error", "bad code for {ListName}");
    ScanContext context = Request("joe@example.org", "Re: x (authNEWS2603091405000)");
    Apply(context);
    EXPECT_EQ(context.ListName, "News");
    EXPECT_EQ(context.VerificationText, "(authNEWS2603091405000)");
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message.back(), "bad code for News");
    EXPECT_THAT(LogTexts(), ElementsAre("News: i sent msg to joe@example.org",
                                        "News: x joe@example.org(verification fail)"));
}

TEST_F(RequestRulesTest, VerificationMarkerMustBeLowerCase) {
    AddList("news");
    ScanContext context = Request("joe@example.org", "Re: (AUTHnews2603091405000)");
    Apply(context);
    // Not a verification reply (no Verify_Error, nothing recorded): an unknown command, which
    // gets the general help answer.
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message[2], "Subject: List Server Response");
    EXPECT_TRUE(Section("news", "Latest_Actions").empty());
}

TEST_F(RequestRulesTest, HelpWithAListNameIsAnsweredFromTheHelpText) {
    AddList("news");
    SetString("news", "Pop3User", "nb");
    SetSection("news", "Help",
               "Send mail to {ListAddress} to post to {ListName}.\r\n"
               "Write to {ListServerAddress} for {Email}.");
    SetString("news", "ListPostingAddress", "news@example.test");
    ScanContext context = Request("joe@example.org", "HELP NEWS");
    Apply(context);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, kListServer);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response",
                     {"Send mail to news@example.test to post to NEWS.",
                      "Write to listserver@example.test for joe@example.org."},
                     "nb"));
    EXPECT_THAT(LogTexts(), ElementsAre("NEWS: i sent msg to joe@example.org"));

    SetString("news", "HelpSubject", "How to use news");
    smtp.sent.clear();
    ScanContext again = Request("joe@example.org", "help news");
    Apply(again);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message[2], "Subject: How to use news");
}

TEST_F(RequestRulesTest, AScanAnswersTheRequestsOfTheListServerMailbox) {
    AddList("news");
    SetBool("news", "VerifySubscribe", false);
    SetSection("news", "Subscribe_Confirm", "welcome");
    console.globals.ListServerHost = "ls.example.test";
    console.globals.ListServerPort = 110;
    console.globals.ListServerUserID = "ls";
    console.globals.ListServerPassword = "pw";
    pop3.AddMailbox("ls.example.test", 110, "ls", "pw");
    pop3.Put("ls.example.test", 110, "ls",
             "From: Joe <joe@example.org>\r\nSubject: subscribe  news \r\n\r\nplease\r\n");
    pop3.Put("ls.example.test", 110, "ls",
             "From: mod@example.org\r\nSubject: comm\r\n\r\ncomm begin\r\nlist news\r\n"
             "addu ann@example.org\r\ncomm end\r\n");
    // A responder answering an earlier answer quotes its subject: no answer, no subscription.
    pop3.Put("ls.example.test", 110, "ls",
             "From: zed@example.org\r\nSubject: Auto: subscribe news\r\n"
             "Auto-Submitted: auto-replied\r\n\r\nI am away.\r\n");
    pop3.Put("ls.example.test", 110, "ls",
             "From: MAILER-DAEMON@example.org\r\nSubject: subscribe news\r\n\r\nbounce\r\n");
    SetString("news", "Moderators", "mod@example.org");
    RecordingTimer timer;
    ScanOutcome outcome = RunScanSession(services, timer);

    ASSERT_TRUE(outcome.ok) << outcome.error;
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response", {"welcome"}));
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 2u);
    EXPECT_TRUE(StartsWith(roster[0], "ann@example.org 0 "));
    EXPECT_TRUE(StartsWith(roster[1], "joe@example.org 0 "));
    EXPECT_TRUE(pop3.Find("ls.example.test", 110, "ls")->messages.empty());
    EXPECT_THAT(LogTexts(),
                ElementsAre("List Server: automatic msg from mailer-daemon@example.org (From: "
                            "mailer-daemon@example.org) - not answered",
                            "List Server: automatic msg from zed@example.org (Auto-Submitted: "
                            "auto-replied) - not answered",
                            "news: + ann@example.org(added by moderator)",
                            "news: i sent msg to joe@example.org",
                            "news: + joe@example.org(email verified, user added)"));
}

}  // namespace
}  // namespace corvanteer::testing
