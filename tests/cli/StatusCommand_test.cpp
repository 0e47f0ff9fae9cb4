// status and status --json after scans by the command line.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class StatusCommandTest : public CliTest {};

TEST_F(StatusCommandTest, TellsTheLastScanAndTheInstallationsState) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    WriteSection(DataFile("news"), "MemberList", {"a@example.test 0 1", "b@example.test 1 2"});
    EXPECT_EQ(Run({"status"}).out,
              "last scan: none recorded\nnext scan: none scheduled\nqueue: 0 failed, 0 held, 0 "
              "given up\npending verifications: 0\nlist news: 2 members, 1 banned\n");

    ASSERT_EQ(Run({"config", "set", "ListServerHost", "pop.example.test"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "ListServerUserID", "lists"}).status, 0);
    pop3.AddMailbox("pop.example.test", 110, "lists", "");
    pop3.Put("pop.example.test", 110, "lists", "From: x@example.test\r\nSubject: hello\r\n\r\n");
    ASSERT_EQ(Run({"scan"}).status, 0);

    CliResult text = Run({"status"});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out,
              "last scan: 2026-03-09T14:05:00+00:00 to 2026-03-09T14:05:00+00:00, ok\n"
              // "hello" is no command the List Server knows: it gets the help answer.
              "last scan counts: 1 read, 0 posted, 1 answered, 0 queued\n"
              "next scan: none scheduled\nqueue: 0 failed, 0 held, 0 given up\n"
              "pending verifications: 0\nlist news: 2 members, 1 banned\n");
    CliResult json = Run({"status", "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_THAT(json.out, HasSubstr("{\"lastScan\":{\"started\":\"2026-03-09T14:05:00+00:00\""));
    EXPECT_THAT(json.out, HasSubstr("\"outcome\":\"ok\",\"error\":null,\"read\":1,"));
    EXPECT_THAT(json.out, HasSubstr("\"lists\":[{\"name\":\"news\",\"members\":2,\"banned\":1,"
                                    "\"bouncing\":0,\"disabled\":0,\"modes\":{\"each\":2,"));

    // --check: quiet and 0 while all is well; 1 with the reason once a mailbox failed.
    CliResult check = Run({"status", "--check"});
    EXPECT_EQ(check.status, 0);
    EXPECT_THAT(check.out, HasSubstr("\ncheck: ok\n"));
    pop3.Find("pop.example.test", 110, "lists")->refuseLogin = true;
    EXPECT_EQ(Run({"scan"}).status, 1);
    check = Run({"status", "--check"});
    EXPECT_EQ(check.status, 1);
    EXPECT_THAT(check.out, HasSubstr("\ncheck: the last scan failed\n"));
    EXPECT_EQ(Run({"status", "--check", "--json"}).status, 1);
    EXPECT_THAT(Run({"status", "--json"}).out,
                HasSubstr("\"failures\":[{\"mailbox\":\"List Server\",\"host\":\"pop.example."
                          "test\",\"port\":110,\"kind\":\"auth\",\"message\":\"login failed\"}]"));
}

}  // namespace
}  // namespace corvanteer::testing
