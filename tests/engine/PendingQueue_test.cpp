#include "engine/PendingQueue.h"

#include <algorithm>
#include <stdexcept>

#include "EngineFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

class PendingQueueTest : public EngineTest {
protected:
    const Lines message{"To: x@y.org", "Subject: s", "", "body"};

    std::string Out(const std::string& name) const { return paths.OutFolder() + name; }
    // The only queue file, parsed.
    QueuedMessage OnlyQueued() {
        auto files = QueueFiles();
        EXPECT_EQ(files.size(), 1u);
        QueuedMessage queued;
        if (files.size() == 1) {
            EXPECT_TRUE(ParseQueueFile(Slurp(Out(files[0])), queued));
        }
        return queued;
    }
    void Queue(int attempts = 1) {
        QueueFailedMessage(
            services, attempts,
            Envelope{"news@lists.test", {"a@x.org", "b@x.org"}, LinesToText(message)});
    }
};

TEST(QueueFile, FormatIsByteExact) {
    QueuedMessage m{
        2, "news@lists.test", {"a@x.org", "b@x.org"}, LinesToText({"Subject: s", "", "body"})};
    EXPECT_EQ(FormatQueueFile(m),
              "2\r\nnews@lists.test\r\na@x.org\r\nb@x.org\r\n\r\nSubject: s\r\n\r\nbody\r\n\r\n");
}

TEST(QueueFile, ReadingKeepsTheFinalEmptyLineAsAMessageLine) {
    QueuedMessage m{1, "f@x.org", {"a@x.org", "b@x.org"}, LinesToText({"1", "2", "", "4", "5"})};
    QueuedMessage back;
    ASSERT_TRUE(ParseQueueFile(FormatQueueFile(m), back));
    EXPECT_EQ(back.attempts, 1);
    EXPECT_EQ(back.from, "f@x.org");
    EXPECT_EQ(back.sendTo, m.sendTo);
    EXPECT_EQ(TextToLines(back.message), (Lines{"1", "2", "", "4", "5", ""}));

    // A file written by hand with LF line ends and blanks around the count reads the same.
    ASSERT_TRUE(ParseQueueFile(" 3 \nf@x.org\na@x.org\n\nline\n", back));
    EXPECT_EQ(back.attempts, 3);
    EXPECT_EQ(back.sendTo, (Lines{"a@x.org"}));
    EXPECT_EQ(TextToLines(back.message), (Lines{"line"}));
}

TEST(QueueFile, NoRecipientsDoesNotSwallowTheHeader) {
    QueuedMessage m{1, "f@x.org", {}, LinesToText({"To: all@x.org", "", "body"})};
    QueuedMessage back;
    ASSERT_TRUE(ParseQueueFile(FormatQueueFile(m), back));
    EXPECT_TRUE(back.sendTo.empty());
    EXPECT_EQ(TextToLines(back.message), (Lines{"To: all@x.org", "", "body", ""}));
}

TEST(QueueFile, MalformedTextsAreRefused) {
    QueuedMessage back;
    EXPECT_FALSE(ParseQueueFile("", back));
    EXPECT_FALSE(ParseQueueFile("1\r\n", back));
    EXPECT_FALSE(ParseQueueFile("one\r\nf@x.org\r\na@x.org\r\n\r\nbody\r\n", back));
    EXPECT_FALSE(ParseQueueFile("-1\r\nf@x.org\r\na@x.org\r\n\r\nbody\r\n", back));
    EXPECT_FALSE(ParseQueueFile("1\r\nf@x.org\r\na@x.org\r\nb@x.org\r\n", back));
}

TEST_F(PendingQueueTest, QueueFileNameAndContent) {
    ASSERT_FALSE(DirectoryExists(paths.OutFolder()));
    EXPECT_TRUE(QueueFailedMessage(services, 1,
                                   Envelope{"news@lists.test", {"a@x.org"}, LinesToText(message)}));
    auto files = QueueFiles();
    ASSERT_EQ(files.size(), 1u);
    const std::string& name = files[0];
    ASSERT_EQ(name.size(), 12u);
    EXPECT_TRUE(EndsWith(name, ".dat"));
    for (char c : name.substr(0, 8)) {
        EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) << name;
    }
    EXPECT_EQ(Slurp(Out(name)),
              "1\r\nnews@lists.test\r\na@x.org\r\n\r\nTo: x@y.org\r\nSubject: s\r\n\r\nbody\r\n"
              "\r\n");
    // A second message gets a name of its own.
    Queue();
    EXPECT_EQ(QueueFiles().size(), 2u);
}

