// The record of the last scan: its times, its file and who writes what into it.

#include "app/ScanStatus.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class NullTimer final : public PollTimer {
public:
    void Stop() override {}
    void SetIntervalMs(int64_t) override {}
};

TEST(ScanStatusTimeTest, TimesCarryTheirOffsetAndMinutesCrossDaysMonthsAndYears) {
    struct Case {
        LocalTime time;
        int minutes;
        std::string expected;
    };
    auto at = [](int y, int mo, int d, int h, int mi, int s, long offset) {
        LocalTime t;
        t.year = y, t.month = mo, t.day = d, t.hour = h, t.minute = mi, t.second = s;
        t.utcOffset = offset;
        return t;
    };
    const std::vector<Case> cases = {
        {at(2026, 3, 9, 14, 5, 0, 0), 0, "2026-03-09T14:05:00+00:00"},
        {at(2026, 3, 9, 14, 5, 7, 0), 15, "2026-03-09T14:20:07+00:00"},
        {at(2026, 12, 31, 23, 50, 0, 3600), 15, "2027-01-01T00:05:00+01:00"},
        {at(2024, 2, 28, 23, 30, 0, -19800), 60, "2024-02-29T00:30:00-05:30"},
        {at(2025, 2, 28, 23, 30, 0, 0), 60, "2025-03-01T00:30:00+00:00"},
        {at(2026, 1, 1, 0, 0, 0, 20700), 9999, "2026-01-07T22:39:00+05:45"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsoTimeAfterMinutes(c.time, c.minutes), c.expected);
    }
}

class ScanStatusTest : public AppTest {
protected:
    NullTimer timer;
};

TEST_F(ScanStatusTest, TheRecordKeepsItsFieldsOnOneLineEachAndSkipsUnknownNames) {
    ScanRecord record;
    record.started = "2026-03-09T14:05:00+00:00";
    record.ended = "2026-03-09T14:06:00+00:00";
    record.ok = false;
    record.error = "Cannot write\r\nthe file";
    record.counts = {4, 3, 2, 1};
    record.nextScan = "2026-03-09T14:21:00+00:00";
    record.mailboxFailures = {{"news", "news", "pop", 110, "auth", "login failed: no"},
                              {"List Server", "ls", "pop", 995, "timeout", "reading broke off"}};
    record.mailboxesTried = 3;
    record.intervalMinutes = 15;
    record.running = "2026-03-09T14:20:00+00:00";
    WriteScanRecord(paths, record);
    const std::string bytes = Slurp(ScanRecordFile(paths));
    EXPECT_THAT(bytes, HasSubstr("\r\nOutcome=failed\r\nError=Cannot write  the file\r\n"));

    // A later program may add names; this one reads what it knows.
    Spit(ScanRecordFile(paths), bytes + "Held=7\r\nno equals sign\r\n");
    const std::optional<ScanRecord> back = ReadScanRecord(paths);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->started, record.started);
    EXPECT_EQ(back->ended, record.ended);
    EXPECT_FALSE(back->ok);
    EXPECT_EQ(back->error, "Cannot write  the file");
    EXPECT_EQ(back->counts.messagesRead, 4);
    EXPECT_EQ(back->counts.postingsSent, 3);
    EXPECT_EQ(back->counts.answersSent, 2);
    EXPECT_EQ(back->counts.messagesQueued, 1);
    EXPECT_EQ(back->nextScan, record.nextScan);
    EXPECT_EQ(back->mailboxFailures, record.mailboxFailures);
    EXPECT_EQ(back->mailboxesTried, 3);
    EXPECT_EQ(back->intervalMinutes, 15);
    EXPECT_EQ(back->running, record.running);
    // An older program's failure line is kept as its text.
    Spit(ScanRecordFile(paths), "Outcome=ok\r\nMailboxFailure=news: mailbox x - login failed\r\n");
    ASSERT_EQ(ReadScanRecord(paths)->mailboxFailures.size(), 1u);
    EXPECT_EQ(ReadScanRecord(paths)->mailboxFailures[0].message, "news: mailbox x - login failed");
}

