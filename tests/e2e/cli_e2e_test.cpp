// corvanteer-cli, the built program, against real mail servers on loopback: the headless run
// loop and its shutdown file, the loop under systemd (journal stream, notify socket), a manual
// posting aborted by SIGINT, backup and restore, member import, and the update check against
// a local web server.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/TempDir.h"
#include "e2e/ChildProcess.h"
#include "e2e/MailServers.h"
#include "support/Locks.h"

extern char** environ;

namespace {

using corvanteer::testing::ChildProcess;
using corvanteer::testing::MailServers;
using corvanteer::testing::Slurp;
using corvanteer::testing::Spit;
using corvanteer::testing::TempDir;
using namespace std::chrono_literals;

constexpr const char* kProgram = CORVANTEER_CLI_BINARY;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t CountOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The program run as a child with its standard streams in files.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& stem,
               const std::string& input, const std::vector<std::string>& extraEnv)
        : outPath_(stem + ".out"), errPath_(stem + ".err") {
        const std::string inPath = stem + ".in";
        Spit(inPath, input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> words{kProgram};
        words.insert(words.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            env.emplace_back(*entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        std::vector<char*> envp;
        for (std::string& entry : env) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        const int error = posix_spawn(&pid_, kProgram, &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            throw std::runtime_error(std::string("cannot start ") + kProgram);
        }
    }
    ~CliProcess() {
        if (!ended_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // True once the program has ended (within the limit).
    bool Wait(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!ended_) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                ended_ = true;
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    // Waits (within the limit) until standard error holds the text that many times.
    bool WaitForErr(const std::string& text, size_t times, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (CountOf(Err(), text) < times) {
            if (std::chrono::steady_clock::now() >= deadline || Wait(0ms)) {
                return CountOf(Err(), text) >= times;
            }
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
    void Signal(int signal) { kill(pid_, signal); }
    int Status() const { return status_; }
    std::string Out() const { return Slurp(outPath_); }
    std::string Err() const { return Slurp(errPath_); }

private:
    std::string outPath_;
    std::string errPath_;
    pid_t pid_ = 0;
    bool ended_ = false;
    int status_ = -1;
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class CliE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        servers_.Start();
        for (const char* user : {"lists", "news", "alice", "bob", "carol"}) {
            servers_.AddUser(user, "pw");
        }
        home_ = dir_.File("home");
    }

    std::vector<std::string> WithHome(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--home", home_};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    std::string Stem() { return dir_.File("cli" + std::to_string(++runs_)); }

    CliRun Cli(const std::vector<std::string>& args, const std::string& input = "",
               const std::vector<std::string>& env = {}) {
        CliProcess process(WithHome(args), Stem(), input, env);
        if (!process.Wait(120s)) {
            ADD_FAILURE() << "corvanteer-cli did not end: " << process.Err();
        }
        return {process.Status(), process.Out(), process.Err()};
    }
    void MustRun(const std::vector<std::string>& args, const std::string& input = "") {
        CliRun run = Cli(args, input);
        ASSERT_EQ(run.status, 0) << run.err;
    }

    // The List Server mailbox, SMTP and the list "news" with three members, all through the
    // command line.
    void ConfigureList() {
        const std::string pop3 = std::to_string(servers_.Pop3Port());
        const std::string smtp = std::to_string(servers_.SmtpPort());
        const std::vector<std::vector<std::string>> settings = {
            {"ListServerAddress", MailServers::Address("lists")},
            {"ListServerHost", servers_.Host()},
            {"ListServerPort", pop3},
            {"ListServerUserID", "lists"},
            {"ListServerPassword", "pw"},
            {"SMTPHost", servers_.Host()},
            {"SMTPPort", smtp},
        };
        for (const auto& pair : settings) {
            MustRun({"config", "set", pair[0], pair[1]});
        }
        MustRun({"lists", "add", "news"});
        const std::vector<std::vector<std::string>> listSettings = {
            {"Pop3Host", servers_.Host()}, {"Pop3Port", pop3},
            {"Pop3User", "news"},          {"Pop3Password", "pw"},
            {"AllowPostBy", "1"},          {"ListPostingAddress", MailServers::Address("news")}};
        for (const auto& pair : listSettings) {
            MustRun({"config", "set", pair[0], pair[1], "--list", "news"});
        }
        for (const char* member : {"alice", "bob", "carol"}) {
            MustRun({"members", "add", "news", MailServers::Address(member)});
        }
    }

    void PutPosting(const std::string& subject) {
        servers_.PutMessage("news", "From: " + MailServers::Address("alice") + "\r\nTo: " +
                                        MailServers::Address("news") + "\r\nSubject: " + subject +
                                        "\r\n\r\nHello from the test.\r\n");
    }
    size_t Received(const std::string& user, const std::string& subject) {
        size_t count = 0;
        for (const std::string& message : servers_.ReadMailbox(user)) {
            count += Contains(message, "Subject: " + subject + "\r\n") ? 1 : 0;
        }
        return count;
    }

    TempDir dir_;
    MailServers servers_;
    std::string home_;
    int runs_ = 0;
};

TEST_F(CliE2eTest, RunScansOnItsIntervalAndTheShutdownFileEndsItAfterTheRunningScan) {
    ConfigureList();
    PutPosting("Run one");
    CliProcess run(WithHome({"run", "--now", "--interval-seconds", "1"}), Stem(), "", {});
    ASSERT_TRUE(run.WaitForErr("scan finished: 1 read, 1 posted", 1, 60s)) << run.Err();
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "Run one"), 1u) << member;
    }
    // A second scan starts about a second after the first ended; the file appears during it
    // (or right after it): the loop sees it only between scans.
    ASSERT_TRUE(run.WaitForErr("scan started", 2, 60s)) << run.Err();
    Spit(home_ + "/shutdown", "");
    ASSERT_TRUE(run.Wait(60s)) << run.Err();
    EXPECT_EQ(run.Status(), 0);
    EXPECT_FALSE(std::ifstream(home_ + "/shutdown").good());

    const std::string err = run.Err();
    const size_t started = CountOf(err, "scan started");
    EXPECT_EQ(CountOf(err, "scan finished"), started) << err;
    EXPECT_LT(err.rfind("scan finished"), err.find("shutdown file found: ending")) << err;
    EXPECT_TRUE(Contains(err, "ended after " + std::to_string(started) + " scans")) << err;
}

// A service manager's notify socket, as systemd offers one to a Type=notify service.
class NotifySocket {
public:
    explicit NotifySocket(std::string path) : path_(std::move(path)) {
        fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path_.copy(address.sun_path, sizeof address.sun_path - 1);
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            throw std::runtime_error("cannot bind " + path_);
        }
    }
    ~NotifySocket() { close(fd_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    const std::string& Path() const { return path_; }
    std::vector<std::string> Received() {
        std::vector<std::string> all;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) >= 0) {
            all.emplace_back(buffer, static_cast<size_t>(n));
        }
        return all;
    }

private:
    std::string path_;
    int fd_ = -1;
};

// `run` as systemd starts the service: its standard error is the journal's stream
// (JOURNAL_STREAM names it) and a notify socket waits for READY, STATUS, WATCHDOG and
// STOPPING. Every line gets a priority instead of a stamp; the log file keeps its stamps.
TEST_F(CliE2eTest, RunUnderSystemdWritesPrioritiesAndNotifiesTheManager) {
    ConfigureList();
    PutPosting("Journal one");
    NotifySocket manager(dir_.File("notify"));
    const std::string stem = Stem();
    Spit(stem + ".err", "");
    struct stat err {};
    ASSERT_EQ(stat((stem + ".err").c_str(), &err), 0);
    const std::string stream = std::to_string(err.st_dev) + ":" + std::to_string(err.st_ino);
    CliProcess run(
        WithHome({"run", "--now", "--interval-seconds", "1"}), stem, "",
        {"JOURNAL_STREAM=" + stream, "NOTIFY_SOCKET=" + manager.Path(), "WATCHDOG_USEC=4000000"});
    ASSERT_TRUE(run.WaitForErr("<6>scan finished: 1 read, 1 posted", 1, 60s)) << run.Err();
    Spit(home_ + "/shutdown", "");
    ASSERT_TRUE(run.Wait(60s)) << run.Err();
    EXPECT_EQ(run.Status(), 0);

    std::istringstream lines(run.Err());
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(line.size() > 3 && line[0] == '<' && line[2] == '>') << line;
    }
    EXPECT_TRUE(Contains(
        run.Err(), "<6>news: i posted msg by " + MailServers::Address("alice") + " (Journal one)"))
        << run.Err();
    // The log file's lines keep their stamps ("Wed,09Dec26 15:40:30 "), which the journal's
    // copy leaves out.
    const std::string log = Slurp(home_ + "/Corvanteer.log");
    const std::regex stamped("[A-Z][a-z]{2},[0-9]{2}[A-Z][a-z]{2}[0-9]{2} [0-9:]{8} .*\r");
    std::istringstream logLines(log);
    while (std::getline(logLines, line)) {
        EXPECT_TRUE(std::regex_match(line, stamped)) << line;
    }
    ASSERT_GT(log.size(), 21u);
    EXPECT_FALSE(Contains(run.Err(), log.substr(0, 21))) << run.Err();

    const std::vector<std::string> said = manager.Received();
    auto saidLike = [&](const std::string& start) {
        return std::count_if(said.begin(), said.end(),
                             [&](const std::string& s) { return s.rfind(start, 0) == 0; });
    };
    ASSERT_FALSE(said.empty());
    EXPECT_EQ(said.front(), "READY=1\nSTATUS=first scan now");
    EXPECT_GE(saidLike("STATUS=last scan "), 1) << said.size();
    EXPECT_GE(saidLike("WATCHDOG=1"), 1);
    EXPECT_EQ(said.back(), "STOPPING=1");
    for (const std::string& status : said) {
        if (status.rfind("STATUS=last scan ", 0) == 0) {
            EXPECT_TRUE(Contains(status, ": 1 read, 1 posted, 0 queued; next ") ||
                        Contains(status, ": 0 read, 0 posted, 0 queued; next "))
                << status;
        }
    }
}

TEST_F(CliE2eTest, ScanWaitsForARunningSessionOfAnotherProcess) {
    ConfigureList();
    PutPosting("Waited");
    // This process holds the session lock as a running scan or posting would.
    corvanteer::FileLock session(home_ + "/session.lock");
    session.Lock();
    CliProcess scan(WithHome({"scan"}), Stem(), "", {});
    ASSERT_TRUE(scan.WaitForErr("waiting for the running scan or posting to end", 1, 30s))
        << scan.Err();
    EXPECT_FALSE(scan.Wait(0ms));
    EXPECT_EQ(Received("alice", "Waited"), 0u);
    session.Unlock();
    ASSERT_TRUE(scan.Wait(60s)) << scan.Err();
    EXPECT_EQ(scan.Status(), 0) << scan.Err();
    EXPECT_EQ(Received("alice", "Waited"), 1u);
}

TEST_F(CliE2eTest, RunEndsOnSigterm) {
    ConfigureList();
    CliProcess run(WithHome({"run", "--interval", "60"}), Stem(), "", {});
    // The line comes once the signals are watched.
    ASSERT_TRUE(run.WaitForErr("run started", 1, 30s)) << run.Err();
    run.Signal(SIGTERM);
    ASSERT_TRUE(run.Wait(30s)) << run.Err();
    EXPECT_EQ(run.Status(), 0);
    EXPECT_TRUE(Contains(run.Err(), "stop requested: ending")) << run.Err();
    EXPECT_TRUE(Contains(run.Err(), "ended after 0 scans")) << run.Err();
}

TEST_F(CliE2eTest, ManualPostingToThreeMembersAbortedBySigintAfterTheSecond) {
    ConfigureList();
    MustRun({"config", "set", "PostingMethod", "1", "--list", "news"});
    // The hook makes the program send itself SIGINT as the second copy starts, so the abort
    // lands between the second and the third member every time.
    CliRun post = Cli({"post", "news", "--from", "Operator <" + MailServers::Address("op") + ">",
                       "--subject", "Manual note"},
                      "Line one\nLine two\n", {"CORVANTEER_TEST_SIGINT_AT_MEMBER=2"});
    EXPECT_EQ(post.status, 1);
    EXPECT_TRUE(Contains(post.err, "corvanteer-cli: Posting aborted after 2 of 3 members.\n"))
        << post.err;
    EXPECT_EQ(Received("alice", "Manual note"), 1u);
    EXPECT_EQ(Received("bob", "Manual note"), 1u);
    EXPECT_EQ(Received("carol", "Manual note"), 0u);
    const std::string log = Slurp(home_ + "/Corvanteer.log");
    EXPECT_TRUE(Contains(
        log, "news: msg from " + MailServers::Address("news") + " - sent to 2 of 3 members."))
        << log;
    EXPECT_FALSE(std::ifstream(home_ + "/Lists/news/threads").good());

    // Without the abort every member gets a copy.
    CliRun whole = Cli({"post", "news", "--from", "op@example.test", "--subject", "Whole"}, "x\n");
    EXPECT_EQ(whole.status, 0) << whole.err;
    EXPECT_EQ(whole.out, "Posted to 3 of 3 members.\n");
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_EQ(Received(member, "Whole"), 1u) << member;
    }
}

