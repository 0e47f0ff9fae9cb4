#include "engine/bounce/BounceHandling.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "engine/EngineFixture.h"
#include "engine/RequestRules.h"
#include "engine/bounce/MemberDelivery.h"
#include "engine/bounce/MemberToken.h"
#include "engine/bounce/Notices.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using namespace corvanteer::bounce;

std::string Corpus(const std::string& name) {
    return ReadFile(std::string(CORVANTEER_BOUNCE_CORPUS) + "/" + name);
}

// A one-recipient failure report for the address.
std::string Dsn(const std::string& address, const std::string& status = "5.1.1") {
    return "From: MAILER-DAEMON@mx.example.test\r\nTo: news@lists.example.test\r\n"
           "Subject: Undelivered Mail\r\nMIME-Version: 1.0\r\nContent-Type: multipart/report; "
           "report-type=delivery-status; boundary=\"b\"\r\n\r\n--b\r\nContent-Type: "
           "text/plain\r\n\r\nFailed.\r\n\r\n--b\r\nContent-Type: message/delivery-status\r\n\r\n"
           "Reporting-MTA: dns; mx.example.test\r\n\r\nFinal-Recipient: rfc822; " +
           address + "\r\nAction: failed\r\nStatus: " + status + "\r\n\r\n--b--\r\n";
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class BounceHandlingTest : public EngineTest {
protected:
    BounceHandlingTest() {
        AddList("news");
        store->WriteRegString(ListKey("news"), "ListPostingAddress", "news@lists.example.test");
        store->WriteRegString(ListKey("news"), "ErrorsTo", "owner@example.test");
        WriteSection(DataFile("news"), "MemberList",
                     {"ann@example.org 0 111111", "bob@example.org 0 222222",
                      "lou@forward.example.net 0 333333"});
        clock.Set(2026, 3, 9, 10, 0, 0);
    }

    BounceOutcome Handle(const std::string& message) {
        context.ListName = "news";
        context.ListDataFile = DataFile("news");
        context.Settings = LoadListSettings(*store, ListKey("news"));
        context.MessageFile = dir.Path() + "/bounce.tmp";
        WriteFileAtomic(context.MessageFile, message);
        return HandleListBounce(context, services);
    }
    // One report handled and applied.
    BounceOutcome Bounce(const std::string& message) {
        const BounceOutcome outcome = Handle(message);
        FlushBounces(context, services);
        return outcome;
    }
    void Schedule() {
        context.ListName = "news";
        context.ListDataFile = DataFile("news");
        context.Settings = LoadListSettings(*store, ListKey("news"));
        RunBounceSchedule(context, services);
    }
    const MemberBounces* State(const std::string& address) {
        state = ReadBounceState(paths, "news");
        return state.Find(address);
    }
    std::string Log(const std::string& rest) const { return "Mon,09Mar26 10:00:00 news: " + rest; }

    ScanContext context;
    BounceState state;
};

TEST_F(BounceHandlingTest, FiveDaysDisableNoticesFollowThenRemoval) {
    for (int day = 9; day <= 13; ++day) {
        clock.Set(2026, 3, day, 10, 0, 0);
        EXPECT_EQ(BounceOutcome::Handled, Bounce(Dsn("Ann@Example.org")));
    }
    EXPECT_EQ("5.0", State("ann@example.org")->ScoreText());
    EXPECT_EQ(Disabled::Bounces, State("ann@example.org")->disabled);
    const std::vector<std::string> log = LogLines();
    EXPECT_TRUE(HasLine(log,
                        "Fri,13Mar26 10:00:00 news: bounce from ann@example.org (5.1.1) - "
                        "score 5.0"));
    EXPECT_TRUE(
        HasLine(log, "Fri,13Mar26 10:00:00 news: x ann@example.org(delivery disabled, score 5.0)"));
    EXPECT_EQ("03/13/26 x ann@example.org(delivery disabled)",
              TextToLines(ReadSection(DataFile("news"), "Latest_Actions")).front());

    // The member's notice carries the code; the owner's the report, as message/rfc822.
    ASSERT_EQ(2u, smtp.sent.size());
    const std::string code = State("ann@example.org")->code;
    const std::string member = JoinLines(smtp.sent[0].message, "\n");
    EXPECT_EQ(Lines{"ann@example.org"}, smtp.sent[0].sendTo);
    EXPECT_EQ("listserver@example.test", smtp.sent[0].from);
    EXPECT_NE(std::string::npos, member.find("Subject: " + NoticeSubject("news", code)));
    EXPECT_NE(std::string::npos, member.find("Auto-Submitted: auto-generated"));
    EXPECT_NE(std::string::npos, member.find("List-Id: news <news.lists.example.test>"));
    EXPECT_NE(std::string::npos, member.find("\n  " + code + "\n"));
    const std::string owner = JoinLines(smtp.sent[1].message, "\n");
    EXPECT_EQ(Lines{"owner@example.test"}, smtp.sent[1].sendTo);
    EXPECT_NE(std::string::npos, owner.find("Content-Type: message/rfc822"));
    EXPECT_NE(std::string::npos, owner.find("Final-Recipient: rfc822; Ann@Example.org"));
    EXPECT_NE(std::string::npos, owner.find("Last status: 5.1.1"));

    clock.Set(2026, 3, 14, 10, 0, 0);
    Bounce(Dsn("ann@example.org"));
    EXPECT_TRUE(HasLine(LogLines(),
                        "Sat,14Mar26 10:00:00 news: bounce from ann@example.org "
                        "(5.1.1) - not counted (delivery disabled)"));

    // Again after a week, three notices in all, then removal a week after the last.
    Schedule();
    EXPECT_EQ(2u, smtp.sent.size());
    clock.Set(2026, 3, 20, 10, 0, 0);
    Schedule();
    clock.Set(2026, 3, 27, 10, 0, 0);
    Schedule();
    ASSERT_EQ(4u, smtp.sent.size());
    EXPECT_EQ(3, State("ann@example.org")->notices);
    clock.Set(2026, 4, 3, 10, 0, 0);
    Schedule();
    EXPECT_EQ(nullptr, State("ann@example.org"));
    EXPECT_EQ(std::string::npos, ReadSection(DataFile("news"), "MemberList").find("ann@"));
    EXPECT_TRUE(HasLine(LogLines(), "Fri,03Apr26 10:00:00 news: - ann@example.org (bounces)"));
    ASSERT_EQ(5u, smtp.sent.size());
    EXPECT_EQ(Lines{"owner@example.test"}, smtp.sent[4].sendTo);
}

TEST_F(BounceHandlingTest, ForwardedCopiesAreChargedByTheirTokenAndOthersOnlyLogged) {
    const std::string token =
        MemberToken(MemberTokenKey(*store, paths.SettingsKey()), "news", "lou@forward.example.net");
    std::string report = Corpus("forward-token.eml");
    report.replace(report.find("0123456789abcdef0123456789abcdef"), 32, token);
    EXPECT_EQ(BounceOutcome::Handled, Bounce(report));
    EXPECT_EQ("1.0", State("lou@forward.example.net")->ScoreText());
    EXPECT_TRUE(HasLine(LogLines(), Log("bounce from lou@forward.example.net via "
                                        "lou.old@mailbox.example.com (5.1.1) - score 1.0")));

    // A token of another list, a stranger, a delay, a policy refusal: nobody charged.
    EXPECT_EQ(BounceOutcome::Handled, Bounce(Corpus("forward-token.eml")));
    EXPECT_EQ(BounceOutcome::Handled, Bounce(Dsn("stranger@example.org")));
    EXPECT_EQ(BounceOutcome::Handled, Bounce(Corpus("dsn-delayed.eml")));
    EXPECT_EQ(BounceOutcome::Policy, Bounce(Corpus("dsn-policy.eml")));
    EXPECT_EQ(BounceOutcome::NotABounce, Bounce(Corpus("vacation.eml")));
    const std::vector<std::string> log = LogLines();
    EXPECT_TRUE(HasLine(log, Log("bounce from lou.old@mailbox.example.com (5.1.1) - not counted "
                                 "(not a member)")));
    EXPECT_TRUE(HasLine(
        log, Log("bounce from ann@example.org (4.4.1) - not counted (delayed or delivered)")));
    EXPECT_TRUE(
        HasLine(log, Log("bounce for ann@example.org (5.7.1) - refused by policy, not charged")));
    EXPECT_EQ(nullptr, State("ann@example.org"));
    EXPECT_TRUE(smtp.sent.empty());
}

TEST_F(BounceHandlingTest, ChargesOfOneScanGoToTheFileTogetherOncePerDay) {
    Handle(Dsn("bob@example.org"));
    Handle(Dsn("bob@example.org", "4.2.2"));
    EXPECT_FALSE(FileExists(paths.BounceStateFile("news")));  // not yet applied
    FlushBounces(context, services);
    EXPECT_EQ("1.0", State("bob@example.org")->ScoreText());
    EXPECT_TRUE(HasLine(LogLines(), Log("bounce from bob@example.org (4.2.2) - not counted "
                                        "(counted today)")));
}

TEST_F(BounceHandlingTest, ARefusalAtRcptIsAHardBounceAtOnceNoticedByTheSchedule) {
    store->WriteRegInteger(ListKey("news"), "BounceScoreThreshold", 1);
    const ListInHand hand{"news", "news", DataFile("news"),
                          LoadListSettings(*store, ListKey("news"))};
    ChargeRefusedRecipients(services, hand,
                            {{"nobody@example.org", "550 5.1.1 no such user"},
                             {"bob@example.org", "550 5.7.1 relaying denied"},
                             {"Ann@Example.org", "550 5.1.1 no such user"},
                             {"ann@example.org", "550 no such user"}});
    EXPECT_EQ(nullptr, State("bob@example.org"));
    ASSERT_NE(nullptr, State("ann@example.org"));
    EXPECT_EQ(Disabled::Bounces, State("ann@example.org")->disabled);
    EXPECT_EQ(0, State("ann@example.org")->notices);
    EXPECT_EQ(LogLines(),
              (Lines{Log("bounce for bob@example.org (5.7.1) - refused by policy, not charged"),
                     Log("bounce from ann@example.org refused at RCPT (5.1.1) - score 1.0"),
                     Log("x ann@example.org(delivery disabled, score 1.0)"),
                     Log("bounce from ann@example.org refused at RCPT (5.0.0) - not counted "
                         "(delivery disabled)")}));
    EXPECT_TRUE(smtp.sent.empty());  // not in the middle of a posting

    Schedule();  // the first notice, and the owner's (without a report to attach)
    ASSERT_EQ(2u, smtp.sent.size());
    EXPECT_EQ(Lines{"ann@example.org"}, smtp.sent[0].sendTo);
    EXPECT_EQ(Lines{"owner@example.test"}, smtp.sent[1].sendTo);
    EXPECT_EQ(1, State("ann@example.org")->notices);
}

TEST_F(BounceHandlingTest, AReplyToTheNoticeEnablesDeliveryAgain) {
    UpdateBounceState(services, "news", [](BounceState& s) {
        MemberBounces& ann = s.Entry("ann@example.org");
        ann.halfPoints = 10;
        ann.disabled = Disabled::Bounces;
        ann.code = "enable-ABCDEFGHIJ";
        return true;
    });
    // A disabled member gets no answers.
    ScanContext request;
    request.SenderAddress = "ann@example.org";
    request.Subject = "subscribe news";
    pop3.Header = {"From: ann@example.org", "Subject: subscribe news", ""};
    ApplyRequestRules(request, services);
    EXPECT_TRUE(smtp.sent.empty());
    EXPECT_TRUE(HasLine(LogLines(), Log("i withheld msg to ann@example.org(delivery disabled)")));

    // Through the List Server rules: an automatic message never enables, even with the subject.
    const std::string subject = "Re: Delivery of news to you is disabled (enable-ABCDEFGHIJ)";
    ScanContext reply;
    reply.SenderAddress = "ann@elsewhere.example";
    reply.Subject = subject;
    pop3.Header = {"From: ann@elsewhere.example", "Subject: " + subject,
                   "Auto-Submitted: auto-replied", ""};
    ApplyRequestRules(reply, services);
    EXPECT_NE(nullptr, State("ann@example.org"));
    pop3.Header = {"From: ann@elsewhere.example", "Subject: " + subject, ""};
    reply.Subject = "Delivery of news to you is disabled (enable-ABCDEFGHIJ)";
    EXPECT_FALSE(HandleEnableReply(reply, services));  // not a reply
    reply.Subject = subject;
    ApplyRequestRules(reply, services);
    EXPECT_EQ(nullptr, State("ann@example.org"));
    EXPECT_TRUE(HasLine(LogLines(), Log("+ ann@example.org(delivery enabled, reply from "
                                        "ann@elsewhere.example)")));
    EXPECT_EQ("03/09/26 + ann@example.org(delivery enabled)",
              TextToLines(ReadSection(DataFile("news"), "Latest_Actions")).front());
    EXPECT_FALSE(HandleEnableReply(reply, services));  // enabled already
}

}  // namespace
}  // namespace corvanteer::testing
