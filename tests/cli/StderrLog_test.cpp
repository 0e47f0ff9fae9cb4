#include "cli/StderrLog.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "common/TempDir.h"

namespace corvanteer::cli {
namespace {

TEST(StderrLogTest, TheJournalStreamMustNameTheFileTheDescriptorIsOpenOn) {
    testing::TempDir dir;
    const int fd = open(dir.File("err").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    const int other = open(dir.File("other").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_GE(other, 0);
    struct stat info {};
    ASSERT_EQ(fstat(fd, &info), 0);
    const std::string stream = std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    EXPECT_TRUE(IsJournalStream(stream.c_str(), fd));
    // Standard error redirected elsewhere by a child keeps the variable.
    EXPECT_FALSE(IsJournalStream(stream.c_str(), other));
    for (const std::string& wrong :
         {std::string(), std::string("journal"), stream + "x", std::to_string(info.st_dev) + ":"}) {
        EXPECT_FALSE(IsJournalStream(wrong.c_str(), fd)) << wrong;
    }
    EXPECT_FALSE(IsJournalStream(nullptr, fd));
    close(fd);
    close(other);
}

TEST(StderrLogTest, TheLogStampIsFoundInAnyLocale) {
    const struct {
        const char* line;
        const char* rest;
    } cases[] = {
        {"Tue,08Dec26 05:40:30 news: i sent msg to a@example.test",
         "news: i sent msg to a@example.test"},
        {"mar.,08déc.26 05:40:30 pending msg from x: sent", "pending msg from x: sent"},
        // No stamp: left whole, also when a time stands later in the line.
        {"news: msg from a - sent at 10:11:12 ok", "news: msg from a - sent at 10:11:12 ok"},
        {"a,b 10:11:12", "a,b 10:11:12"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WithoutLogStamp(c.line), c.rest) << c.line;
    }
}

TEST(StderrLogTest, LinesCarryAPriorityInsteadOfAStampOnlyForTheJournal) {
    std::ostringstream terminal;
    std::ostringstream journal;
    for (StderrLog log : {StderrLog(terminal, false), StderrLog(journal, true)}) {
        log.Line("mailbox news at pop.example.test:995: login failed", LogPriority::Error);
        log.Stamped("Mon,09Mar26 14:20:00 ", "scan started", LogPriority::Info);
        log.LogLine("Mon,09Mar26 14:20:05 news: msg to a@example.test - failed (Ateempt 1)",
                    LogPriority::Warning);
    }
    EXPECT_EQ(terminal.str(),
              "mailbox news at pop.example.test:995: login failed\n"
              "Mon,09Mar26 14:20:00 scan started\n"
              "Mon,09Mar26 14:20:05 news: msg to a@example.test - failed (Ateempt 1)\n");
    EXPECT_EQ(journal.str(),
              "<3>mailbox news at pop.example.test:995: login failed\n"
              "<6>scan started\n"
              "<4>news: msg to a@example.test - failed (Ateempt 1)\n");
}

}  // namespace
}  // namespace corvanteer::cli
