#include "engine/Subscription.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "RequestFixture.h"
#include "engine/RequestRules.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;

class SubscriptionTest : public RequestTest {
protected:
    SubscriptionTest() {
        AddList("news");
        SetString("news", "ListPostingAddress", "news@example.test");
        SetSection("news", "Subscribe_Verify", "Verify {Email} for {ListName}");
        SetSection("news", "Subscribe_Confirm", "Welcome to {ListName}, password {Password}");
        SetSection("news", "Password_Notify", "Your password: {Password}");
        SetSection("news", "Unsubscribe_Confirm", "Bye from {ListAddress}");
        SetSection("news", "Verify_Error", "Code refused{Password}");
        SetSection("news", "Already_A_Member", "Already in {ListName}");
        SetSection("news", "Not_Member", "Not in {ListName}");
    }

    // A request for news from joe, the list selected as the request rules leave it.
    ScanContext JoeRequest(const std::string& subject, bool alreadyMember = false) {
        ScanContext context = Request("joe@example.org", subject);
        SelectList(context, services, "news", "news");
        context.AlreadyMember = alreadyMember;
        return context;
    }

    ScanContext JoeReply(const std::string& code) {
        ScanContext context = JoeRequest("Re: List Server Response (" + code + ")");
        context.FromValue = "Joe Bloggs <Joe@Example.ORG>";
        context.SenderAddress.clear();  // the handler takes it from the From value
        context.VerificationText = "(" + code + ")";
        return context;
    }

    static bool IsNewEntry(const std::string& entry, const std::string& address) {
        return std::regex_match(entry, std::regex(address + " 0 [1-9][0-9]{5}"));
    }
};

TEST_F(SubscriptionTest, VerificationCodeStampReadsYearMonthDayHourMinuteSecond) {
    EXPECT_EQ(MakeVerificationCode("MyList", clock.Now()), "authMyList2603091405000");
    clock.Set(2031, 12, 1, 0, 9, 7);
    std::string code = MakeVerificationCode("abc", clock.Now());
    EXPECT_EQ(code, "authabc3112010009070");
    EXPECT_EQ(code.size(), std::string("abc").size() + 17);
}

TEST_F(SubscriptionTest, VerificationRequestIsComposedAndRecordedExactly) {
    SetString("news", "VerifySubject", "Please confirm");
    SetString("news", "Pop3User", "newsbox");
    ScanContext context = JoeRequest("subscribe news");
    HandleSubscribeRequest(context, services);

    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, kListServer);
    EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("joe@example.org"));
    EXPECT_THAT(WithoutIdTags(smtp.sent[0].message),
                ElementsAre("To: joe@example.org", "From: listserver@example.test",
                            "Subject: Please confirm (authnews2603091405000)",
                            "Message-ID: <Corvanteer-newsbox1-20260309140500@smtp.example.test>",
                            "X-Mailer: " + MailerName(), "Date: Mon, 9 Mar 2026 14:05:00 GMT",
                            "Auto-Submitted: auto-replied", "", "Verify joe@example.org for news"));
    EXPECT_EQ(context.VerificationCode, "authnews2603091405000");
    EXPECT_THAT(Vericode(), ElementsAre("authnews2603091405000 joe@example.org"));
    EXPECT_THAT(SectionLines("news", "Latest_Actions"), ElementsAre("03/09/26 ? joe@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: ? joe@example.org(subscribe request)",
                                        "news: i sent msg to joe@example.org"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));
    EXPECT_EQ(Section("news", "MemberList"), "");
}