TEST_F(CliE2eTest, BackupChangeRestoreGivesBackSettingsAndDataFiles) {
    ConfigureList();
    MustRun({"section", "set", "news", "Signature"}, "-- \nThe news list\n");
    const std::string folder = dir_.File("backup");
    const std::string settingsBefore = Cli({"config", "show"}).out;
    const std::string listBefore = Cli({"config", "show", "--list", "news"}).out;
    const std::string dataBefore = Slurp(home_ + "/news.dat");

    CliRun backup = Cli({"backup", folder});
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(backup.out, "Finished Backup.\n");

    MustRun({"config", "set", "SMTPPort", "1"});
    MustRun({"config", "set", "AllowPostBy", "2", "--list", "news"});
    MustRun({"members", "remove", "news", MailServers::Address("bob")});
    MustRun({"section", "set", "news", "Signature"}, "changed\n");
    ASSERT_NE(Slurp(home_ + "/news.dat"), dataBefore);

    CliRun restore = Cli({"restore", folder});
    ASSERT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(restore.out, "Configuration restored.\nPlease restart Corvanteer now.\n");
    EXPECT_EQ(Cli({"config", "show"}).out, settingsBefore);
    EXPECT_EQ(Cli({"config", "show", "--list", "news"}).out, listBefore);
    EXPECT_EQ(Slurp(home_ + "/news.dat"), dataBefore);
}