TEST_F(PendingQueueTest, LimitDecidesWhetherAFileIsWritten) {
    console.globals.SmtpMaxAttempts = 2;
    EXPECT_FALSE(
        QueueFailedMessage(services, 2, Envelope{"f@x.org", {"a@x.org"}, LinesToText(message)}));
    console.globals.SmtpMaxAttempts = 1;
    EXPECT_FALSE(
        QueueFailedMessage(services, 1, Envelope{"f@x.org", {"a@x.org"}, LinesToText(message)}));
    EXPECT_TRUE(QueueFiles().empty());
    // The folder is there even when nothing was written.
    EXPECT_TRUE(DirectoryExists(paths.OutFolder()));
    console.globals.SmtpMaxAttempts = 0;
    EXPECT_TRUE(
        QueueFailedMessage(services, 1000, Envelope{"f@x.org", {"a@x.org"}, LinesToText(message)}));
    console.globals.SmtpMaxAttempts = -1;
    EXPECT_TRUE(
        QueueFailedMessage(services, 5, Envelope{"f@x.org", {"a@x.org"}, LinesToText(message)}));
    EXPECT_EQ(QueueFiles().size(), 2u);
}

TEST_F(PendingQueueTest, DefaultLimitTwoMeansOneRetryThenGone) {
    smtp.failAll = true;
    Queue();
    QueueRunCounts counts = SendPendingMail(services);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(smtp.sent.size(), 1u);
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_EQ(LogLines(),
              (Lines{"Mon,09Mar26 14:05:00 pending msg from news@lists.test: failed (Attempt 2)"}));
    // Nothing left for the next scan.
    SendPendingMail(services);
    EXPECT_EQ(smtp.sent.size(), 1u);
}

TEST_F(PendingQueueTest, LimitThreeRequeuesWithHigherCountAndOneMoreEmptyLine) {
    console.globals.SmtpMaxAttempts = 3;
    smtp.failAll = true;
    Queue();
    SendPendingMail(services);
    QueuedMessage second = OnlyQueued();
    EXPECT_EQ(second.attempts, 2);
    EXPECT_EQ(second.from, "news@lists.test");
    EXPECT_EQ(second.sendTo, (Lines{"a@x.org", "b@x.org"}));
    EXPECT_EQ(TextToLines(second.message),
              (Lines{"To: x@y.org", "Subject: s", "", "body", "", ""}));
    // What went out on the retry is what the file held.
    EXPECT_EQ(smtp.sent[0].message, (Lines{"To: x@y.org", "Subject: s", "", "body", ""}));
    EXPECT_EQ(smtp.sent[0].sendTo, (Lines{"a@x.org", "b@x.org"}));

    SendPendingMail(services);
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(LogLines(),
              (Lines{"Mon,09Mar26 14:05:00 pending msg from news@lists.test: failed (Attempt 2)",
                     "Mon,09Mar26 14:05:00 pending msg from news@lists.test: failed (Attempt 3)"}));
}

TEST_F(PendingQueueTest, NoLimitRetriesAtEveryScan) {
    console.globals.SmtpMaxAttempts = 0;
    smtp.failAll = true;
    Queue();
    for (int scan = 0; scan < 5; ++scan) {
        SendPendingMail(services);
    }
    QueuedMessage queued = OnlyQueued();
    EXPECT_EQ(queued.attempts, 6);
    EXPECT_EQ(TextToLines(queued.message).size(), message.size() + 6);
    EXPECT_EQ(smtp.sent.size(), 5u);
}

