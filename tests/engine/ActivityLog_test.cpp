#include "engine/ActivityLog.h"

#include "EngineFixture.h"
#include "engine/Delivery.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

class ActivityLogTest : public EngineTest {
protected:
    ActivityLogTest() {
        AddList("news");
        context = ContextFor("news");
        context.SenderAddress = "ann@example.org";
    }
    Lines LatestActions() { return TextToLines(ReadSection(DataFile("news"), "Latest_Actions")); }
    ScanContext context;
};

TEST_F(ActivityLogTest, LogLinesAreAppendedWithCrLfAndStampedByTheCaller) {
    EXPECT_EQ(Stamp(services), "Mon,09Mar26 14:05:00 ");
    EXPECT_EQ(ShortDateNow(services), "03/09/26");
    WriteLog(services, Stamp(services) + "news: first");
    clock.AdvanceSeconds(61);
    WriteLog(services, Stamp(services) + "news: second");
    EXPECT_EQ(Slurp(paths.LogFile()),
              "Mon,09Mar26 14:05:00 news: first\r\nMon,09Mar26 14:06:01 news: second\r\n");
}

TEST_F(ActivityLogTest, UnwritableLogIsIgnored) {
    ForceDirectories(paths.LogFile());  // a folder where the log should be
    EXPECT_NO_THROW(WriteLog(services, "lost"));
    smtp.failAll = true;
    EXPECT_NO_THROW(SendReply(context, services, "listserver@example.test", "Welcome.\r\n"));
    EXPECT_EQ(QueueFiles().size(), 1u);
}

TEST_F(ActivityLogTest, LatestActionsKeepsTwentyNewestFirst) {
    AddLatestAction(services, DataFile("news"), "03/09/26 + first@x.org");
    EXPECT_EQ(LatestActions(), (Lines{"03/09/26 + first@x.org"}));

    Lines twenty;
    for (int i = 20; i >= 1; --i) {
        twenty.push_back("entry " + std::to_string(i));
    }
    WriteSection(DataFile("news"), "Latest_Actions", twenty);
    WriteSection(DataFile("news"), "MemberList", {"a@x.org 0 123456"});
    const std::string members = ReadSection(DataFile("news"), "MemberList");
    AddLatestAction(services, DataFile("news"), "newest");
    Lines expected{"newest"};
    expected.insert(expected.end(), twenty.begin(), twenty.end() - 1);
    EXPECT_EQ(LatestActions(), expected);
    EXPECT_EQ(ReadSection(DataFile("news"), "MemberList"), members);
}

TEST_F(ActivityLogTest, LongerSectionFromTheConsoleIsCutAtTheNextAddition) {
    Lines many;
    for (int i = 0; i < 27; ++i) {
        many.push_back("old " + std::to_string(i));
    }
    WriteSection(DataFile("news"), "Latest_Actions", many);
    AddLatestAction(services, DataFile("news"), "new");
    Lines got = LatestActions();
    ASSERT_EQ(got.size(), 20u);
    EXPECT_EQ(got.front(), "new");
    EXPECT_EQ(got.back(), "old 18");
}

}  // namespace
}  // namespace corvanteer::testing
