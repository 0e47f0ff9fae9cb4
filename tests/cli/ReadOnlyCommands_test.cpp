// The reading commands on a full disk and in a read-only application directory: they give
// what they gave before; a command that writes fails naming the real cause.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <unistd.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

const std::vector<std::vector<std::string>> kReadingCommands = {
    {"config", "get", "SMTPHost"},
    {"config", "get", "VerifyDays", "--list", "news"},
    {"config", "show"},
    {"config", "show", "--list", "news"},
    {"lists"},
    {"members", "show", "news"},
    {"section", "get", "news", "Signature"},
    {"queue"},
    {"posts", "list", "news"},
    {"posts", "show", "news", "hello"},
    {"status"},
};

class ReadOnlyCommandsTest : public CliTest {
protected:
    // The application directory gets a small file system of its own when it must fill up.
    void Populate() {
        ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
        ASSERT_EQ(Run({"config", "set", "SMTPHost", "smtp.example.test"}).status, 0);
        ASSERT_EQ(Run({"config", "set", "VerifyDays", "9", "--list", "news"}).status, 0);
        ASSERT_EQ(Run({"members", "add", "news", "amy@example.test"}).status, 0);
        ASSERT_EQ(Run({"section", "set", "news", "Signature"}, "-- \nnews\n").status, 0);
        ASSERT_EQ(Run({"posts", "save", "news", "hello", "--from", "f@x.test", "--subject", "s"},
                      "body\n")
                      .status,
                  0);
        smtp.failAll = true;
        ASSERT_EQ(Run({"post", "news", "--from", "f@x.test", "--subject", "s"}, "x\n").status, 0);
        for (const auto& command : kReadingCommands) {
            CliResult r = Run(command);
            ASSERT_EQ(r.status, 0) << JoinLines(command, " ") << ": " << r.err;
            before.push_back(r.out);
        }
    }

    void ExpectReadingCommandsWork() {
        for (size_t i = 0; i < kReadingCommands.size(); ++i) {
            CliResult r = Run(kReadingCommands[i]);
            EXPECT_EQ(r.status, 0) << JoinLines(kReadingCommands[i], " ") << ": " << r.err;
            EXPECT_EQ(r.out, before[i]) << JoinLines(kReadingCommands[i], " ");
            EXPECT_EQ(r.err, "") << JoinLines(kReadingCommands[i], " ");
        }
    }

    void ExpectWritingCommandsNameTheCause(const std::string& cause) {
        for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                 {"config", "set", "SMTPHost", "other.example.test"},
                 {"members", "add", "news", "bob@example.test"}}) {
            CliResult r = Run(command);
            EXPECT_EQ(r.status, 1) << JoinLines(command, " ");
            EXPECT_THAT(r.err, HasSubstr(cause)) << JoinLines(command, " ");
        }
    }

    void TearDown() override { Unmount(home.Path()); }

    std::vector<std::string> before;
};

TEST_F(ReadOnlyCommandsTest, OnAFullDisk) {
    if (!MountTmpfs(home.Path(), "1m")) {
        GTEST_SKIP() << "this process may not mount";
    }
    Populate();
    const int fd = ::open(home.File("filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ASSERT_EQ(errno, ENOSPC);
    ::close(fd);
    ExpectReadingCommandsWork();
    ExpectWritingCommandsNameTheCause("No space left on device");
}

TEST_F(ReadOnlyCommandsTest, InAReadOnlyApplicationDirectory) {
    Populate();
    if (!BindReadOnly(home.Path())) {
        GTEST_SKIP() << "this process may not mount";
    }
    ExpectReadingCommandsWork();
    ExpectWritingCommandsNameTheCause("Read-only file system");
}

}  // namespace
}  // namespace corvanteer::testing
