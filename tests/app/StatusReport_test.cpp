// The status report's two forms, and what it collects.

#include "app/StatusReport.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "engine/digest/DigestStore.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

class StatusReportTest : public AppTest {};

TEST_F(StatusReportTest, CollectsQueueVerificationsAndMembersOfEveryList) {
    MakeList("news");
    MakeList("talk");
    SetSection("news", "MemberList", {"a@x.test 0 1", "b@x.test 1 2", "c@x.test 0 3"});
    // A score from today, one gone stale, and a member disabled.
    ForceDirectories(paths.appDir + "Lists/news");
    Spit(paths.BounceStateFile("news"),
         "a@x.test 1.0 2026-03-09 5.1.1 no - 0 - -\r\nb@x.test 1.0 2026-02-01 5.1.1 no - 0 - -\r\n"
         "c@x.test 5.0 2026-03-08 5.1.1 bounces 2026-03-08 1 2026-03-08 enable-A\r\n");
    ForceDirectories(paths.OutFolder());
    Spit(paths.OutFolder() + "AAAAAAAA.dat", "queued");
    Spit(paths.OutFolder() + "BBBBBBBB.dat", "queued");
    Spit(paths.OutFolder() + "held-20260309140500-000000.dat", "queued");
    Spit(paths.OutFolder() + "notes.txt", "not a queue file");
    Spit(paths.VericodeFile(),
         "authnews2603091405000 d@x.test\r\n\r\nauthtalk2603091405000 e@x.test\r\n");

    const InstallationStatus status = CollectStatus(services);
    EXPECT_FALSE(status.record);
    EXPECT_EQ(status.queue.failed, 2);
    EXPECT_EQ(status.queue.held, 1);
    EXPECT_EQ(status.pendingVerifications, 2);
    ASSERT_EQ(status.lists.size(), 2u);
    EXPECT_EQ(status.lists[0].name, "news");
    EXPECT_EQ(status.lists[0].members, 3u);
    EXPECT_EQ(status.lists[0].banned, 1u);
    EXPECT_EQ(status.lists[0].bouncing, 1u);
    EXPECT_EQ(status.lists[0].disabled, 1u);
    EXPECT_EQ(status.lists[1].members, 0u);
    EXPECT_EQ(status.lists[0].modes, (std::array<size_t, 4>{3, 0, 0, 0}));
    EXPECT_EQ(status.lists[0].digestPostings, 0u);
}

TEST_F(StatusReportTest, CountsMembersByModeAndThePendingDigest) {
    MakeList("news");
    SetSection("news", "MemberList",
               {"a@x.test 0 1", "b@x.test 1 2", "c@x.test 0 3", "d@x.test 0 4"});
    Spit(paths.appDir + "news.modes",
         "b@x.test digest\r\nc@x.test nomail\r\nd@x.test digest\r\ngone@x.test nomail\r\n");
    DigestStore digest(paths, "news");
    digest.Collect("first posting\r\n");
    digest.Collect("second\r\n");

    const InstallationStatus status = CollectStatus(services);
    ASSERT_EQ(status.lists.size(), 1u);
    EXPECT_EQ(status.lists[0].modes, (std::array<size_t, 4>{1, 2, 0, 1}));
    EXPECT_EQ(status.lists[0].digestPostings, 2u);
    EXPECT_EQ(status.lists[0].digestBytes, 23u);
    EXPECT_NE(StatusJson(status).find(
                  "\"modes\":{\"each\":1,\"digest\":2,\"plain-digest\":0,\"nomail\":1},"
                  "\"digest\":{\"postings\":2,\"bytes\":23}}"),
              std::string::npos)
        << StatusJson(status);
}

