#include "app/Scheduler.h"

#include "app/ScanStatus.h"

#include <gmock/gmock.h>

#include <functional>
#include <stdexcept>

#include "AppFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Le;

constexpr int64_t kMinute = 60000;

// Moves the fake clock instead of waiting; a hook lets a test act at a moment.
class FakeSleeper : public Sleeper {
public:
    explicit FakeSleeper(FakeClock& clock) : clock_(clock) {}
    void SleepMs(int64_t ms, const std::atomic<bool>& /*stop*/) override {
        sleeps.push_back(ms);
        ASSERT_EQ(ms % 1000, 0) << "waits stay in whole seconds here";
        clock_.AdvanceSeconds(ms / 1000);
        if (afterSleep) {
            afterSleep(clock_.MonotonicMs());
        }
        ASSERT_LT(sleeps.size(), 100000u) << "the loop does not end";
    }
    std::vector<int64_t> sleeps;
    std::function<void(int64_t)> afterSleep;

private:
    FakeClock& clock_;
};

class SchedulerTest : public AppTest {
protected:
    SchedulerTest() : sleeper(clock), start(clock.MonotonicMs()) {}

    // Each scan lasts 90 s; the scan numbered stopAfter asks for the shutdown.
    Scheduler MakeScheduler(int stopAfter) {
        auto scan = [this, stopAfter]() {
            scanStarts.push_back(clock.MonotonicMs() - start);
            clock.AdvanceSeconds(90);
            if (static_cast<int>(scanStarts.size()) == stopAfter) {
                Spit(paths.ShutdownFile(), "");
            }
            ScanOutcome outcome;
            outcome.counts.messagesRead = 2;
            outcome.counts.postingsSent = 1;
            return outcome;
        };
        return Scheduler(services, scan, Recorder(), sleeper, stop);
    }

    Scheduler::Reporter Recorder() {
        return [this](const ReportLine& line) {
            lines.push_back(line.Whole());
            priorities.push_back(line.priority);
        };
    }

    FakeSleeper sleeper;
    int64_t start;
    std::atomic<bool> stop{false};
    std::vector<int64_t> scanStarts;
    std::vector<std::string> lines;
    std::vector<LogPriority> priorities;
};

TEST_F(SchedulerTest, EachScanStartsOneIntervalAfterThePreviousEnded) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 15);
    EXPECT_EQ(MakeScheduler(3).Run({}), 3);
    EXPECT_THAT(scanStarts,
                ElementsAre(15 * kMinute, 30 * kMinute + 90000, 45 * kMinute + 2 * 90000));
    EXPECT_THAT(sleeper.sleeps, Each(Le(Scheduler::kShutdownCheckMs)));
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
    EXPECT_EQ(lines.size(), 7u);  // started and finished per scan, then the ending
    EXPECT_EQ(lines[0], "Mon,09Mar26 14:20:00 scan started");
    EXPECT_EQ(lines[1].substr(21), "scan finished: 2 read, 1 posted, 0 answered, 0 queued");
    EXPECT_EQ(lines.back().substr(21), "shutdown file found: ending");
}

TEST_F(SchedulerTest, OverrideAndScanAtOnce) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 15);
    SchedulerOptions options;
    options.intervalMinutes = 1;
    options.scanAtOnce = true;
    EXPECT_EQ(MakeScheduler(2).Run(options), 2);
    EXPECT_THAT(scanStarts, ElementsAre(0, 1 * kMinute + 90000));
}

TEST_F(SchedulerTest, ChangedIntervalAppliesAfterTheNextScan) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 1);
    Scheduler scheduler = MakeScheduler(3);
    sleeper.afterSleep = [this](int64_t) {
        store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 2);
    };
    scheduler.Run({});
    EXPECT_THAT(scanStarts, ElementsAre(1 * kMinute, 3 * kMinute + 90000, 5 * kMinute + 2 * 90000));
}

TEST_F(SchedulerTest, IntervalZeroNeverScansButStillEndsOnTheShutdownFile) {
    sleeper.afterSleep = [this](int64_t now) {
        if (now - start >= 10 * kMinute) {
            Spit(paths.ShutdownFile(), "");
        }
    };
    EXPECT_EQ(MakeScheduler(0).Run({}), 0);
    EXPECT_TRUE(scanStarts.empty());
    EXPECT_EQ(sleeper.sleeps.size(), 120u);  // every 5 s for 10 minutes
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
}

TEST_F(SchedulerTest, StopFlagSetDuringAScanEndsTheLoopAfterIt) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 5);
    auto scan = [this]() {
        scanStarts.push_back(clock.MonotonicMs() - start);
        stop = true;  // SIGTERM arrives while the scan runs
        clock.AdvanceSeconds(30);
        return ScanOutcome{};
    };
    Scheduler scheduler(services, scan, Recorder(), sleeper, stop);
    EXPECT_EQ(scheduler.Run({std::nullopt, true}), 1);
    EXPECT_EQ(lines.back().substr(21), "stop requested: ending");
}

