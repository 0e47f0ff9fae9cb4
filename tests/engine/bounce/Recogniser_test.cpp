#include "engine/bounce/Recogniser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Files.h"

namespace corvanteer::bounce {
namespace {

std::string Corpus(const std::string& name) {
    return ReadFile(std::string(CORVANTEER_BOUNCE_CORPUS) + "/" + name);
}

struct Expected {
    std::string address;
    Verdict verdict;
    std::string status;
};

struct Shape {
    std::string file;
    ReportForm form;
    std::string formName;
    std::vector<Expected> recipients;
    std::vector<std::string> tokens;
};

// Every shape of the corpus with what it must yield.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {"dsn-one.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"ann@example.org", Verdict::Hard, "5.1.1"}},
         {}},
        {"dsn-several.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"bob@example.net", Verdict::Hard, "5.2.1"},
          {"cy@example.com", Verdict::Soft, "4.4.7"},
          {"dee@example.org", Verdict::NotCounted, "2.0.0"}},
         {}},
        {"dsn-delayed.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"ann@example.org", Verdict::NotCounted, "4.4.1"}},
         {}},
        // Status 5.0.0 takes the detail of the diagnostic code: a refusal by policy.
        {"dsn-policy.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"ann@example.org", Verdict::Policy, "5.7.1"}},
         {}},
        {"dsn-global.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"jörg@bücher.example", Verdict::Hard, "5.1.10"}},
         {}},
        // Hard unless the text gives a 4.x.x status for the address.
        {"x-failed.eml",
         ReportForm::FailedRecipientsField,
         "X-Failed-Recipients",
         {{"eve@example.net", Verdict::Soft, "4.2.2"}, {"fay@example.net", Verdict::Hard, "5.0.0"}},
         {}},
        {"qmail.eml",
         ReportForm::PlainText,
         "qmail",
         {{"gus@example.com", Verdict::Hard, "5.1.1"}, {"hal@example.com", Verdict::Hard, "5.0.0"}},
         {"00000000000000000000000000000000"}},
        {"exim-old.eml",
         ReportForm::PlainText,
         "Exim",
         {{"ivy@example.net", Verdict::Hard, "5.0.0"}},
         {}},
        {"exchange.eml",
         ReportForm::PlainText,
         "Exchange",
         {{"jon@corp.example.com", Verdict::Hard, "5.1.10"}},
         {}},
        {"yahoo.eml",
         ReportForm::PlainText,
         "Yahoo",
         {{"kim@example.com", Verdict::Hard, "5.0.0"}},
         {}},
        {"forward-token.eml",
         ReportForm::DeliveryStatus,
         "delivery status",
         {{"lou.old@mailbox.example.com", Verdict::Hard, "5.1.1"}},
         {"0123456789abcdef0123456789abcdef"}},
        // A vacation reply names addresses and a status but reports no failure.
        {"vacation.eml", ReportForm::None, "", {}, {}},
    };
    return shapes;
}

TEST(Recogniser, EveryCorpusShapeGivesItsVerdicts) {
    for (const Shape& shape : Shapes()) {
        SCOPED_TRACE(shape.file);
        const BounceReport report = RecogniseBounce(Corpus(shape.file));
        EXPECT_EQ(shape.form, report.form);
        EXPECT_EQ(shape.formName, report.formName);
        ASSERT_EQ(shape.recipients.size(), report.recipients.size());
        for (size_t i = 0; i < shape.recipients.size(); ++i) {
            EXPECT_EQ(shape.recipients[i].address, report.recipients[i].address);
            EXPECT_EQ(VerdictName(shape.recipients[i].verdict),
                      std::string(VerdictName(report.recipients[i].verdict)));
            EXPECT_EQ(shape.recipients[i].status, report.recipients[i].status);
        }
        EXPECT_EQ(shape.tokens, report.memberTokens);
    }
}

TEST(Recogniser, AnOriginalRecipientIsKeptBesideAnotherFinalOne) {
    const std::string dsn =
        "From: MAILER-DAEMON@x.example\r\nContent-Type: multipart/report; "
        "report-type=delivery-status; boundary=\"z\"\r\n\r\n--z\r\n"
        "Content-Type: message/delivery-status\r\n\r\nReporting-MTA: dns; x.example\r\n"
        "Final-Recipient: rfc822; inbox@host.example\r\n"
        "Original-Recipient: rfc822; Ann@Example.org\r\nAction: failed\r\n\r\n--z--\r\n";
    const BounceReport report = RecogniseBounce(dsn);
    ASSERT_EQ(1u, report.recipients.size());
    EXPECT_EQ("inbox@host.example", report.recipients[0].address);
    EXPECT_EQ("ann@example.org", report.recipients[0].original);
    EXPECT_EQ(Verdict::Hard, report.recipients[0].verdict);
    EXPECT_EQ("5.0.0", report.recipients[0].status);  // a failure without a status
}

TEST(Recogniser, StatusesAndActions) {
    struct Case {
        std::string text;
        std::string status;
    };
    const std::vector<Case> statuses = {
        {"550 5.1.1 no such user", "5.1.1"},
        {"(#4.4.1)", "4.4.1"},
        {"host [192.0.2.5]: 550 Unrouteable", "5.0.0"},  // no enhanced code: the reply's class
        {"version 5.1.1.2 of the filter", ""},
        {"said: 452 try later", "4.0.0"},
        {"nothing here", ""},
        {"3.1.1 is no class", ""},
    };
    for (const Case& c : statuses) {
        EXPECT_EQ(c.status, StatusIn(c.text)) << c.text;
    }
    EXPECT_EQ(Verdict::NotCounted, VerdictOf("Relayed", "5.1.1"));
    EXPECT_EQ(Verdict::NotCounted, VerdictOf("expanded", ""));
    EXPECT_EQ(Verdict::Policy, VerdictOf("failed", "5.7.26"));
    EXPECT_EQ(Verdict::Soft, VerdictOf("failed", "4.2.2"));
    EXPECT_EQ(Verdict::Hard, VerdictOf("failed", "not a status"));
}

TEST(Recogniser, GarbageNamesNobody) {
    for (const std::string& bytes : {std::string(), std::string("\0\r\n\r\n", 4),
                                     std::string("Content-Type: multipart/report\r\n\r\n--")}) {
        EXPECT_TRUE(RecogniseBounce(bytes).recipients.empty());
    }
}

}  // namespace
}  // namespace corvanteer::bounce