TEST_F(SubscriptionTest, AlreadyAMemberIsAnsweredAndNothingRecorded) {
    ScanContext context = JoeRequest("subscribe news", true);
    HandleSubscribeRequest(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response", {"Already in news"}));
    EXPECT_TRUE(Vericode().empty());
    EXPECT_EQ(Section("news", "Latest_Actions"), "");
    EXPECT_THAT(LogTexts(), ElementsAre("news: i sent msg to joe@example.org"));
}

TEST_F(SubscriptionTest, WithoutVerificationTheMemberIsAddedAtOnce) {
    SetBool("news", "VerifySubscribe", false);
    SetString("news", "SubscribeConfirmSubject", "Welcome");
    ScanContext context = JoeRequest("subscribe news");
    HandleSubscribeRequest(context, services);

    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(IsNewEntry(roster[0], "joe@example.org")) << roster[0];
    EXPECT_EQ(roster[0].substr(roster[0].size() - 6), context.GeneratedPassword);
    // RequirePassword is off: "{Password}" reaches the member literally.
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "Welcome", {"Welcome to news, password {Password}"}));
    EXPECT_TRUE(Vericode().empty());
    EXPECT_THAT(SectionLines("news", "Latest_Actions"), ElementsAre("03/09/26 + joe@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: i sent msg to joe@example.org",
                                        "news: + joe@example.org(email verified, user added)"));
}

TEST_F(SubscriptionTest, ReplyWithAPendingCodeAddsTheMemberAndUsesUpOnlyThatCode) {
    SetBool("news", "RequirePassword", true);
    SetInt("news", "AllowPostBy", 1);
    SetString("news", "PasswordNotifySubject", "Your password");
    // Two requests of the same address are pending; either code is accepted.
    SetVericode(
        "authnews2603081200000 joe@example.org\r\n"
        "authnews2603091300000 joe@example.org\r\n"
        "authnews2603091300000 ann@example.org\r\n");
    ScanContext context = JoeReply("authnews2603091300000");
    HandleVerificationReply(context, services);

    EXPECT_EQ(context.SenderAddress, "joe@example.org");
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 1u);
    EXPECT_TRUE(IsNewEntry(roster[0], "joe@example.org")) << roster[0];
    const std::string password = context.GeneratedPassword;
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response",
                     {"Welcome to news, password " + password}));
    EXPECT_EQ(WithoutIdTags(smtp.sent[1].message),
              Answer("joe@example.org", "Your password", {"Your password: " + password}));
    EXPECT_THAT(Vericode(), ElementsAre("authnews2603081200000 joe@example.org",
                                        "authnews2603091300000 ann@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: i sent msg to joe@example.org",
                                        "news: i sent msg to joe@example.org",
                                        "news: + joe@example.org(email verified, user added)"));

    // The other code of a member who is not banned is ignored and stays pending.
    smtp.sent.clear();
    ScanContext again = JoeReply("authnews2603081200000");
    HandleVerificationReply(again, services);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_EQ(Vericode().size(), 2u);
    EXPECT_EQ(SectionLines("news", "MemberList"), roster);
}

TEST_F(SubscriptionTest, PasswordNoticeOnlyWhereMembersPost) {
    SetBool("news", "RequirePassword", true);
    for (int allowPostBy : {0, 2}) {
        SetInt("news", "AllowPostBy", allowPostBy);
        SetVericode("authnews2603091300000 joe@example.org\r\n");
        WriteSection(DataFile("news"), "MemberList", {});
        smtp.sent.clear();
        ScanContext context = JoeReply("authnews2603091300000");
        HandleVerificationReply(context, services);
        ASSERT_EQ(smtp.sent.size(), 1u) << allowPostBy;  // the confirmation alone
        Lines roster = SectionLines("news", "MemberList");
        ASSERT_EQ(roster.size(), 1u);
        EXPECT_EQ(roster[0], "joe@example.org 0 " + context.GeneratedPassword);
    }
}