TEST(StatusFormatTest, TextAndJsonSayTheSame) {
    InstallationStatus status;
    ScanRecord record;
    record.started = "2026-03-09T14:05:00+00:00";
    record.ended = "2026-03-09T14:05:09+00:00";
    record.ok = false;
    record.error = "List Server mailbox: \"pop\" refused";
    record.counts = {5, 1, 2, 0, 0};
    record.mailboxFailures = {{"news", "news", "pop", 110, "auth", "login failed"}};
    record.mailboxesTried = 2;
    record.nextScan = "2026-03-09T14:20:09+00:00";
    status.record = record;
    status.running = true;
    status.runningSince = "2026-03-09T15:00:00+00:00";
    status.nextScanOverdue = true;
    status.queue = {3, 4, 2};
    status.pendingVerifications = 1;
    ListStatus talk{"talk", 2, 2};
    talk.bouncing = 1;
    talk.disabled = 1;
    status.lists = {{"news", 1, 0}, talk};
    EXPECT_EQ(StatusText(status),
              "scan running: since 2026-03-09T15:00:00+00:00\n"
              "last scan: 2026-03-09T14:05:00+00:00 to 2026-03-09T14:05:09+00:00, failed (ended "
              "early: List Server mailbox: \"pop\" refused)\n"
              "last scan counts: 5 read, 1 posted, 2 answered, 0 queued\n"
              "mailbox failed: news: mailbox news at pop:110 - login failed\n"
              "next scan: 2026-03-09T14:20:09+00:00 (overdue)\n"
              "queue: 3 failed, 4 held, 2 given up\n"
              "pending verifications: 1\n"
              "list news: 1 member, 0 banned\n"
              "list talk: 2 members, 2 banned, 1 bouncing, 1 disabled\n");
    EXPECT_EQ(
        StatusJson(status),
        "{\"lastScan\":{\"started\":\"2026-03-09T14:05:00+00:00\",\"ended\":\"2026-03-09T14:"
        "05:09+00:00\",\"outcome\":\"failed\",\"error\":\"List Server mailbox: \\\"pop\\\" "
        "refused\",\"read\":5,\"posted\":1,\"answered\":2,\"queued\":0,\"failures\":[{"
        "\"mailbox\":\"news\",\"host\":\"pop\",\"port\":110,\"kind\":\"auth\",\"message\":"
        "\"login failed\"}]},\"running\":{\"since\":\"2026-03-09T15:00:00+00:00\"},"
        "\"nextScan\":\"2026-03-09T14:20:09+00:00\",\"nextScanOverdue\":true,"
        "\"queue\":{\"failed\":3,\"held\":4,\"givenUp\":2},\"pendingVerifications\":1,"
        "\"lists\":[{\"name\":\"news\",\"members\":1,\"banned\":0,\"bouncing\":0,\"disabled\":0,"
        "\"modes\":{\"each\":0,\"digest\":0,\"plain-digest\":0,\"nomail\":0},\"digest\":{"
        "\"postings\":0,\"bytes\":0}},{\"name\":\"talk\",\"members\":2,\"banned\":2,\"bouncing\":1,"
        "\"disabled\":1,"
        "\"modes\":{\"each\":0,\"digest\":0,\"plain-digest\":0,\"nomail\":0},\"digest\":{"
        "\"postings\":0,\"bytes\":0}}]}\n");
    EXPECT_EQ(StatusProblems(status),
              (std::vector<std::string>{"the last scan failed",
                                        "the next scan, due 2026-03-09T14:20:09+00:00, is overdue",
                                        "2 given-up messages waiting (queue retry)"}));

    InstallationStatus none;
    EXPECT_EQ(StatusText(none),
              "last scan: none recorded\nnext scan: none scheduled\nqueue: 0 failed, 0 held, 0 "
              "given up\npending verifications: 0\n");
    EXPECT_EQ(StatusJson(none),
              "{\"lastScan\":null,\"running\":null,\"nextScan\":null,\"nextScanOverdue\":false,"
              "\"queue\":{\"failed\":0,\"held\":0,\"givenUp\":0},\"pendingVerifications\":0,"
              "\"lists\":[]}\n");
    EXPECT_TRUE(StatusProblems(none).empty());
}

// A scan in progress shows while it holds the session lock; a record left by a runner that
// died shows no scan running, and a next scan more than an interval late as overdue.
TEST_F(StatusReportTest, RunningWhileTheLockIsHeldAndOverdueWhenTheRunnerStopped) {
    ScanRecord record;
    record.started = "2026-03-09T13:00:00+00:00";
    record.ended = "2026-03-09T13:01:00+00:00";
    record.nextScan = "2026-03-09T13:16:00+00:00";
    record.intervalMinutes = 15;
    record.running = "2026-03-09T14:00:00+00:00";
    WriteScanRecord(paths, record);

    InstallationStatus status = CollectStatus(services);  // the clock says 14:05
    EXPECT_FALSE(status.running);
    EXPECT_TRUE(status.nextScanOverdue);

    FileLock session(paths.SessionLockFile());
    ASSERT_TRUE(session.TryLock());
    status = CollectStatus(services);
    EXPECT_TRUE(status.running);
    EXPECT_EQ(status.runningSince, "2026-03-09T14:00:00+00:00");
    EXPECT_FALSE(status.nextScanOverdue);
}

TEST(StatusFormatTest, JsonTextsAreAlwaysValid) {
    struct Case {
        std::string name;
        std::string json;
    };
    const std::vector<Case> cases = {
        {"plain", "\"plain\""},
        {"caf\xC3\xA9", "\"caf\xC3\xA9\""},                // UTF-8 passes as it is
        {"caf\xE9", "\"caf\xC3\xA9\""},                    // Latin-1 bytes become their characters
        {"\xED\xA0\x80", "\"\xC3\xAD\xC2\xA0\xC2\x80\""},  // an encoded surrogate is no UTF-8
        {"\xC3", "\"\xC3\x83\""},                          // nor is a cut sequence
        {"tab\there\x01", "\"tab\\there\\u0001\""},
        {"back\\slash", "\"back\\\\slash\""},
    };
    for (const Case& c : cases) {
        InstallationStatus status;
        status.lists = {{c.name, 0, 0}};
        const std::string json = StatusJson(status);
        EXPECT_NE(json.find("[{\"name\":" + c.json + ","), std::string::npos) << json;
    }
}

}  // namespace
}  // namespace corvanteer::testing
