// The status report's two forms, and what it collects.

#include "app/StatusReport.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

class StatusReportTest : public AppTest {};

TEST_F(StatusReportTest, CollectsQueueVerificationsAndMembersOfEveryList) {
    MakeList("news");
    MakeList("talk");
    SetSection("news", "MemberList", {"a@x.test 0 1", "b@x.test 1 2", "c@x.test 0 3"});
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
    EXPECT_EQ(status.lists[1].members, 0u);
}

TEST(StatusFormatTest, TextAndJsonSayTheSame) {
    InstallationStatus status;
    status.record = ScanRecord{"2026-03-09T14:05:00+00:00",
                               "2026-03-09T14:05:09+00:00",
                               false,
                               "List Server mailbox: \"pop\" refused",
                               {5, 1, 2, 0},
                               "",
                               {"news: mailbox news at pop:110 - login failed"}};
    status.queue.failed = 3;
    status.queue.held = 4;
    status.pendingVerifications = 1;
    status.lists = {{"news", 1, 0}, {"talk", 2, 2}};
    EXPECT_EQ(StatusText(status),
              "last scan: 2026-03-09T14:05:00+00:00 to 2026-03-09T14:05:09+00:00, ended early: "
              "List Server mailbox: \"pop\" refused\n"
              "last scan counts: 5 read, 1 posted, 2 answered, 0 queued\n"
              "mailbox failed: news: mailbox news at pop:110 - login failed\n"
              "next scan: none scheduled\n"
              "queue: 3 failed, 4 held\n"
              "pending verifications: 1\n"
              "list news: 1 member, 0 banned\n"
              "list talk: 2 members, 2 banned\n");
    EXPECT_EQ(StatusJson(status),
              "{\"lastScan\":{\"started\":\"2026-03-09T14:05:00+00:00\",\"ended\":\"2026-03-09T14:"
              "05:09+00:00\",\"outcome\":\"failed\",\"error\":\"List Server mailbox: \\\"pop\\\" "
              "refused\",\"read\":5,\"posted\":1,\"answered\":2,\"queued\":0,\"mailboxFailures\":["
              "\"news: "
              "mailbox news at pop:110 - login failed\"]},\"nextScan\":null,"
              "\"queue\":{\"failed\":3,\"held\":4},\"pendingVerifications\":1,\"lists\":[{\"name\":"
              "\"news\","
              "\"members\":1,\"banned\":0},{\"name\":\"talk\",\"members\":2,\"banned\":2}]}\n");

    InstallationStatus none;
    EXPECT_EQ(StatusText(none),
              "last scan: none recorded\nnext scan: none scheduled\nqueue: 0 failed, 0 held\n"
              "pending verifications: 0\n");
    EXPECT_EQ(StatusJson(none),
              "{\"lastScan\":null,\"nextScan\":null,\"queue\":{\"failed\":0,\"held\":0},"
              "\"pendingVerifications\":0,\"lists\":[]}\n");
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