TEST_F(PendingQueueTest, DeliveredMessageLeavesTheQueueAndShowsProgress) {
    Queue();
    QueueRunCounts counts = SendPendingMail(services);
    EXPECT_EQ(counts.sent, 1);
    EXPECT_TRUE(QueueFiles().empty());
    ASSERT_EQ(smtp.Delivered().size(), 1u);
    EXPECT_EQ(smtp.sent[0].from, "news@lists.test");
    EXPECT_EQ(LogLines(), (Lines{"Mon,09Mar26 14:05:00 pending msg from news@lists.test: sent "
                                 "successfully (Attempt 2)"}));
    EXPECT_EQ(observer.trayImages, (std::vector<int>{1, 0}));
    EXPECT_EQ(observer.statusTexts, (Lines{"Pending mail...", ""}));
}

TEST_F(PendingQueueTest, EmptyOrAbsentQueueShowsNothing) {
    SendPendingMail(services);
    ForceDirectories(paths.OutFolder());
    Spit(Out("notes.txt"), "not a queue file");
    SendPendingMail(services);
    EXPECT_TRUE(observer.trayImages.empty());
    EXPECT_TRUE(observer.statusTexts.empty());
    EXPECT_TRUE(smtp.sent.empty());
}

TEST_F(PendingQueueTest, MalformedFileIsMovedAsideNeitherSentNorDeleted) {
    Queue();
    const std::string bad = "1\r\nnews@lists.test\r\na@x.org\r\nSubject: no separator\r\n";
    Spit(Out("BADFILE1.dat"), bad);
    Spit(Out("BADFILE2.dat"), "x\r\nnews@lists.test\r\na@x.org\r\n\r\nbody\r\n");
    QueueRunCounts counts = SendPendingMail(services);
    EXPECT_EQ(counts.malformed, 2);
    EXPECT_EQ(counts.sent, 1);
    EXPECT_EQ(smtp.sent.size(), 1u);
    EXPECT_TRUE(QueueFiles().empty());
    EXPECT_EQ(Slurp(paths.BadQueueFolder() + "BADFILE1.dat"), bad);
    EXPECT_TRUE(FileExists(paths.BadQueueFolder() + "BADFILE2.dat"));
    Lines log = LogLines();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "Mon,09Mar26 14:05:00 pending msg file BADFILE1.dat: not a queue file - "
                         "moved to out/bad/BADFILE1.dat"),
              1);
    // A later file of the same name does not overwrite the one set aside.
    Spit(Out("BADFILE1.dat"), "again");
    SendPendingMail(services);
    EXPECT_EQ(Slurp(paths.BadQueueFolder() + "BADFILE1.dat"), bad);
    EXPECT_EQ(ListFiles(paths.BadQueueFolder(), ".dat").size(), 3u);
    EXPECT_TRUE(QueueFiles().empty());
}

TEST_F(PendingQueueTest, QueueFileOutlivesACrashDuringTheRetry) {
    Queue();
    const std::string name = QueueFiles().at(0);
    const std::string before = Slurp(Out(name));
    bool sawFile = false;
    smtp.accept = [&](const FakeSmtp::Sent&) -> bool {
        sawFile = FileExists(Out(name));
        throw std::runtime_error("connection lost");
    };
    EXPECT_THROW(SendPendingMail(services), std::runtime_error);
    EXPECT_TRUE(sawFile);
    EXPECT_EQ(QueueFiles(), (Lines{name}));
    EXPECT_EQ(Slurp(Out(name)), before);
    // The window does not stay busy.
    EXPECT_EQ(observer.trayImages.back(), 0);
    EXPECT_EQ(observer.statusTexts.back(), "");
}

TEST_F(PendingQueueTest, FailedRetryKeepsTheFileWhileSendingThenReplacesIt) {
    console.globals.SmtpMaxAttempts = 0;
    Queue();
    const std::string name = QueueFiles().at(0);
    size_t filesDuringSend = 0;
    smtp.accept = [&](const FakeSmtp::Sent&) {
        filesDuringSend = QueueFiles().size();
        return false;
    };
    SendPendingMail(services);
    EXPECT_EQ(filesDuringSend, 1u);
    auto files = QueueFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_NE(files[0], name);
    EXPECT_EQ(OnlyQueued().attempts, 2);
}

}  // namespace
}  // namespace corvanteer::testing