TEST_F(SchedulerTest, AFailedScanIsReportedAndPollingGoesOn) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 1);
    int calls = 0;
    auto scan = [&]() -> ScanOutcome {
        ++calls;
        if (calls == 1) {
            throw std::runtime_error("store is gone");
        }
        Spit(paths.ShutdownFile(), "");
        return ScanOutcome{false, "POP3 login failed", {}, {}};
    };
    Scheduler scheduler(services, scan, Recorder(), sleeper, stop);
    EXPECT_EQ(scheduler.Run({}), 2);
    EXPECT_EQ(lines[1].substr(21),
              "scan ended early (store is gone): 0 read, 0 posted, 0 answered, 0 queued");
    EXPECT_EQ(lines[3].substr(21),
              "scan ended early (POP3 login failed): 0 read, 0 posted, 0 answered, 0 queued");
    EXPECT_THAT(priorities, ElementsAre(LogPriority::Info, LogPriority::Error, LogPriority::Info,
                                        LogPriority::Error, LogPriority::Info));
}

// What a service manager is told, in order.
class RecordingNotifier final : public ServiceNotifier {
public:
    void Ready(const std::string& status) override { said.push_back("READY " + status); }
    void Status(const std::string& status) override { said.push_back("STATUS " + status); }
    void Stopping() override { said.push_back("STOPPING"); }
    void Alive() override { ++pings; }

    std::vector<std::string> said;
    int pings = 0;
};

TEST_F(SchedulerTest, TheManagerHearsReadyAStatusAfterEveryScanAndStopping) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 15);
    Scheduler scheduler = MakeScheduler(2);
    RecordingNotifier notifier;
    scheduler.SetNotifier(notifier);
    sleeper.afterSleep = [&](int64_t) {
        // Ready comes once stale verifications are gone, before the first wait.
        EXPECT_THAT(notifier.said, ::testing::Not(::testing::IsEmpty()));
    };
    EXPECT_EQ(scheduler.Run({}), 2);
    // The clock starts at 14:05; each scan takes 90 s and the next comes 15 minutes after.
    EXPECT_THAT(
        notifier.said,
        ElementsAre("READY first scan 14:20",
                    "STATUS last scan 14:20: 2 read, 1 posted, 0 queued; next 14:36",
                    "STATUS last scan 14:36: 2 read, 1 posted, 0 queued; next 14:53", "STOPPING"));
    // A sign of life at every turn of the loop, so at least as often as it sleeps.
    EXPECT_GE(notifier.pings, static_cast<int>(sleeper.sleeps.size()));
}

TEST(SchedulerStatusLineTest, SaysHowTheLastScanWentAndWhenTheNextIsDue) {
    LocalTime started;
    started.hour = 23;
    started.minute = 50;
    LocalTime ended = started;
    ended.minute = 58;
    ScanOutcome outcome;
    outcome.counts.messagesRead = 5;
    outcome.counts.postingsSent = 2;
    EXPECT_EQ(Scheduler::StatusLine(started, outcome, ended, 15),
              "last scan 23:50: 5 read, 2 posted, 0 queued; next 00:13");
    outcome.mailboxFailures = {{"news", "news", "pop.example.test", 995, "auth", "login failed"}};
    EXPECT_EQ(Scheduler::StatusLine(started, outcome, ended, 0),
              "last scan 23:50: 5 read, 2 posted, 0 queued, 1 mailbox failed; polling disabled");
    outcome.ok = false;
    outcome.mailboxFailures.push_back(outcome.mailboxFailures[0]);
    EXPECT_EQ(Scheduler::StatusLine(started, outcome, ended, 1440),
              "last scan 23:50 ended early: 5 read, 2 posted, 0 queued, 2 mailboxes failed; "
              "next 23:58");
}

TEST_F(SchedulerTest, StaleVerificationsAreExpiredBeforeTheFirstScan) {
    MakeList("news");
    // Written twenty days ago (VerifyDays 7 + 2 have passed) and today.
    Spit(paths.VericodeFile(),
         "authnews2602171200000 old@example.test\r\nauthnews2603091300000 new@example.test\r\n");
    Lines seenByScan;
    auto scan = [&]() {
        seenByScan = TextToLines(Slurp(paths.VericodeFile()));
        stop = true;
        return ScanOutcome{};
    };
    Scheduler scheduler(services, scan, nullptr, sleeper, stop);
    EXPECT_EQ(scheduler.Run({std::nullopt, true}), 1);
    EXPECT_THAT(seenByScan, ElementsAre("authnews2603091300000 new@example.test"));
}

TEST_F(SchedulerTest, ShutdownFilePresentAtTheStartEndsAtOnce) {
    Spit(paths.ShutdownFile(), "");
    EXPECT_EQ(MakeScheduler(1).Run({std::nullopt, true}), 0);
    EXPECT_TRUE(scanStarts.empty());
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
}

TEST_F(SchedulerTest, TheStatusRecordShowsTheNextScanAndNoneOnceTheLoopEnds) {
    store->WriteRegInteger(paths.SettingsKey(), "SessionInterval", 15);
    std::vector<std::string> seen;  // the next scan as the record tells it when a scan starts
    auto scan = [&]() {
        seen.push_back(ReadScanRecord(paths).value_or(ScanRecord{}).nextScan);
        clock.AdvanceSeconds(90);
        if (seen.size() == 2) {
            Spit(paths.ShutdownFile(), "");
        }
        return ScanOutcome{};
    };
    Scheduler scheduler(services, scan, nullptr, sleeper, stop);
    EXPECT_EQ(scheduler.Run({}), 2);
    EXPECT_THAT(seen, ElementsAre("2026-03-09T14:20:00+00:00", "2026-03-09T14:36:30+00:00"));
    EXPECT_EQ(ReadScanRecord(paths)->nextScan, "");
}

}  // namespace
}  // namespace corvanteer::testing