TEST_F(SubscriptionTest, BannedMemberWithAPendingCodeIsAddedBesideTheBannedEntry) {
    SetSection("news", "MemberList", "joe@example.org 1 111111\r\nzed@example.org 0 222222");
    SetVericode("authnews2603091300000 joe@example.org\r\n");
    ScanContext context = JoeReply("authnews2603091300000");
    HandleVerificationReply(context, services);
    Lines roster = SectionLines("news", "MemberList");
    ASSERT_EQ(roster.size(), 3u);
    EXPECT_TRUE(IsNewEntry(roster[0], "joe@example.org")) << roster[0];
    EXPECT_EQ(roster[1], "joe@example.org 1 111111");
    EXPECT_EQ(roster[2], "zed@example.org 0 222222");
    EXPECT_TRUE(Vericode().empty());
}

TEST_F(SubscriptionTest, CodeNotPendingForThisAddressGetsVerifyErrorAndRecords) {
    SetString("news", "VerifyErrSubject", "Not verified");
    SetVericode("authnews2603091300000 ann@example.org\r\n");
    ScanContext context = JoeReply("authnews2603091300000");
    HandleVerificationReply(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "Not verified", {"Code refused{Password}"}));
    EXPECT_EQ(Section("news", "MemberList"), "");
    EXPECT_THAT(Vericode(), ElementsAre("authnews2603091300000 ann@example.org"));
    EXPECT_THAT(SectionLines("news", "Latest_Actions"), ElementsAre("03/09/26 x joe@example.org"));
    EXPECT_THAT(LogTexts(), ElementsAre("news: i sent msg to joe@example.org",
                                        "news: x joe@example.org(verification fail)"));
    EXPECT_THAT(observer.rosterChanges, ElementsAre("news"));
}

TEST_F(SubscriptionTest, MissingPendingFileCountsAsEmpty) {
    ScanContext context = JoeReply("authnews2603091300000");
    HandleVerificationReply(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response", {"Code refused{Password}"}));
    EXPECT_THAT(SectionLines("news", "Latest_Actions"), ElementsAre("03/09/26 x joe@example.org"));
    EXPECT_FALSE(FileExists(paths.VericodeFile()));
}

TEST_F(SubscriptionTest, WithPasswordsRequiredOtherAnswersNeverShowAPassword) {
    SetBool("news", "RequirePassword", true);
    ScanContext context = JoeReply("authnews2603091300000");
    context.GeneratedPassword = "654321";  // made earlier in the scan for someone else
    HandleVerificationReply(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].message.back(), "Code refused");
}

TEST_F(SubscriptionTest, UnsubscribeRemovesTheAddressesEntryWhateverItsFlag) {
    SetString("news", "UnSubscribeConfirmSubject", "Goodbye");
    SetSection("news", "MemberList", "zed@example.org 0 123456\r\nJoe@example.org 1 111111");
    ScanContext context = JoeRequest("unsubscribe news", true);
    HandleUnsubscribeRequest(context, services);
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre("zed@example.org 0 123456"));
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "Goodbye", {"Bye from news@example.test"}));
    EXPECT_THAT(SectionLines("news", "Latest_Actions"), ElementsAre("03/09/26 - joe@example.org"));
    EXPECT_THAT(LogTexts(),
                ElementsAre("news: i sent msg to joe@example.org",
                            "news: - joe@example.org(user removed, unsubscribe request)"));

    // Of two entries of one address only the first in roster order goes.
    SetSection("news", "MemberList", "joe@example.org 1 111111\r\nJOE@example.org 0 222222");
    ScanContext again = JoeRequest("unsubscribe news", true);
    HandleUnsubscribeRequest(again, services);
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre("joe@example.org 1 111111"));
}