TEST_F(CliE2eTest, ImportCountsInvalidDuplicateAndNewLines) {
    ConfigureList();
    const std::string file = dir_.File("import.txt");
    Spit(file, "  Dave@Example.TEST \r\n" + MailServers::Address("alice") +
                   "\r\nnot an address\r\n\r\nerin@example.test\nerin@example.test\n");
    CliRun import = Cli({"members", "import", "news", file});
    ASSERT_EQ(import.status, 0) << import.err;
    EXPECT_EQ(import.out, "Invalid names: 2\nDuplicate names: 2\nNew names imported: 2\n");
    const std::string roster = Cli({"members", "show", "news"}).out;
    EXPECT_EQ(CountOf(roster, "\n"), 5u) << roster;
    EXPECT_TRUE(Contains(roster, "dave@example.test 0 ")) << roster;
    EXPECT_TRUE(Contains(roster, "erin@example.test 0 ")) << roster;
    EXPECT_TRUE(Contains(Slurp(home_ + "/Corvanteer.log"), "news:   imported 2"));
}

// Test mode works in a folder of its own: a test list of the real list's name has none of its
// members, and a test posting reaches the test's member only, logged in the test's log.
TEST_F(CliE2eTest, TestModeSeesNoneOfTheRealListsMembers) {
    ConfigureList();
    MustRun({"--test", "config", "set", "SMTPHost", servers_.Host()});
    MustRun({"--test", "config", "set", "SMTPPort", std::to_string(servers_.SmtpPort())});
    MustRun({"--test", "lists", "add", "news"});
    MustRun({"--test", "config", "set", "ListPostingAddress", MailServers::Address("news"),
             "--list", "news"});
    EXPECT_EQ(Cli({"--test", "members", "show", "news"}).out, "");
    MustRun({"--test", "members", "add", "news", MailServers::Address("dave")});

    CliRun post = Cli({"--test", "post", "news", "--from", MailServers::Address("dave"),
                       "--subject", "only a test"},
                      "hello\n");
    ASSERT_EQ(post.status, 0) << post.err;
    EXPECT_EQ(post.out, "Posted to 1 of 1 members.\n");
    ASSERT_EQ(servers_.ReadMailbox("dave").size(), 1u);
    EXPECT_TRUE(Contains(servers_.ReadMailbox("dave")[0], "Subject: only a test"));
    for (const char* member : {"alice", "bob", "carol"}) {
        EXPECT_TRUE(servers_.ReadMailbox(member).empty()) << member;
    }
    EXPECT_EQ(CountOf(Cli({"members", "show", "news"}).out, "\n"), 3u);
    EXPECT_TRUE(Contains(Slurp(home_ + "/test/Corvanteer.log"), "news: msg from"));
    EXPECT_FALSE(Contains(Slurp(home_ + "/Corvanteer.log"), "news: msg from"));
}

