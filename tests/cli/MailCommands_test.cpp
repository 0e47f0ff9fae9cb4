// scan, run, queue, queue flush and expire with fake mail clients.

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "cli/CliFixture.h"
#include "engine/GivenUpMail.h"
#include "engine/PendingQueue.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kHost = "pop.example.test";

class MailCommandsTest : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
        WriteSection(DataFile("news"), "MemberList",
                     {"a@example.test 0 111111", "b@example.test 0 222222"});
        for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
                 {"ListServerHost", kHost},
                 {"ListServerUserID", "lists"},
                 {"ListServerPassword", "pw"},
                 {"ListServerAddress", "lists@example.test"},
                 {"SMTPHost", "smtp.example.test"},
                 {"Pop3Host", kHost, "--list", "news"},
                 {"Pop3User", "news", "--list", "news"},
                 {"Pop3Password", "pw", "--list", "news"},
                 {"AllowPostBy", "1", "--list", "news"},
                 {"ListPostingAddress", "news@example.test", "--list", "news"}}) {
            std::vector<std::string> args{"config", "set"};
            args.insert(args.end(), words.begin(), words.end());
            ASSERT_EQ(Run(args).status, 0) << JoinLines(words, " ");
        }
        pop3.AddMailbox(kHost, 110, "lists", "pw");
        pop3.AddMailbox(kHost, 110, "news", "pw");
    }
    void PutPosting() {
        pop3.Put(kHost, 110, "news",
                 "From: a@example.test\r\nTo: news@example.test\r\nSubject: Hi all\r\n\r\n"
                 "Hello, list\r\n");
    }
    void WriteQueueFile(const std::string& name, const std::string& bytes) {
        ForceDirectories(paths.OutFolder());
        Spit(paths.OutFolder() + name, bytes);
    }
};

