#include "engine/ThreadArchive.h"

#include "EngineFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

class ThreadArchiveTest : public EngineTest {
protected:
    std::string Threads(const std::string& name) const {
        return AddBackslash(paths.ThreadsFolder("news")) + name;
    }
    void Archive(const std::string& from, const std::string& subject, Lines body) {
        Lines message{"To: all@lists.test", "From: " + from, "Subject: " + subject,
                      "Date: whenever", ""};
        message.insert(message.end(), body.begin(), body.end());
        ArchiveThread(services, "news", LinesToText(message));
    }
    const std::string hashes = std::string(40, '#');
};

TEST(ThreadSubject, OneReplyPrefixIsRemoved) {
    EXPECT_EQ(ThreadSubject("  Meeting  "), "Meeting");
    EXPECT_EQ(ThreadSubject("RE: meeting"), "meeting");
    EXPECT_EQ(ThreadSubject(" re:Meeting"), "Meeting");
    EXPECT_EQ(ThreadSubject("Re: Re: Meeting"), "Re: Meeting");
    EXPECT_EQ(ThreadSubject("Reply hazy"), "Reply hazy");
    EXPECT_EQ(ThreadSubject("re:"), "");
}

TEST_F(ThreadArchiveTest, FirstPostingStartsThreadOneAndRepliesJoinIt) {
    Archive("Ann Author <ann@example.org>", "Meeting", {"Hello,", "", "see you.", "-- \r\nsig"});
    EXPECT_EQ(Slurp(Threads("threads")), "1 Meeting\r\n");
    const std::string first =
        "From: Ann Author\r\nSubject: Meeting\r\nDate: Mon, 9 Mar 2026 14:05:00 GMT\r\n\r\n"
        "Hello,\r\n\r\nsee you.\r\n-- \r\nsig\r\n\r\n" +
        hashes + "\r\n";
    EXPECT_EQ(Slurp(Threads("1.txt")), first);

    clock.AdvanceSeconds(3600);
    Archive("bob@example.org", "RE: meeting", {"Fine."});
    EXPECT_EQ(Slurp(Threads("threads")), "1 Meeting\r\n");
    EXPECT_EQ(Slurp(Threads("1.txt")),
              first +
                  "From: bob@example.org\r\nSubject: meeting\r\nDate: Mon, 9 Mar 2026 "
                  "15:05:00 GMT\r\n\r\nFine.\r\n\r\n" +
                  hashes + "\r\n");
}

TEST_F(ThreadArchiveTest, NewSubjectsTakeTheSmallestFreeNumber) {
    Archive("Ann <ann@example.org>", "Meeting", {"a"});
    Archive("Ann <ann@example.org>", "Re: Re: Meeting", {"b"});
    EXPECT_EQ(Slurp(Threads("threads")), "1 Meeting\r\n2 Re: Meeting\r\n");
    EXPECT_TRUE(FileExists(Threads("2.txt")));

    Spit(Threads("threads"), "1 One\r\n\r\n3 Three\r\nstray line\r\n");
    Archive("Ann <ann@example.org>", "Two", {});
    EXPECT_EQ(Slurp(Threads("threads")), "1 One\r\n\r\n3 Three\r\nstray line\r\n2 Two\r\n");
    const std::string date = "Date: Mon, 9 Mar 2026 14:05:00 GMT\r\n";
    EXPECT_EQ(Slurp(Threads("2.txt")),
              "From: Ann\r\nSubject: Re: Meeting\r\n" + date + "\r\nb\r\n\r\n" + hashes +
                  "\r\nFrom: Ann\r\nSubject: Two\r\n" + date + "\r\n\r\n" + hashes + "\r\n");
    // Stored subjects are compared trimmed and without regard to case.
    Archive("Ann <ann@example.org>", "re: THREE", {"c"});
    EXPECT_FALSE(FileExists(Threads("4.txt")));
    EXPECT_TRUE(Contains(Slurp(Threads("3.txt")), "Subject: THREE\r\n"));
}

}  // namespace
}  // namespace corvanteer::testing