TEST_F(SubscriptionTest, UnsubscribeOfANonMemberIsAnsweredAndNothingRecorded) {
    SetSection("news", "MemberList", "ann@example.org 0 123456");
    ScanContext context = JoeRequest("unsubscribe news", false);
    HandleUnsubscribeRequest(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response", {"Not in news"}));
    EXPECT_THAT(SectionLines("news", "MemberList"), ElementsAre("ann@example.org 0 123456"));
    EXPECT_EQ(Section("news", "Latest_Actions"), "");
}

TEST_F(SubscriptionTest, AnEmptyTemplateGivesHeadersAndTheEmptyLineOnly) {
    SetSection("news", "Not_Member", "");
    ScanContext context = JoeRequest("unsubscribe news", false);
    HandleUnsubscribeRequest(context, services);
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(WithoutIdTags(smtp.sent[0].message),
              Answer("joe@example.org", "List Server Response", {}));
}

// --- expiry ---------------------------------------------------------------------------

TEST_F(SubscriptionTest, ExpiryKeepsACodeVerifyDaysPlusTwoWholeDays) {
    SetInt("news", "VerifyDays", 7);
    const std::string line = "authnews2603012359590 joe@example.org";
    SetVericode(line + "\r\n");
    clock.Set(2026, 3, 10, 23, 59, 59);
    ExpiryCounts counts = ExpirePendingVerifications(services);
    EXPECT_EQ(counts.kept, 1);
    EXPECT_THAT(Vericode(), ElementsAre(line));

    clock.Set(2026, 3, 11, 0, 0, 1);
    counts = ExpirePendingVerifications(services);
    EXPECT_EQ(counts.removed, 1);
    EXPECT_TRUE(Vericode().empty());
    EXPECT_TRUE(FileExists(paths.VericodeFile()));
}

TEST_F(SubscriptionTest, ExpiryUsesEachListsVerifyDaysAndTheDefaultOfSeven) {
    AddList("Slow");
    SetInt("Slow", "VerifyDays", 30);
    AddList("plain");  // no VerifyDays stored: 7
    SetVericode(
        "authSLOW2602010000000 a@example.org\r\n"     // 36 days: gone
        "authslow2602080000000 b@example.org\r\n"     // 29 days: kept
        "authplain2602280000000 c@example.org\r\n"    // 9 days: kept
        "authPlain2602270000000 d@example.org\r\n");  // 10 days: gone
    ExpiryCounts counts = ExpirePendingVerifications(services);
    EXPECT_EQ(counts.removed, 2);
    EXPECT_EQ(counts.kept, 2);
    EXPECT_THAT(Vericode(), ElementsAre("authslow2602080000000 b@example.org",
                                        "authplain2602280000000 c@example.org"));
}

TEST_F(SubscriptionTest, ExpiryKeepsLinesNotOfTheCodesFormAndNeverFails) {
    SetVericode(
        "edited by hand\r\n"
        "authnews260301 b@example.org\r\n"         // date digits missing
        "authnews26xx010000000 c@example.org\r\n"  // not digits
        "authnews2613010000000 d@example.org\r\n"  // month 13
        "authnews2602300000000 e@example.org\r\n"  // 30 February
        "authgone2501010000000 f@example.org\r\n"  // no such list
        "authnews2501010000000\r\n"                // no address
        "\r\n"
        "authnews2501010000000 g@example.org\r\n");  // old: gone
    ExpiryCounts counts;
    ASSERT_NO_THROW(counts = ExpirePendingVerifications(services));
    EXPECT_EQ(counts.removed, 1);
    EXPECT_EQ(counts.malformed, 8);
    EXPECT_THAT(
        Vericode(),
        ElementsAre("edited by hand", "authnews260301 b@example.org",
                    "authnews26xx010000000 c@example.org", "authnews2613010000000 d@example.org",
                    "authnews2602300000000 e@example.org", "authgone2501010000000 f@example.org",
                    "authnews2501010000000", ""));
}

TEST_F(SubscriptionTest, ExpiryRewritesTheFileEvenWhenNothingIsRemovedAndLeavesNoFileAlone) {
    ExpirePendingVerifications(services);
    EXPECT_FALSE(FileExists(paths.VericodeFile()));

    SetVericode("authnews2603090000000 a@example.org");  // no line end after the last line
    ExpirePendingVerifications(services);
    EXPECT_EQ(ReadFile(paths.VericodeFile()), "authnews2603090000000 a@example.org\r\n");
}

}  // namespace
}  // namespace corvanteer::testing
