// post (with a fake SMTP client) and the saved messages of posts.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class PostCommandsTest : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
        WriteSection(
            DataFile("news"), "MemberList",
            {"a@example.test 0 111111", "b@example.test 0 222222", "c@example.test 0 333333"});
        ASSERT_EQ(Run({"config", "set", "SMTPHost", "smtp.example.test"}).status, 0);
        ASSERT_EQ(Run({"config", "set", "SMTPPort", "2525"}).status, 0);
        ASSERT_EQ(
            Run({"config", "set", "ListPostingAddress", "news@example.test", "--list", "news"})
                .status,
            0);
    }
    std::string LogText() { return ReadFileIfExists(paths.LogFile()).value_or(""); }
};

TEST_F(PostCommandsTest, IndividualPostingSendsOneCopyPerMemberWithTheStoredSettings) {
    ASSERT_EQ(Run({"config", "set", "PostingMethod", "1", "--list", "news"}).status, 0);
    Spit(home.File("body.txt"), "First line\nSecond line\n");
    CliResult r = Run({"post", "news", "--from", "Operator <op@example.test>", "--subject", "Hello",
                       "--body", home.File("body.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Posted to 3 of 3 members.\n");
    EXPECT_THAT(r.err, HasSubstr("Posting to b@example.test (2/3)\n"));
    ASSERT_EQ(smtp.sent.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(smtp.sent[i].host, "smtp.example.test");
        EXPECT_EQ(smtp.sent[i].port, 2525);
        EXPECT_EQ(smtp.sent[i].from, "news@example.test");
        EXPECT_THAT(smtp.sent[i].message, Contains("Subject: Hello"));
        EXPECT_THAT(smtp.sent[i].message, Contains("Second line"));
    }
    EXPECT_THAT(smtp.sent[2].sendTo, ElementsAre("c@example.test"));
    EXPECT_THAT(LogText(), HasSubstr("news: msg from news@example.test - sent to 3 of 3 members."));
    EXPECT_TRUE(DirectoryExists(paths.ThreadsFolder("news")));
}

TEST_F(PostCommandsTest, BccPostingReadsTheBodyFromStandardInput) {
    CliResult r =
        Run({"post", "news", "--from", "op@example.test", "--subject", "All"}, "Body text\r\n");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_THAT(smtp.sent[0].sendTo,
                ElementsAre("a@example.test", "b@example.test", "c@example.test"));
    EXPECT_THAT(smtp.sent[0].message, Contains("Body text"));
    EXPECT_THAT(r.err, HasSubstr("Posting via Bcc"));
}

TEST_F(PostCommandsTest, TheStopFlagAbortsBetweenMembersAndNothingIsArchived) {
    ASSERT_EQ(Run({"config", "set", "PostingMethod", "1", "--list", "news"}).status, 0);
    int sends = 0;
    smtp.accept = [&](const FakeSmtp::Sent&) {
        if (++sends == 2) {
            stop = true;  // "Abort" pressed while the second copy goes out
        }
        return true;
    };
    CliResult r = Run({"post", "news", "--from", "op@example.test", "--subject", "Hi"}, "x\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(r.err.rfind("corvanteer-cli:")),
              "corvanteer-cli: Posting aborted after 2 of 3 members.\n");
    EXPECT_EQ(smtp.sent.size(), 2u);
    EXPECT_THAT(LogText(), HasSubstr("sent to 2 of 3 members."));
    EXPECT_FALSE(DirectoryExists(paths.ThreadsFolder("news")));
}

TEST_F(PostCommandsTest, FailedCopiesAreQueuedAndCounted) {
    ASSERT_EQ(Run({"config", "set", "PostingMethod", "1", "--list", "news"}).status, 0);
    smtp.accept = [](const FakeSmtp::Sent& s) { return s.sendTo[0] != "b@example.test"; };
    CliResult r = Run({"post", "news", "--from", "op@example.test", "--subject", "Hi"}, "x\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Posted to 3 of 3 members; 1 queued for the next scan.\n");
    // Why: one line for the copy that was queued.
    EXPECT_THAT(r.err, HasSubstr("\nmsg to b@example.test queued (attempt 1): "));
    Lines queue = OutputLines(Run({"queue"}).out);
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_THAT(queue[0], ::testing::EndsWith(".dat 1 news@example.test 1"));
}

TEST_F(PostCommandsTest, PostingRefusesAnUnknownListAnEmptyRosterAndAMissingBody) {
    EXPECT_EQ(Run({"post", "nosuch", "--from", "f@x.test", "--subject", "s"}, "x").status, 1);
    ASSERT_EQ(Run({"lists", "add", "empty"}).status, 0);
    CliResult empty = Run({"post", "empty", "--from", "f@x.test", "--subject", "s"}, "x");
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "corvanteer-cli: The list \"empty\" has no members.\n");
    CliResult missing = Run({"post", "news", "--from", "f@x.test", "--subject", "s", "--body",
                             home.File("absent.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(OutputLines(missing.err).size(), 1u);
    EXPECT_TRUE(smtp.sent.empty());
}

TEST_F(PostCommandsTest, SavedMessagesAreSavedListedShownAndDeleted) {
    CliResult saved = Run(
        {"posts", "save", "news", "weekly note", "--from", "Op <op@x.test>", "--subject", "Weekly"},
        "Hello all\n\nBye\n");
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_EQ(Slurp(paths.PostsFolder("news") + "weekly note.txt"),
              "From: Op <op@x.test>\r\nSubject: Weekly\r\n\r\nHello all\r\n\r\nBye\r\n");
    EXPECT_EQ(Run({"posts", "list", "news"}).out, "weekly note\n");
    EXPECT_EQ(Run({"posts", "show", "news", "weekly note"}).out,
              "From: Op <op@x.test>\nSubject: Weekly\n\nHello all\n\nBye\n");
    EXPECT_EQ(Run({"posts", "delete", "news", "weekly note"}).status, 0);
    EXPECT_EQ(Run({"posts", "list", "news"}).out, "");
    EXPECT_EQ(Run({"posts", "show", "news", "weekly note"}).status, 1);
    EXPECT_EQ(Run({"posts", "delete", "news", "weekly note"}).status, 1);
}

TEST_F(PostCommandsTest, MessageNamesThatLeaveThePostsFolderAreRefused) {
    for (const char* name : {"../escape", "a/b", "a\\b", "  "}) {
        CliResult r =
            Run({"posts", "save", "news", name, "--from", "f@x.test", "--subject", "s"}, "x\n");
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
    }
    EXPECT_FALSE(FileExists(home.File("Lists/escape.txt")));
    EXPECT_EQ(Run({"posts", "list", "news"}).out, "");
}

}  // namespace
}  // namespace corvanteer::testing