// --- update check against python3 -m http.server ------------------------------------------

int FreeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

bool Accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return ok;
}

class UpdateCheckE2eTest : public ::testing::Test {
protected:
    void SetUp() override {
        site_ = dir_.File("site");
        std::filesystem::create_directories(site_);
        port_ = FreeLoopbackPort();
        server_.Start({"/usr/bin/python3", "-m", "http.server", std::to_string(port_), "--bind",
                       "127.0.0.1", "--directory", site_},
                      dir_.File("http.log"));
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (!Accepts(port_)) {
            ASSERT_TRUE(server_.Running()) << Slurp(dir_.File("http.log"));
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "web server did not start";
            std::this_thread::sleep_for(50ms);
        }
    }
    void TearDown() override { server_.Terminate(2s); }

    CliRun Check() {
        CliProcess process({"--home", dir_.File("home"), "check-update", "--url", Base()},
                           dir_.File("check" + std::to_string(++runs_)), "", {});
        EXPECT_TRUE(process.Wait(60s));
        return {process.Status(), process.Out(), process.Err()};
    }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    TempDir dir_;
    std::string site_;
    int port_ = 0;
    ChildProcess server_;
    int runs_ = 0;
};

TEST_F(UpdateCheckE2eTest, NewerEqualAndUnknownVersions) {
    Spit(site_ + "/upgrades.txt", "otherproduct 7.0\r\n  Corvanteer 99.1\r\n");
    CliRun newer = Check();
    EXPECT_EQ(newer.status, 0) << newer.err;
    EXPECT_EQ(newer.out, "A newer version has been found (v99.1)\nWhat's new: " + Base() +
                             "/corvant/whatsnew.shtml\n");

    Spit(site_ + "/upgrades.txt", std::string("corvanteer ") + CORVANTEER_VERSION + "\n");
    CliRun equal = Check();
    EXPECT_EQ(equal.status, 0) << equal.err;
    EXPECT_EQ(equal.out, std::string("The latest version is ") + CORVANTEER_VERSION +
                             ".\nYou already have the latest version.\n");

    Spit(site_ + "/upgrades.txt", "otherproduct 7.0\n");
    CliRun unknown = Check();
    EXPECT_EQ(unknown.status, 0) << unknown.err;
    EXPECT_EQ(unknown.out, "The latest version is unknown.\n");

    // No version list at all: "unknown" too, and the failed fetch is a failure.
    std::filesystem::remove(site_ + "/upgrades.txt");
    CliRun missing = Check();
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "The latest version is unknown.\n");
    EXPECT_EQ(CountOf(missing.err, "\n"), 1u) << missing.err;
    EXPECT_FALSE(std::ifstream(dir_.File("home/temp.txt")).good());
}

}  // namespace
