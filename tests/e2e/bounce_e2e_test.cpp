// Bounces over real servers: failure reports arriving in a list's Dovecot mailbox on five
// days disable a member, the member and the owner get their notices through the SMTP
// server, the next posting leaves the member out, and the member's reply to the notice at
// the List Server mailbox brings delivery back.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/ListOperations.h"
#include "app/RosterOperations.h"
#include "e2e/ScanWorld.h"
#include "engine/bounce/BounceState.h"
#include "engine/bounce/MemberToken.h"
#include "support/HeaderFields.h"
#include "support/Text.h"

namespace corvanteer {
namespace {

using testing::MailServers;

constexpr const char* kPassword = "secret";

std::string At(const std::string& user) {
    return MailServers::Address(user);
}

std::string Dsn(const std::string& address) {
    return "From: Mail Delivery System <MAILER-DAEMON@mx.example.test>\r\n"
           "To: bncnews@example.test\r\nSubject: Undelivered Mail Returned to Sender\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/report; report-type=delivery-status; "
           "boundary=\"r\"\r\n\r\n--r\r\nContent-Type: text/plain\r\n\r\nNo such user.\r\n\r\n"
           "--r\r\nContent-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; "
           "mx.example.test\r\n\r\nFinal-Recipient: rfc822; " +
           address + "\r\nAction: failed\r\nStatus: 5.1.1\r\n\r\n--r--\r\n";
}

class BounceE2e : public testing::ScanWorld {
protected:
    void SetUp() override {
        ScanWorld::SetUp();
        Servers().AddUser("bncls", kPassword);
        SetGlobal("ListServerAddress", At("bncls"));
        SetGlobal("ListServerHost", Servers().Host());
        SetGlobal("ListServerPort", std::to_string(Servers().Pop3Port()));
        SetGlobal("ListServerUserID", "bncls");
        SetGlobal("ListServerPassword", kPassword);
        SetGlobal("SMTPHost", Servers().Host());
        SetGlobal("SMTPPort", std::to_string(Servers().SmtpPort()));

        std::string name = "news";
        ASSERT_TRUE(AddList(services, name).ok);
        Servers().AddUser("bncnews", kPassword);
        SetListSetting("news", "Pop3Host", Servers().Host());
        SetListSetting("news", "Pop3Port", std::to_string(Servers().Pop3Port()));
        SetListSetting("news", "Pop3User", "bncnews");
        SetListSetting("news", "Pop3Password", kPassword);
        SetListSetting("news", "ListPostingAddress", At("bncnews"));
        SetListSetting("news", "AllowPostBy", "1");
        SetListSetting("news", "PostingMethod", "1");
        SetListSetting("news", "ErrorsTo", At("bncowner"));
        for (const char* member : {"bncann", "bncbea", "bnccy"}) {
            ASSERT_TRUE(AddMember(services, "news", At(member)).ok);
        }
    }

    void Scan() {
        const ScanOutcome outcome = RunScan();
        EXPECT_TRUE(outcome.ok) << outcome.error;
    }

    // Subjects of the messages in the user's Maildir, oldest first.
    std::vector<std::string> Subjects(const std::string& user) const {
        std::vector<std::string> subjects;
        for (const std::string& message : Servers().ReadMailbox(user)) {
            subjects.push_back(GetHeaderValue("Subject", TextToLines(message)));
        }
        return subjects;
    }

    bool Logged(const std::string& line) const {
        const Lines lines = LogLines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    void Post(const std::string& subject) {
        Servers().PutMessage("bncnews", "From: Bea <bncbea@example.test>\r\nSubject: " + subject +
                                            "\r\n\r\nHello all.\r\n");
        Scan();
    }
};

TEST_F(BounceE2e, FiveReportsDisableTheNextPostingLeavesOutTheReplyBringsBack) {
    const std::string ann = At("bncann");
    for (int day = 9; day <= 13; ++day) {
        clock.Set(2026, 3, day, 10, 0, 0);
        Servers().PutMessage("bncnews", Dsn(ann));
        Scan();
    }
    const bounce::BounceState state = bounce::ReadBounceState(paths, "news");
    ASSERT_NE(nullptr, state.Find(ann));
    EXPECT_EQ(bounce::Disabled::Bounces, state.Find(ann)->disabled);
    const std::string code = state.Find(ann)->code;
    const std::string notice = "Delivery of news to you is disabled (" + code + ")";
    for (const char* line : {"Mon,09Mar26 10:00:00 news: bounce from bncann@example.test (5.1.1) "
                             "- score 1.0",
                             "Fri,13Mar26 10:00:00 news: bounce from bncann@example.test (5.1.1) "
                             "- score 5.0",
                             "Fri,13Mar26 10:00:00 news: x bncann@example.test(delivery "
                             "disabled, score 5.0)"}) {
        EXPECT_TRUE(Logged(line)) << line;
    }
    // The reports went no further; the member and the owner got their notices.
    EXPECT_EQ(Subjects("bncann"), std::vector<std::string>{notice});
    const std::vector<std::string> owner = Servers().ReadMailbox("bncowner");
    ASSERT_EQ(1u, owner.size());
    EXPECT_EQ("news: delivery to bncann@example.test disabled (bounces)",
              GetHeaderValue("Subject", TextToLines(owner[0])));
    EXPECT_NE(std::string::npos, owner[0].find("Content-Type: message/rfc822"));
    EXPECT_NE(std::string::npos, owner[0].find("Final-Recipient: rfc822; bncann@example.test"));

    // The next posting leaves the member out; each copy carries its member's token.
    Post("Plans");
    EXPECT_EQ(Subjects("bncann"), std::vector<std::string>{notice});
    EXPECT_EQ(Subjects("bnccy"), std::vector<std::string>{"Plans"});
    const std::vector<std::string> bea = Servers().ReadMailbox("bncbea");
    ASSERT_EQ(1u, bea.size());
    const std::string key = bounce::MemberTokenKey(*store, paths.SettingsKey());
    EXPECT_EQ(bounce::MemberToken(key, "news", At("bncbea")),
              GetHeaderValue("X-Corvanteer-Member", TextToLines(bea[0])));
    EXPECT_TRUE(
        Logged("Fri,13Mar26 10:00:00 news: msg from bncnews@example.test - sent to 2 of "
               "2 members."));

    // The member's reply to the notice, at the List Server address, enables delivery again.
    Servers().PutMessage("bncls",
                         "From: Ann <bncann@example.test>\r\nSubject: Re: " + notice +
                             "\r\nIn-Reply-To: <notice@example.test>\r\n\r\nI am back.\r\n");
    Scan();
    EXPECT_EQ(nullptr, bounce::ReadBounceState(paths, "news").Find(ann));
    Post("Back again");
    EXPECT_EQ(Subjects("bncann"), (std::vector<std::string>{notice, "Back again"}));
    EXPECT_EQ(Subjects("bnccy"), (std::vector<std::string>{"Plans", "Back again"}));
}

}  // namespace
}  // namespace corvanteer