// ok only when nothing failed; partial when a mailbox or a delivery failed; failed when the
// scan ended early or every mailbox it tried failed.
TEST(ScanVerdictTest, OutcomeByWhatFailed) {
    const MailboxFailure failure{"news", "news", "pop", 110, "auth", "login failed"};
    struct Case {
        const char* name;
        bool ok;
        int tried;
        int failed;
        ScanCounts counts;
        ScanVerdict expected;
    };
    const Case cases[] = {
        {"all read and sent", true, 2, 0, {3, 1, 1, 0, 0}, ScanVerdict::Ok},
        {"nothing configured", true, 0, 0, {}, ScanVerdict::Ok},
        {"one of two mailboxes failed", true, 2, 1, {}, ScanVerdict::Partial},
        {"a posting queued", true, 2, 0, {1, 0, 0, 1, 0}, ScanVerdict::Partial},
        {"a queued retry failed again", true, 2, 0, {0, 0, 0, 0, 1}, ScanVerdict::Partial},
        {"every mailbox failed", true, 2, 2, {}, ScanVerdict::Failed},
        {"ended early", false, 2, 0, {}, ScanVerdict::Failed},
    };
    for (const Case& c : cases) {
        ScanRecord record;
        record.ok = c.ok;
        record.mailboxesTried = c.tried;
        record.mailboxFailures.assign(static_cast<std::size_t>(c.failed), failure);
        record.counts = c.counts;
        EXPECT_EQ(VerdictOf(record), c.expected) << c.name;
    }
}

TEST(ScanVerdictTest, NextScanIsOverdueOnlyMoreThanAnIntervalLate) {
    ScanRecord record;
    record.ended = "2026-03-09T14:05:00+01:00";
    record.nextScan = "2026-03-09T14:20:00+01:00";
    const auto at = [](int hour, int minute) {
        LocalTime t;
        t.year = 2026;
        t.month = 3;
        t.day = 9;
        t.hour = hour;
        t.minute = minute;
        t.utcOffset = 0;
        return t;
    };
    // Without a recorded interval, the one from the end to the next scan (15 minutes).
    EXPECT_FALSE(NextScanOverdue(record, at(13, 35)));
    EXPECT_TRUE(NextScanOverdue(record, at(13, 36)));
    record.intervalMinutes = 60;
    EXPECT_FALSE(NextScanOverdue(record, at(14, 20)));
    EXPECT_TRUE(NextScanOverdue(record, at(14, 21)));
    record.nextScan.clear();
    EXPECT_FALSE(NextScanOverdue(record, at(23, 0)));
    EXPECT_EQ(IsoTimeSeconds("2026-03-09T14:20:00-00:30"),
              IsoTimeSeconds("2026-03-09T14:50:00+00:00"));
    EXPECT_EQ(IsoTimeSeconds("2026-03-09 14:20"), std::nullopt);
}

TEST_F(ScanStatusTest, AScanIsRecordedAndOnlyItsSchedulerMovesTheNextScan) {
    EXPECT_FALSE(ReadScanRecord(paths));
    RunRecordedScan(services, timer, 15);
    std::optional<ScanRecord> record = ReadScanRecord(paths);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->started, "2026-03-09T14:05:00+00:00");
    EXPECT_EQ(record->ended, "2026-03-09T14:05:00+00:00");
    EXPECT_TRUE(record->ok);
    EXPECT_EQ(record->nextScan, "2026-03-09T14:20:00+00:00");

    // A scan by hand between two scheduled ones leaves the schedule as it was.
    clock.AdvanceSeconds(60);
    RunRecordedScan(services, timer, std::nullopt);
    record = ReadScanRecord(paths);
    EXPECT_EQ(record->started, "2026-03-09T14:06:00+00:00");
    EXPECT_EQ(record->nextScan, "2026-03-09T14:20:00+00:00");

    RecordNextScan(services, 0);
    EXPECT_EQ(ReadScanRecord(paths)->nextScan, "");
    EXPECT_EQ(ReadScanRecord(paths)->started, "2026-03-09T14:06:00+00:00");
}

TEST_F(ScanStatusTest, AFailedScanKeepsItsErrorAndAnUnwritableRecordIsOnlyTold) {
    store->WriteRegString(paths.SettingsKey(), "ListServerHost", "pop.example.test");
    store->WriteRegString(paths.SettingsKey(), "ListServerUserID", "lists");
    pop3.AddMailbox("pop.example.test", 110, "lists", "");
    pop3.Put("pop.example.test", 110, "lists", "From: a@example.test\r\nSubject: x\r\n\r\n");
    pop3.beforeOperation = [](const std::string& op) {
        if (op.rfind("TOP", 0) == 0) {
            throw Failure(ErrorKind::Io, "disk gone");
        }
    };
    const ScanOutcome outcome = RunRecordedScan(services, timer, 0);
    EXPECT_FALSE(outcome.ok);
    std::optional<ScanRecord> record = ReadScanRecord(paths);
    ASSERT_TRUE(record);
    EXPECT_FALSE(record->ok);
    EXPECT_THAT(record->error, HasSubstr("disk gone"));

    DeleteFileIfExists(ScanRecordFile(paths));
    ForceDirectories(ScanRecordFile(paths));  // a folder where the record should be
    pop3.beforeOperation = nullptr;
    EXPECT_TRUE(RunRecordedScan(services, timer, 0).ok);
    EXPECT_THAT(observer.statusTexts, Contains(HasSubstr("Cannot write the scan status record: ")));
}

}  // namespace
}  // namespace corvanteer::testing
