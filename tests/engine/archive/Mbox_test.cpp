#include "engine/archive/Mbox.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "common/TempDir.h"
#include "engine/archive/MboxStore.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::archive {
namespace {

constexpr int64_t kMay2026 = 1777636800;  // 2026-05-01 12:00:00 UTC

TEST(MboxTest, RecordQuotesFromLinesAndEndsWithAnEmptyLine) {
    struct Case {
        const char* message;
        const char* record;  // after the separator line
    };
    const Case cases[] = {
        {"Subject: a\r\n\r\nbody\r\n", "Subject: a\n\nbody\n\n"},
        {"S: a\n\nFrom here\n", "S: a\n\n>From here\n\n"},
        {"S: a\n\n>From here\n>>From there\n", "S: a\n\n>>From here\n>>>From there\n\n"},
        {"S: a\n\nFrom: not quoted\nFromage\n From x\n",
         "S: a\n\nFrom: not quoted\nFromage\n From x\n\n"},
        {"S: a\n\nno line end", "S: a\n\nno line end\n\n"},
        {"S: a\n\nFrom x\r\n", "S: a\n\n>From x\n\n"},
    };
    for (const Case& c : cases) {
        const std::string record = MboxRecord(c.message, "list@example.test", kMay2026);
        EXPECT_EQ(record,
                  "From list@example.test Fri May  1 12:00:00 2026\n" + std::string(c.record))
            << c.message;
        const std::vector<MboxSpan> spans = SplitMbox(record);
        ASSERT_EQ(spans.size(), 1u) << c.message;
        // Read back: the quoting undone, the line ends as written (LF).
        std::string expected = c.message;
        for (std::size_t at; (at = expected.find("\r\n")) != std::string::npos;) {
            expected.erase(at, 1);
        }
        if (expected.back() != '\n') {
            expected += '\n';
        }
        EXPECT_EQ(MboxMessage(record, spans[0]), expected) << c.message;
    }
}

TEST(MboxTest, SeparatorLinesAndTheirSender) {
    EXPECT_EQ(MboxFromLine("", 0), "From MAILER-DAEMON Thu Jan  1 00:00:00 1970");
    EXPECT_EQ(MboxFromLine("a b@x", 0), "From MAILER-DAEMON Thu Jan  1 00:00:00 1970");
    std::string sender;
    int64_t when = 0;
    ASSERT_TRUE(ParseMboxSeparator("From a@x.test Fri May  1 12:00:00 2026", sender, when));
    EXPECT_EQ(sender, "a@x.test");
    EXPECT_EQ(when, kMay2026);
    EXPECT_TRUE(ParseMboxSeparator("From a@x.test Fri May 01 12:00:00 2026 +0200", sender, when));
    EXPECT_FALSE(ParseMboxSeparator("From a@x.test yesterday", sender, when));
    EXPECT_FALSE(ParseMboxSeparator("From a@x.test Fri Foo  1 12:00:00 2026", sender, when));
}

TEST(MboxTest, SplitNeedsAnEmptyLineBeforeASeparator) {
    const std::string bytes =
        "junk before\n\nFrom a Fri May  1 12:00:00 2026\nS: 1\n\nbody\nFrom inside, unquoted\n\n"
        "From b Fri May  1 12:00:00 2026\r\nS: 2\r\n\r\nx\r\n\r\n";
    const std::vector<MboxSpan> spans = SplitMbox(bytes);
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_EQ(MboxMessage(bytes, spans[0]), "S: 1\n\nbody\nFrom inside, unquoted\n");
    EXPECT_EQ(MboxMessage(bytes, spans[1]), "S: 2\r\n\r\nx\r\n");
    EXPECT_EQ(MboxSeparator(bytes, spans[1]), "From b Fri May  1 12:00:00 2026");
}

class MboxStoreTest : public ::testing::Test {
protected:
    std::string Record(const std::string& subject) {
        return MboxRecord("Subject: " + subject + "\n\nFrom the start\n", "l@x.test", kMay2026);
    }
    testing::TempDir dir;
    MboxStore store{dir.File("mbox")};
};

struct Crash : std::runtime_error {
    Crash() : std::runtime_error("crash") {}
};

TEST_F(MboxStoreTest, AppendsMonthByMonthAndListsTheMonths) {
    store.Append("2026-05", Record("one"));
    store.Append("2026-05", Record("two"));
    store.Append("2025-12", Record("old"));
    EXPECT_EQ(store.Months(), (std::vector<std::string>{"2025-12", "2026-05"}));
    EXPECT_EQ(store.ReadMonth("2026-05"), Record("one") + Record("two"));
    EXPECT_EQ(store.ReadMonth("2026-04"), "");
    EXPECT_THROW(store.Append("2026-13", Record("x")), Failure);
}

TEST_F(MboxStoreTest, ACrashInTheMiddleLeavesNothingTheNextAppendBuildsOn) {
    store.Append("2026-05", Record("one"));
    store.SetCrashHook([](std::size_t written) {
        if (written > 0 && written < 100) {
            throw Crash();
        }
    });
    EXPECT_THROW(store.Append("2026-05", Record("half")), Crash);
    // Half a record is on disk, and the pending file says so.
    EXPECT_GT(ReadFile(store.MonthFile("2026-05")).size(), Record("one").size());
    EXPECT_TRUE(FileExists(store.MonthFile("2026-05") + ".pending"));
    // A reader leaves it out; the next append cuts it off first.
    MboxStore after(store.folder());
    EXPECT_EQ(after.ReadMonth("2026-05"), Record("one"));
    after.Append("2026-05", Record("two"));
    EXPECT_EQ(ReadFile(after.MonthFile("2026-05")), Record("one") + Record("two"));
    EXPECT_FALSE(FileExists(after.MonthFile("2026-05") + ".pending"));
}

TEST_F(MboxStoreTest, ARecordWrittenWholeBeforeTheCrashIsKept) {
    store.SetCrashHook([](std::size_t written) {
        if (written >= 100) {
            throw Crash();
        }
    });
    EXPECT_THROW(store.Append("2026-05", Record("whole") + Record("both whole")), Crash);
    MboxStore after(store.folder());
    after.Append("2026-05", Record("next"));
    EXPECT_EQ(after.ReadMonth("2026-05"), Record("whole") + Record("both whole") + Record("next"));
}

TEST_F(MboxStoreTest, AFileEndingWithoutAnEmptyLineGetsOneBeforeTheNextRecord) {
    ForceDirectories(store.folder());
    {
        std::ofstream(store.MonthFile("2026-05"), std::ios::binary)
            << "From x Fri May  1 12:00:00 2026\nSubject: by hand\n\nno end";
    }
    store.Append("2026-05", Record("next"));
    const std::string bytes = store.ReadMonth("2026-05");
    ASSERT_EQ(SplitMbox(bytes).size(), 2u);
    EXPECT_EQ(MboxMessage(bytes, SplitMbox(bytes)[1]), "Subject: next\n\nFrom the start\n");
}

}  // namespace
}  // namespace corvanteer::archive
