#include "engine/archive/ListArchive.h"

#include <gtest/gtest.h>

#include "../EngineFixture.h"
#include "engine/archive/FactsIndex.h"
#include "engine/archive/ListCharts.h"
#include "engine/archive/Mbox.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::archive {
namespace {

class ListArchiveTest : public testing::EngineTest {
protected:
    ListArchiveTest() { AddList("news"); }

    std::string Message(const std::string& id, const std::string& date) {
        std::string message = "Subject: s " + id + "\r\n";
        if (!id.empty()) {
            message += "Message-ID: <" + id + ">\r\n";
        }
        if (!date.empty()) {
            message += "Date: " + date + "\r\n";
        }
        return message + "\r\nFrom the start\r\n";
    }
    std::vector<std::string> IdsOf(const std::string& month) {
        std::vector<std::string> ids;
        const std::string bytes = MboxStore(paths.MboxFolder("news")).ReadMonth(month);
        for (const MessageFacts& facts : ReadFactsOfMonth(month, bytes)) {
            ids.push_back(facts.messageId);
        }
        return ids;
    }
};

TEST_F(ListArchiveTest, APostingGoesToTheMonthOfTheClock) {
    ArchivePosting(services, "news", Message("p1@x", ""), "news@example.test");
    clock.Set(2026, 4, 1, 0, 0, 1);
    ArchivePosting(services, "news", Message("p2@x", ""), "news@example.test");
    EXPECT_EQ(IdsOf("2026-03"), std::vector<std::string>{"p1@x"});
    EXPECT_EQ(IdsOf("2026-04"), std::vector<std::string>{"p2@x"});
    EXPECT_TRUE(StartsWith(ReadFile(paths.MboxFolder("news") + "2026-03.mbox"),
                           "From news@example.test Mon Mar  9 14:05:00 2026\nSubject: s p1@x\n"
                           "Message-ID: <p1@x>\n\n>From the start\n\n"));
}

TEST_F(ListArchiveTest, ImportSkipsWhatIsThereAndSendsNothing) {
    ArchivePosting(services, "news", Message("here@x", ""), "news@example.test");
    const std::string file = dir.File("in.mbox");
    std::string mbox = MboxRecord(Message("here@x", "Mon, 9 Mar 2026 10:00:00 +0000"), "a@x", 0) +
                       MboxRecord(Message("new@x", "Sun, 1 Feb 2026 10:00:00 +0000"), "a@x", 0) +
                       MboxRecord(Message("new@x", "Sun, 1 Feb 2026 10:00:00 +0000"), "a@x", 0) +
                       MboxRecord(Message("", ""), "a@x", 1769940000) +  // 2026-02-01 10:00
                       MboxRecord(Message("", ""), "a@x", 1769940000);
    WriteFileAtomic(file, mbox);

    ImportReport report = ImportArchive(services, "news", file);
    EXPECT_EQ(report.read, 5u);
    EXPECT_EQ(report.added, 2u);    // new@x, and the message without an id once
    EXPECT_EQ(report.skipped, 3u);  // here@x, the second new@x, the same bytes again
    EXPECT_EQ(IdsOf("2026-02").size(), 2u);
    EXPECT_EQ(IdsOf("2026-02")[0], "new@x");
    EXPECT_TRUE(smtp.sent.empty());

    report = ImportArchive(services, "news", file);  // all there now
    EXPECT_EQ(report.added, 0u);
    EXPECT_EQ(report.skipped, 5u);

    WriteFileAtomic(file, "not an mbox\n");
    EXPECT_THROW(ImportArchive(services, "news", file), Failure);
}

TEST_F(ListArchiveTest, ExportWritesTheMonthsAsked) {
    MboxStore mbox(paths.MboxFolder("news"));
    for (const char* month : {"2026-01", "2026-02", "2026-03"}) {
        mbox.Append(month, MboxRecord(Message(std::string(month) + "@x", ""), "a@x", 0));
    }
    const std::string file = dir.File("out.mbox");
    ExportReport report = ExportArchive(services, "news", "2026-02", "", file);
    EXPECT_EQ(report.messages, 2u);
    EXPECT_EQ(report.months, 2u);
    EXPECT_EQ(ReadFile(file), mbox.ReadMonth("2026-02") + mbox.ReadMonth("2026-03"));
    report = ExportArchive(services, "news", "", "2026-01", file);
    EXPECT_EQ(ReadFile(file), mbox.ReadMonth("2026-01"));
    EXPECT_THROW(ExportArchive(services, "news", "2026-3", "", file), Failure);
    EXPECT_THROW(ExportArchive(services, "news", "2026-03", "2026-02", file), Failure);
}

TEST_F(ListArchiveTest, TheListPageTellsOfTheListAndItsMembers) {
    SetSection("news", "Description", "All the news.");
    SetSection("news", "MemberList", "a@x 0 1\r\nb@x 0 2\r\nc@x 0 3");
    WriteFileAtomic(paths.LogFile(),
                    "Sun,01Feb26 10:00:00 news: + a@x(manual add)\r\n"
                    "Sun,01Feb26 10:00:00 NEWS: + b@x(email verified, user added)\r\n"
                    "Sun,01Feb26 10:00:00 news2: + z@x(manual add)\r\n"
                    "Sun,01Mar26 10:00:00 news: - b@x(removed by moderator)\r\n"
                    "Sun,01Mar26 10:00:00 news: ? q@x(subscribe request)\r\n"
                    "Mon,02Mar26 10:00:00 news:   imported 2\r\n"
                    "garbage line\r\n");
    const SiteInfo info = ListSiteInfo(services, "news");
    EXPECT_EQ(Trim(info.description), "All the news.");
    EXPECT_EQ(info.listServerAddress, "listserver@example.test");
    EXPECT_EQ(info.membersNow, 3);
    EXPECT_FALSE(info.showAddresses);
    EXPECT_EQ(info.memberChanges, (std::map<std::string, int>{{"2026-02", 2}, {"2026-03", 1}}));
    EXPECT_EQ(MembersByMonth(MonthRange("2026-01", "2026-03"), info.memberChanges, 3),
              (MonthValues{{"2026-01", 0}, {"2026-02", 2}, {"2026-03", 3}}));

    ArchivePosting(services, "news", Message("p1@x", ""), "news@example.test");
    const BuildReport report = BuildListArchive(services, "news");
    EXPECT_EQ(report.messages, 1u);
    const std::string index = ReadFile(paths.HtmlArchiveFolder("news") + "index.html");
    EXPECT_NE(index.find("<p>All the news.</p>"), std::string::npos);
    EXPECT_NE(index.find("<title>2026-03: 3 members</title>"), std::string::npos);
}

TEST(ListChartsTest, LogStampsAndMonthRanges) {
    std::string month;
    std::string_view rest;
    ASSERT_TRUE(ParseLogLine("Tue,08Dec26 05:40:30 news: + a@x", month, rest));
    EXPECT_EQ(month, "2026-12");
    EXPECT_EQ(rest, "news: + a@x");
    EXPECT_FALSE(ParseLogLine("Tue,08Xyz26 05:40:30 news", month, rest));
    EXPECT_FALSE(ParseLogLine("no stamp at all", month, rest));
    EXPECT_EQ(MonthRange("2025-11", "2026-02"),
              (std::vector<std::string>{"2025-11", "2025-12", "2026-01", "2026-02"}));
    EXPECT_TRUE(MonthRange("2026-02", "2025-11").empty());
    EXPECT_EQ(BarChartSvg({}, "c", "u"), "");
}

}  // namespace
}  // namespace corvanteer::archive