TEST_F(MailCommandsTest, ScanReadsEveryMailboxAndPostsWithProgressOnStandardError) {
    PutPosting();
    CliResult r = Run({"scan"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_THAT(r.err, HasSubstr("mailbox lists at pop.example.test:110: 0 messages\n"));
    EXPECT_THAT(r.err, HasSubstr("mailbox news at pop.example.test:110: 1 message\n"));
    EXPECT_THAT(r.err, HasSubstr("scan finished: 1 read, 1 posted, 0 answered, 0 queued\n"));
    ASSERT_EQ(smtp.sent.size(), 1u);
    EXPECT_EQ(smtp.sent[0].host, "smtp.example.test");
    EXPECT_EQ(smtp.sent[0].port, 25);
    EXPECT_THAT(smtp.sent[0].sendTo, ElementsAre("a@example.test", "b@example.test"));
    EXPECT_THAT(smtp.sent[0].message, ::testing::Contains("Hello, list"));
    EXPECT_THAT(smtp.sent[0].message, ::testing::Contains("Subject: Hi all"));
}

// A mailbox whose reading breaks off is named on standard error with the cause; the scan
// does the rest (the other list is read) and then exits 1.
TEST_F(MailCommandsTest, AMailboxLostMidwayIsNamedAndTheScanExitsOne) {
    ASSERT_EQ(Run({"lists", "add", "sports"}).status, 0);
    for (const char* name : {"Pop3Host", "Pop3User", "Pop3Password"}) {
        const std::string value = std::string(name) == "Pop3Host" ? kHost : "sports";
        ASSERT_EQ(Run({"config", "set", name, value, "--list", "sports"}).status, 0);
    }
    pop3.AddMailbox(kHost, 110, "sports", "sports");
    pop3.Put(kHost, 110, "sports", "From: a@example.test\r\nSubject: s\r\n\r\nb\r\n");
    PutPosting();
    PutPosting();
    pop3.Find(kHost, 110, "news")->dropAt = "TOP 1";
    const std::string line =
        "news: mailbox news at pop.example.test:110 - reading broke off at "
        "message 1 (connection lost)";

    CliResult r = Run({"scan"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.err, HasSubstr(line + "\n"));
    // The walk goes from the last message down: news' second one came whole before the drop.
    EXPECT_THAT(r.err, HasSubstr("scan finished: 2 read, "));
    EXPECT_TRUE(pop3.Find(kHost, 110, "sports")->messages.empty());
    EXPECT_EQ(pop3.Find(kHost, 110, "news")->messages.size(), 2u);
    EXPECT_THAT(Slurp(paths.LogFile()), HasSubstr(line));
}

TEST_F(MailCommandsTest, ARefusedCertificateIsNamedOnStandardErrorAndTheSmtpClientGetsItsSecurity) {
    ASSERT_EQ(Run({"config", "set", "SMTPSecurity", "starttls"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "SMTPTlsFingerprint", std::string(64, 'A')}).status, 0);
    pop3.Find(kHost, 110, "news")->loginFailure =
        Fail(MailFailure::Certificate, "certificate of pop.example.test refused: name mismatch");
    smtp.failure = Fail(MailFailure::Tls, "smtp.example.test:25 does not offer STARTTLS");
    PutPosting();
    pop3.Put(kHost, 110, "lists", "From: c@example.test\r\nSubject: subscribe news\r\n\r\n");
    CliResult r = Run({"scan"});
    EXPECT_THAT(r.err, HasSubstr("mailbox news at pop.example.test:110: login failed: "
                                 "certificate of pop.example.test refused: name mismatch\n"));
    EXPECT_THAT(r.err, HasSubstr("SMTP: smtp.example.test:25 does not offer STARTTLS\n"));
    ASSERT_FALSE(smtp.sent.empty());
    EXPECT_EQ(smtp.sent[0].security.Mode, "starttls");
    EXPECT_EQ(smtp.sent[0].security.Fingerprint, std::string(64, 'A'));
}

TEST_F(MailCommandsTest, CheckPrintsTheReportAndFailsWhenAServerFails) {
    CliResult r = Run({"check"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("SMTP server smtp.example.test:25 (security auto)\n"));
    EXPECT_THAT(r.out, HasSubstr("Mailbox of list \"news\": news at pop.example.test:110"));
    smtp.failure = Fail(MailFailure::Connect, "cannot connect to smtp.example.test:25");
    r = Run({"check"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("  FAILED: cannot connect to smtp.example.test:25\n"));
    EXPECT_EQ(Run({"check", "--list", "news"}).status, 0);
    EXPECT_EQ(Run({"check", "--list", "nonesuch"}).status, 1);
    EXPECT_TRUE(pop3.Find(kHost, 110, "news")->messages.empty());

    // An installation where nothing is configured cannot pass a check.
    for (const char* host : {"SMTPHost", "ListServerHost"}) {
        ASSERT_EQ(Run({"config", "set", host, ""}).status, 0);
    }
    ASSERT_EQ(Run({"config", "set", "Pop3Host", "", "--list", "news"}).status, 0);
    CliResult none = Run({"check"});
    EXPECT_EQ(none.status, 1);
    EXPECT_THAT(none.out, HasSubstr("nothing is configured\n"));
}

TEST_F(MailCommandsTest, RunEndsAtOnceWhenTheShutdownFileIsThereAndDeletesIt) {
    Spit(paths.ShutdownFile(), "");
    CliResult r = Run({"run", "--now"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(FileExists(paths.ShutdownFile()));
    EXPECT_THAT(r.err, HasSubstr("shutdown file found: ending"));
    EXPECT_THAT(r.err, HasSubstr("ended after 0 scans\n"));
    EXPECT_TRUE(pop3.log.empty());
}

TEST_F(MailCommandsTest, RunExpiresFirstAndFinishesTheRunningScanWhenStopped) {
    Spit(paths.VericodeFile(), "authnews2501010000000 old@example.test\r\n");
    PutPosting();
    // The stop (a signal, in the program) comes while the scan reads the first mailbox.
    pop3.beforeOperation = [this](const std::string& operation) {
        if (operation == "QUIT") {
            stop = true;
        }
    };
    CliResult r = Run({"run", "--now", "--interval", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(paths.VericodeFile()), "");
    EXPECT_THAT(r.err, HasSubstr("expired 1 pending verifications"));
    const size_t finished = r.err.find("scan finished: 1 read, 1 posted");
    const size_t stopped = r.err.find("stop requested: ending");
    EXPECT_NE(finished, std::string::npos) << r.err;
    EXPECT_NE(stopped, std::string::npos) << r.err;
    EXPECT_LT(finished, stopped);
    EXPECT_THAT(r.err, HasSubstr("ended after 1 scan\n"));
    EXPECT_EQ(smtp.sent.size(), 1u);
}

// What the service manager is told, in order.
class RecordingNotifier final : public ServiceNotifier {
public:
    void Ready(const std::string& status) override { said.push_back("READY " + status); }
    void Status(const std::string& status) override { said.push_back("STATUS " + status); }
    void Stopping() override { said.push_back("STOPPING"); }
    void Alive() override { ++pings; }

    std::vector<std::string> said;
    int pings = 0;
};

TEST_F(MailCommandsTest, RunAsAServiceWritesTheLogWithPrioritiesAndNotifiesItsManager) {
    RecordingNotifier manager;
    notifier = &manager;
    journal = true;
    PutPosting();
    smtp.failAll = true;  // the posting waits in the queue
    pop3.beforeOperation = [this](const std::string& operation) {
        if (operation == "QUIT") {
            stop = true;
        }
    };
    CliResult r = Run({"run", "--now", "--interval", "5"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const std::string& line : OutputLines(r.err)) {
        EXPECT_THAT(line, ::testing::MatchesRegex("<[346]>.*")) << r.err;
        EXPECT_THAT(line, Not(HasSubstr("14:05:00"))) << "a stamp of its own";
    }
    // Queued, it reached nobody yet: "failed to post".
    EXPECT_THAT(r.err, HasSubstr("<6>news: i failed to post msg by a@example.test (Hi all)"));
    EXPECT_THAT(r.err, HasSubstr("<4>news: msg from news@example.test - failed (Attempt 1)\n"));
    EXPECT_THAT(r.err, HasSubstr("<6>mailbox news at pop.example.test:110: 1 message\n"));
    // The status texts only repeat the log: the journal does without them.
    EXPECT_THAT(r.err, Not(HasSubstr("Posting via Bcc")));
    EXPECT_THAT(
        manager.said,
        ElementsAre("READY first scan now",
                    "STATUS last scan 14:05: 1 read, 0 posted, 1 queued; next 14:10", "STOPPING"));
    EXPECT_GT(manager.pings, 0);
    // The log file keeps its stamps.
    EXPECT_THAT(Slurp(paths.LogFile()),
                HasSubstr("\r\nMon,09Mar26 14:05:00 news: i failed to post msg by a@example.test "
                          "(Hi all) - PostMethod = 0\r\n"));
}

TEST_F(MailCommandsTest, QueueListsEveryQueuedMessageAndFlushRetriesThem) {
    QueuedMessage message;
    message.attempts = 2;
    message.from = "news@example.test";
    message.sendTo = {"a@example.test", "b@example.test", "c@example.test"};
    message.message = "Subject: queued\r\n\r\nbody\r\n";
    WriteQueueFile("B0000002.dat", FormatQueueFile(message));
    WriteQueueFile("A0000001.dat", "not a queue file\r\n");
    // The null sender of a bounce: the columns stay where they are.
    message.from.clear();
    message.attempts = 1;
    WriteQueueFile("C0000003.dat", FormatQueueFile(message));
    CliResult listed = Run({"queue"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "A0000001.dat - - - malformed\n"
              "B0000002.dat 2 news@example.test 3\n"
              "C0000003.dat 1 - 3\n");

    CliResult flushed = Run({"queue", "flush"});
    EXPECT_EQ(flushed.status, 0) << flushed.err;
    EXPECT_EQ(flushed.out, "Sent 2, failed 0, malformed 1.\n");
    ASSERT_EQ(smtp.sent.size(), 2u);
    EXPECT_EQ(smtp.sent[0].sendTo.size(), 3u);
    EXPECT_EQ(Run({"queue"}).out, "");
}

// A flush that gives a message up says why; queue lists it apart; retry puts it back.
TEST_F(MailCommandsTest, GivenUpMailIsListedApartAndRetryPutsItBack) {
    QueuedMessage message;
    message.attempts = 1;
    message.from = "news@example.test";
    message.sendTo = {"a@example.test"};
    message.message = "Subject: queued\r\n\r\nbody\r\n";
    WriteQueueFile("B0000002.dat", FormatQueueFile(message));
    smtp.failAll = true;
    CliResult flushed = Run({"queue", "flush"});
    EXPECT_EQ(flushed.status, 0) << flushed.err;
    EXPECT_EQ(flushed.out, "Sent 0, failed 1, malformed 0, given up 1.\n");
    EXPECT_THAT(flushed.err, HasSubstr("msg from news@example.test to a@example.test given up "
                                       "after 2 attempts: "));

    const std::vector<GivenUpEntry> givenUp = ListGivenUp(paths);
    ASSERT_EQ(givenUp.size(), 1u);
    EXPECT_EQ(Run({"queue"}).out,
              "given up (corvanteer-cli queue retry NAME|--all puts them back):\n" +
                  givenUp[0].name + " 2 news@example.test 1 given-up\n");
    EXPECT_THAT(Run({"queue", "--json"}).out,
                HasSubstr(R"("file":")" + givenUp[0].name +
                          R"(","malformed":false,"held":false,)"
                          R"("givenUp":true,"attempts":2,"from":"news@example.test")"));
    EXPECT_EQ(Run({"queue", "retry", "NOSUCH00.dat"}).status, 1);
    EXPECT_EQ(Run({"queue", "retry"}).status, 2);
    CliResult retried = Run({"queue", "retry", givenUp[0].name});
    EXPECT_EQ(retried.status, 0) << retried.err;
    EXPECT_THAT(Run({"queue"}).out, ::testing::MatchesRegex("[0-9A-Z]{8}\\.dat 1 news@example"
                                                            "\\.test 1\n"));
    EXPECT_EQ(Run({"queue", "retry", "--all"}).out,
              "Put 0 given-up messages back into the queue.\n");
}

TEST_F(MailCommandsTest, HeldMessagesAreListedApartAndFlushedAsTheCapsAllow) {
    QueuedMessage message{0, "news@example.test", {"a@example.test", "b@example.test"}, {"x"}};
    WriteQueueFile("held-20260309140500-000000.dat", FormatQueueFile(message));
    WriteQueueFile("held-20260309140400-000007.dat", FormatQueueFile(message));
    message.attempts = 1;
    WriteQueueFile("Z0000001.dat", FormatQueueFile(message));
    EXPECT_EQ(Run({"queue"}).out,
              "Z0000001.dat 1 news@example.test 2\n"
              "held-20260309140400-000007.dat 0 news@example.test 2 held\n"
              "held-20260309140500-000000.dat 0 news@example.test 2 held\n");

    ASSERT_EQ(Run({"config", "set", "MaxRecipientsPerDay", "3"}).status, 0);
    CliResult flushed = Run({"queue", "flush"});
    EXPECT_EQ(flushed.out, "Sent 1, failed 0, malformed 0, held 2.\n");
    EXPECT_EQ(Run({"queue"}).out,
              "Z0000001.dat 1 news@example.test 2\n"
              "held-20260309140500-000000.dat 0 news@example.test 2 held\n");
}

// Each listing's --json parses and carries its documented members.
TEST_F(MailCommandsTest, JsonListingsParseAndCarryTheirKeys) {
    QueuedMessage message{1, "", {"a@example.test"}, "x\r\n"};
    WriteQueueFile("B0000002.dat", FormatQueueFile(message));
    WriteQueueFile("held-20260309140400-000007.dat", "not a queue file\r\n");
    ASSERT_EQ(Run({"members", "ban", "news", "b@example.test"}).status, 0);
    ASSERT_EQ(
        Run({"posts", "save", "news", "welcome", "--from", "x@example.test", "--subject", "Hi"},
            "text\n")
            .status,
        0);
    struct Case {
        std::vector<std::string> args;
        const char* expected;  // the parsed output, written out again
    };
    const std::vector<Case> cases = {
        {{"lists", "--json"}, R"({"lists":["news"]})"},
        {{"members", "show", "news", "--json"},
         R"({"list":"news","total":2,"banned":1,"members":[{"address":"a@example.test",)"
         R"("banned":false},{"address":"b@example.test","banned":true}]})"},
        {{"posts", "list", "news", "--json"}, R"({"list":"news","posts":["welcome"]})"},
        {{"queue", "--json"},
         R"({"messages":[{"file":"B0000002.dat","malformed":false,"held":false,"givenUp":false,)"
         R"("attempts":1,"from":null,"recipients":1},{"file":"held-20260309140400-000007.dat",)"
         R"("malformed":true,"held":false,"givenUp":false,"attempts":0,"from":null,)"
         R"("recipients":0}]})"},
    };
    for (const Case& c : cases) {
        CliResult r = Run(c.args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(nlohmann::ordered_json::parse(r.out).dump(), c.expected) << c.args[0];
    }

    CliResult check = Run({"check", "--json"});
    EXPECT_EQ(check.status, 0) << check.err;
    const auto report = nlohmann::json::parse(check.out);
    EXPECT_EQ(report["passed"], true);
    ASSERT_EQ(report["servers"].size(), 3u);
    EXPECT_EQ(report["servers"][0]["kind"], "smtp");
    EXPECT_EQ(report["servers"][0]["host"], "smtp.example.test");
    EXPECT_EQ(report["servers"][2]["list"], "news");
    EXPECT_EQ(report["servers"][2]["user"], "news");
    EXPECT_EQ(report["servers"][2]["passed"], true);

    CliResult oauth = Run({"oauth", "status", "--json"});
    EXPECT_EQ(oauth.status, 0) << oauth.err;
    const auto accounts = nlohmann::json::parse(oauth.out)["accounts"];
    ASSERT_EQ(accounts.size(), 3u);
    EXPECT_EQ(accounts[1]["account"], "listserver");
    EXPECT_EQ(accounts[1]["method"], "password");
    EXPECT_EQ(accounts[1]["user"], "lists");
    EXPECT_EQ(accounts[1]["signedIn"], false);
}

TEST_F(MailCommandsTest, ExpireDropsOnlyStaleVerifications) {
    Spit(paths.VericodeFile(),
         "authnews2501010000000 old@example.test\r\nauthnews2603080000000 new@example.test\r\n");
    CliResult r = Run({"expire"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Expired 1 pending verification; 1 kept.\n");
    EXPECT_EQ(Slurp(paths.VericodeFile()), "authnews2603080000000 new@example.test\r\n");
}

// Every file the program writes is its user's alone and every folder it makes too, whatever
// the umask: settings, data files, log, temp files, archive, queue, pending verifications,
// saved messages, an export and a backup.
class FileModesTest : public MailCommandsTest {
protected:
    ScopedUmask umask_{0};  // from before SetUp on
    TempDir elsewhere;
};

TEST_F(FileModesTest, EveryFileAndFolderWrittenIsPrivateUnderUmaskZero) {
    PutPosting();
    pop3.Put(kHost, 110, "lists", "From: new@example.test\r\nSubject: subscribe news\r\n\r\n");
    CliResult scan = Run({"scan"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    ASSERT_TRUE(FileExists(paths.VericodeFile()));
    ASSERT_TRUE(DirectoryExists(paths.ThreadsFolder("news")));

    smtp.failAll = true;
    ASSERT_EQ(Run({"post", "news", "--from", "f@x.test", "--subject", "s"}, "x\n").status, 0);
    ASSERT_EQ(ListFiles(paths.OutFolder(), ".dat").size(), 1u);
    ASSERT_EQ(Run({"members", "add", "news", "c@example.test"}).status, 0);
    Spit(elsewhere.File("in.txt"), "d@example.test\n");
    ASSERT_EQ(Run({"members", "import", "news", elsewhere.File("in.txt")}).status, 0);
    ASSERT_EQ(Run({"members", "export", "news", home.File("out.txt")}).status, 0);
    ASSERT_EQ(
        Run({"posts", "save", "news", "hello", "--from", "f@x.test", "--subject", "s"}, "body\n")
            .status,
        0);
    ASSERT_EQ(Run({"backup"}).status, 0);
    ASSERT_TRUE(FileExists(paths.appDir + "Backup/manifest.sha256"));

    EXPECT_EQ(NotPrivate(home.Path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace corvanteer::testing
