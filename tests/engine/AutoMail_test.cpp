#include "engine/AutoMail.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(AutoMail, HeaderDecidesWhatIsLoopAutomaticOrPersonal) {
    const ListOwnAddresses own{"News@Example.org", " hidden@example.org ", "ls@example.org"};
    const struct {
        Lines header;
        std::string sender;
        MailKind kind;
        std::string reason;
    } cases[] = {
        {{"List-Id: news <NEWS.example.org>"},
         "ann@x.org",
         MailKind::Loop,
         "List-Id: <News.Example.org>"},
        {{"List-Id: other <other.example.org>"}, "ann@x.org", MailKind::Personal, ""},
        {{}, "news@example.org", MailKind::Loop, "From: list posting address"},
        {{}, "hidden@example.org", MailKind::Loop, "From: ChangeSenderEmailTo"},
        {{}, "ls@example.org", MailKind::Loop, "From: List Server address"},
        {{"Auto-Submitted: auto-replied; owner-email=\"a@x.org\""},
         "ann@x.org",
         MailKind::Automatic,
         "Auto-Submitted: auto-replied"},
        {{"Auto-Submitted: No"}, "ann@x.org", MailKind::Personal, ""},
        {{"Precedence: BULK"}, "ann@x.org", MailKind::Automatic, "Precedence: BULK"},
        {{"Precedence: junk"}, "ann@x.org", MailKind::Automatic, "Precedence: junk"},
        {{"Precedence: list"}, "ann@x.org", MailKind::Personal, ""},
        {{"Return-Path: < >"}, "ann@x.org", MailKind::Automatic, "Return-Path: <>"},
        {{"Return-Path: <ann@x.org>"}, "ann@x.org", MailKind::Personal, ""},
        {{}, "mailer-daemon@mx.x.org", MailKind::Automatic, "From: mailer-daemon@mx.x.org"},
        {{}, "postmaster@x.org", MailKind::Automatic, "From: postmaster@x.org"},
        {{}, "postmasters@x.org", MailKind::Personal, ""},
        {{"Content-Type: Multipart/Report; report-type=delivery-status;", " boundary=\"b\""},
         "ann@x.org",
         MailKind::Automatic,
         "Content-Type: Multipart/Report"},
        {{"Content-Type: multipart/mixed"}, "ann@x.org", MailKind::Personal, ""},
        // Only the header counts: a body is never looked at.
        {{"Subject: Auto-Submitted: auto-replied", "", "Precedence: bulk"},
         "ann@x.org",
         MailKind::Personal,
         ""},
    };
    for (const auto& c : cases) {
        const MailVerdict verdict = JudgeListMail(c.header, c.sender, own);
        EXPECT_EQ(verdict.kind, c.kind) << c.sender << " " << (c.header.empty() ? "" : c.header[0]);
        EXPECT_EQ(verdict.reason, c.reason);
    }
    // Without HideSenderEmail (no replacement address) and without a List Server address.
    EXPECT_EQ(JudgeListMail({}, "hidden@example.org", {"news@example.org", "", ""}).kind,
              MailKind::Personal);
    // The List Server mailbox knows no loops, only automatic mail.
    EXPECT_EQ(JudgeAutomatic({"List-Id: news <news.example.org>"}, "ann@x.org").kind,
              MailKind::Personal);
}

}  // namespace
}  // namespace corvanteer
