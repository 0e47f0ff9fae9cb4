// The words of the command line: help, version, usage errors and their statuses.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class ParserTest : public CliTest {};

TEST_F(ParserTest, VersionNamesTheProgramAndItsFourPartVersion) {
    CliResult r = RunBare({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("corvanteer-cli ") + CORVANTEER_VERSION + "\n");
}

TEST_F(ParserTest, HelpOfTheProgramNamesEveryCommandAndWritesNothing) {
    const std::string fresh = home.File("never-made");
    CliResult r = RunBare({"--home", fresh, "--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* command : {"scan", "run", "expire", "config", "lists", "section", "members",
                                "post", "posts", "queue", "backup", "restore", "check-update"}) {
        EXPECT_THAT(r.out, HasSubstr(std::string("\n  ") + command + " ")) << command;
    }
    EXPECT_FALSE(DirectoryExists(fresh));
}

TEST_F(ParserTest, EveryCommandHasItsOwnHelp) {
    const std::vector<std::vector<std::string>> commands = {{"scan"},
                                                            {"run"},
                                                            {"expire"},
                                                            {"config", "get"},
                                                            {"config", "set"},
                                                            {"config", "show"},
                                                            {"lists"},
                                                            {"lists", "add"},
                                                            {"lists", "delete"},
                                                            {"section", "get"},
                                                            {"section", "set"},
                                                            {"members", "show"},
                                                            {"members", "add"},
                                                            {"members", "remove"},
                                                            {"members", "ban"},
                                                            {"members", "unban"},
                                                            {"members", "password"},
                                                            {"members", "import"},
                                                            {"members", "export"},
                                                            {"post"},
                                                            {"posts", "list"},
                                                            {"posts", "show"},
                                                            {"posts", "delete"},
                                                            {"posts", "save"},
                                                            {"queue"},
                                                            {"queue", "flush"},
                                                            {"backup"},
                                                            {"restore"},
                                                            {"check-update"}};
    for (std::vector<std::string> words : commands) {
        const std::string name = JoinLines(words, " ");
        words.push_back("--help");
        CliResult r = RunBare(words);
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_THAT(r.out, HasSubstr("Usage: corvanteer-cli " + name)) << name;
    }
    // The hidden test option stays out of run's help.
    EXPECT_THAT(RunBare({"run", "--help"}).out, ::testing::Not(HasSubstr("interval-seconds")));
}

// Every help text fits an 80-column terminal: the program's and every command's, found by
// walking the "Subcommands:" of each.
TEST_F(ParserTest, EveryHelpFitsEightyColumns) {
    std::vector<std::vector<std::string>> pending = {{}};
    int walked = 0;
    while (!pending.empty()) {
        const std::vector<std::string> command = pending.back();
        pending.pop_back();
        ++walked;
        std::vector<std::string> words = command;
        words.push_back("--help");
        bool inside = false;
        for (const std::string& line : OutputLines(RunBare(words).out)) {
            EXPECT_LE(line.size(), 80u) << JoinLines(command, " ") << ": " << line;
            if (!line.empty() && line[0] != ' ') {
                inside = line == "Subcommands:";
            } else if (inside && line.size() > 2 && line[2] != ' ') {
                std::vector<std::string> sub = command;
                sub.push_back(line.substr(2, line.find(' ', 2) - 2));
                pending.push_back(sub);
            }
        }
    }
    EXPECT_GE(walked, 40);
}

TEST_F(ParserTest, UsageErrorsEndWithStatusTwoAndOneLine) {
    const std::vector<std::vector<std::string>> wrong = {
        {},                                   // no command
        {"frobnicate"},                       // unknown command
        {"scan", "--fast"},                   // unknown option
        {"config"},                           // missing sub-command
        {"config", "get"},                    // missing name
        {"members", "add", "news"},           // missing address
        {"lists", "add", "a", "b"},           // extra word
        {"run", "--interval", "10000"},       // out of the option's range
        {"run", "--interval", "soon"},        // not a number
        {"post", "news", "--subject", "s"}};  // --from missing
    for (const auto& words : wrong) {
        CliResult r = Run(words);
        EXPECT_EQ(r.status, 2) << JoinLines(words, " ");
        EXPECT_THAT(r.err, StartsWith("corvanteer-cli: ")) << JoinLines(words, " ");
        EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(ParserTest, GlobalOptionsMayFollowTheCommand) {
    CliResult r = RunBare({"config", "get", "SMTPPort", "--home", home.Path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "25\n");
}

// Test mode works in the folder test/ of the application directory, with its own settings.
TEST_F(ParserTest, TestModeKeepsItsOwnFolderAndSettings) {
    ASSERT_EQ(Run({"lists", "add", "t"}).status, 0);
    ASSERT_EQ(Run({"--test", "config", "set", "SMTPHost", "test.example"}).status, 0);
    EXPECT_EQ(Run({"config", "get", "SMTPHost"}).out, "\n");
    EXPECT_EQ(Run({"--test", "config", "get", "SMTPHost"}).out, "test.example\n");
    EXPECT_EQ(Run({"--test", "lists"}).out, "Default List\n");
    ASSERT_EQ(Run({"--test", "lists", "add", "t"}).status, 0);

    const AppPaths test = AppPaths::ForDirectory(home.Path() + "/test", true);
    EXPECT_TRUE(FileExists(test.ListDataFile("t")));
    EXPECT_EQ(SettingsStore::Open(test.SettingsDatabase())
                  ->ReadRegString(test.SettingsKey(), "SMTPHost", ""),
              "test.example");
    EXPECT_FALSE(Store().KeyExists(test.SettingsKey()));
}

TEST_F(ParserTest, AnApplicationDirectoryThatCannotBeMadeFailsWithStatusOne) {
    Spit(home.File("plain-file"), "x");
    CliResult r = RunBare({"--home", home.File("plain-file") + "/sub", "lists"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, StartsWith("corvanteer-cli: "));
    EXPECT_EQ(OutputLines(r.err).size(), 1u);
}

}  // namespace
}  // namespace corvanteer::testing
