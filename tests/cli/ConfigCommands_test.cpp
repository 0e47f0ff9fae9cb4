// config get, set, show, export and import: the setting tables' names, types, defaults and ranges.

#include <gmock/gmock.h>
#include <sys/stat.h>

#include "cli/CliFixture.h"
#include "support/Files.h"
#include "support/SettingTables.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class ConfigTest : public CliTest {};

TEST_F(ConfigTest, AbsentValuesGiveTheWindowsDefaults) {
    EXPECT_EQ(Run({"config", "get", "SMTPPort"}).out, "25\n");
    EXPECT_EQ(Run({"config", "get", "listserverport"}).out, "110\n");
    EXPECT_EQ(Run({"config", "get", "SmtpMaxAttempts"}).out, "2\n");
    EXPECT_EQ(Run({"config", "get", "TimerON"}).out, "0\n");
    EXPECT_EQ(Run({"config", "get", "BackupDir"}).out, paths.appDir + "Backup\n");
    EXPECT_EQ(Run({"config", "get", "VerifyDays", "--list", "Default List"}).out, "7\n");
    EXPECT_EQ(Run({"config", "get", "ListTo", "--list", "default list"}).out,
              std::string(kListToPlaceholder) + "\n");
    EXPECT_EQ(Run({"config", "get", "VerifySubject", "--list", "Default List"}).out,
              "ListServer Response\n");
}

TEST_F(ConfigTest, ValuesAreStoredWithTheirTypes) {
    ASSERT_EQ(Run({"config", "set", "smtphost", "mail.example.test"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "SMTPPort", "2525"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "ReqSmtpAuth", "on"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "SmtpPassword", "s3cret"}).status, 0);
    const std::string key = paths.SettingsKey();

    EXPECT_EQ(Store().ReadRegString(key, "SMTPHost", ""), "mail.example.test");
    EXPECT_EQ(Store().ReadValue(key, "SMTPPort")->type, RegType::Integer);
    EXPECT_EQ(Store().ReadRegInteger(key, "SMTPPort", 0), 2525);
    EXPECT_EQ(Store().ReadValue(key, "ReqSmtpAuth")->integer, 1);
    EXPECT_EQ(Store().ReadValue(key, "SmtpPassword")->data, ScramblePassword("s3cret"));

    EXPECT_EQ(Run({"config", "get", "SMTPHOST"}).out, "mail.example.test\n");
    EXPECT_EQ(Run({"config", "get", "ReqSmtpAuth"}).out, "1\n");
    EXPECT_EQ(Run({"config", "get", "SmtpPassword"}).out, "s3cret\n");

    for (const char* word : {"0", "false", "OFF", "1", "True", "on"}) {
        ASSERT_EQ(Run({"config", "set", "Minimized", word}).status, 0) << word;
    }
    EXPECT_EQ(Run({"config", "get", "Minimized"}).out, "1\n");
}

TEST_F(ConfigTest, ListValuesGoUnderTheListKey) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "Pop3Port", "995", "--list", "NEWS"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "Pop3Password", "pw", "--list", "news"}).status, 0);
    EXPECT_EQ(Store().ReadRegInteger(paths.ListKey("news"), "Pop3Port", 0), 995);
    EXPECT_EQ(Store().ReadValue(paths.ListKey("news"), "Pop3Password")->data,
              ScramblePassword("pw"));
    EXPECT_EQ(Run({"config", "get", "Pop3Port", "--list", "news"}).out, "995\n");
    EXPECT_EQ(Run({"config", "get", "Pop3Password", "--list", "news"}).out, "pw\n");
    // The global table has no Pop3Port.
    EXPECT_EQ(Run({"config", "get", "Pop3Port"}).status, 2);
}

TEST_F(ConfigTest, RangesOfTheTablesAreKept) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    const std::string before = Fingerprint();
    const std::vector<std::vector<std::string>> outOfRange = {
        {"config", "set", "VerifyDays", "0", "--list", "news"},
        {"config", "set", "VerifyDays", "61", "--list", "news"},
        {"config", "set", "AllowPostBy", "3", "--list", "news"},
        {"config", "set", "PostingMethod", "--list", "news", "--", "-1"},
        {"config", "set", "SessionInterval", "10000"},
        {"config", "set", "SmtpMaxAttempts", "--", "-1"},
        {"config", "set", "SMTPPort", "--", "-5"},
        {"config", "set", "Pop3Port", "99999", "--list", "news"}};
    // A refused value is a usage error that names the setting and its range.
    for (const auto& words : outOfRange) {
        CliResult r = Run(words);
        EXPECT_EQ(r.status, 2) << JoinLines(words, " ");
        EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
        EXPECT_THAT(r.err, HasSubstr(words[2] + " must lie between")) << r.err;
    }
    EXPECT_EQ(Fingerprint(), before);

    EXPECT_EQ(Run({"config", "set", "VerifyDays", "60", "--list", "news"}).status, 0);
    EXPECT_EQ(Run({"config", "set", "SessionInterval", "0"}).status, 0);
    EXPECT_EQ(Run({"config", "set", "SessionInterval", "9999"}).status, 0);
    EXPECT_EQ(Run({"config", "get", "SessionInterval"}).out, "9999\n");
    EXPECT_EQ(Run({"config", "set", "SMTPPort", "65535"}).status, 0);
}

// Values that would break a command or a header, or name nothing that exists, are refused
// before anything is stored; config show keeps secrets to (set) and (not set).
TEST_F(ConfigTest, ValuesAreCheckedAndSecretsStayOutOfTheListing) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    const std::string before = Fingerprint();
    // (The forms of every kind are the setting table's tests.)
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"config", "set", "ListPostingAddress", "news@@example.org", "--list", "news"},
         "empty or one email address"},
        {{"config", "set", "ListServerPassword", "zq\nxv"}, "one line"},
    };
    for (const auto& [words, form] : refused) {
        CliResult r = Run(words);
        EXPECT_EQ(r.status, 2) << JoinLines(words, " ");
        EXPECT_THAT(r.err, HasSubstr(words[2] + " must be " + form)) << r.err;
        EXPECT_THAT(r.err, ::testing::Not(HasSubstr("zq")));
    }
    EXPECT_EQ(Fingerprint(), before);

    CliResult literal = Run({"config", "set", "SmtpPassword", "hunter2"});
    EXPECT_EQ(literal.status, 0);
    EXPECT_THAT(literal.err, HasSubstr("warning: a password given on the command line"));
    EXPECT_THAT(literal.err, HasSubstr("\"-\""));
    EXPECT_THAT(literal.err, HasSubstr("--password-file"));
    const std::string shown = Run({"config", "show"}).out;
    EXPECT_THAT(shown, HasSubstr("\nSmtpPassword=(set)\n"));
    EXPECT_THAT(shown, HasSubstr("\nListServerPassword=(not set)\n"));
    EXPECT_THAT(shown, HasSubstr("\nOAuthClientSecret=(not set)\n"));
    EXPECT_THAT(shown, ::testing::Not(HasSubstr("hunter2")));
    EXPECT_EQ(Run({"config", "get", "SmtpPassword"}).out, "hunter2\n");
}

TEST_F(ConfigTest, WrongTypesAndUnknownNamesAreUsageErrors) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    const std::string before = Fingerprint();
    const std::vector<std::vector<std::string>> wrong = {
        {"config", "set", "SMTPPort", "twenty-five"},
        {"config", "set", "SMTPPort", "25.5"},
        {"config", "set", "SMTPPort", "99999999999"},
        {"config", "set", "TimerON", "yes"},
        {"config", "set", "VerifySubscribe", "2", "--list", "news"},
        {"config", "set", "NoSuchSetting", "1"},
        {"config", "get", "NoSuchSetting"},
        {"config", "get", "VerifyDays"},                        // a list's setting without --list
        {"config", "set", "SMTPHost", "x", "--list", "news"}};  // a global one with --list
    for (const auto& words : wrong) {
        CliResult r = Run(words);
        EXPECT_EQ(r.status, 2) << JoinLines(words, " ");
        EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_THAT(Run({"config", "get", "VerifyDays"}).err, HasSubstr("--list"));
    EXPECT_EQ(Fingerprint(), before);
}

TEST_F(ConfigTest, AnUnknownListIsRefused) {
    CliResult r = Run({"config", "set", "VerifyDays", "5", "--list", "nosuch"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "corvanteer-cli: There is no list named \"nosuch\".\n");
    EXPECT_FALSE(Store().KeyExists(paths.ListKey("nosuch")));
}

TEST_F(ConfigTest, AValueStoredWithAnotherTypeFailsToReadAndCanBeRepaired) {
    Store().WriteRegString(paths.SettingsKey(), "SMTPPort", "25");
    CliResult r = Run({"config", "get", "SMTPPort"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(OutputLines(r.err).size(), 1u);
    EXPECT_EQ(Run({"config", "show"}).status, 1);
    EXPECT_EQ(Run({"config", "set", "SMTPPort", "25"}).status, 0);
    EXPECT_EQ(Run({"config", "get", "SMTPPort"}).out, "25\n");
}

TEST_F(ConfigTest, ShowPrintsEveryNameOfTheTableOnceALine) {
    ASSERT_EQ(Run({"config", "set", "SMTPHost", "mail.example.test"}).status, 0);
    Lines global = OutputLines(Run({"config", "show"}).out);
    ASSERT_EQ(global.size(), GlobalSettingTable().size());
    for (size_t i = 0; i < global.size(); ++i) {
        EXPECT_EQ(Before(global[i], "="), GlobalSettingTable()[i].name);
    }
    EXPECT_THAT(global, ::testing::Contains("SMTPHost=mail.example.test"));

    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(
        Run({"config", "set", "Moderators", "a@example.test\r\nb@example.test", "--list", "news"})
            .status,
        0);
    Lines list = OutputLines(Run({"config", "show", "--list", "news"}).out);
    ASSERT_EQ(list.size(), ListSettingTable().size());
    EXPECT_THAT(list, ::testing::Contains("Moderators=a@example.test\\nb@example.test"));
    EXPECT_EQ(Run({"config", "get", "Moderators", "--list", "news"}).out,
              "a@example.test\nb@example.test\n");
}

// Export, then import into an empty home: config show, the lists and their texts are the
// same; a refused import names its problems and changes nothing.
TEST_F(ConfigTest, ExportThenImportOnAnEmptyHomeGivesTheSameConfiguration) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {"lists", "add", "news"},
             {"lists", "add", "chat"},
             {"config", "set", "SMTPHost", "mail.example.test"},
             {"config", "set", "SmtpPassword", "s3cret"},
             {"config", "set", "AllowPostBy", "2", "--list", "news"},
             {"config", "set", "Pop3Password", " pw with blanks ", "--list", "chat"}}) {
        ASSERT_EQ(Run(words).status, 0) << JoinLines(words, " ");
    }
    ASSERT_EQ(Run({"section", "set", "news", "Signature"}, "-- \nNews \xE9\n").status, 0);
    const std::string file = home.File("config.txt");
    CliResult exported = Run({"config", "export", file, "--with-secrets"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    TempDir other;
    auto in = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--home", other.Path()});
        return RunBare(args);
    };
    CliResult imported = in({"config", "import", file});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_THAT(imported.out, HasSubstr("; new lists: chat, news.\n"));
    for (const std::vector<std::string>& words :
         std::vector<std::vector<std::string>>{{"lists"},
                                               {"config", "show"},
                                               {"config", "show", "--list", "news"},
                                               {"config", "show", "--list", "chat"},
                                               {"config", "get", "Pop3Password", "--list", "chat"},
                                               {"section", "get", "news", "Signature"}}) {
        EXPECT_EQ(ReplaceAll(in(words).out, other.Path(), "HOME"),
                  ReplaceAll(Run(words).out, home.Path(), "HOME"))
            << JoinLines(words, " ");
    }
    // Both export the same text (BackupDir's default is each home's own).
    EXPECT_EQ(ReplaceAll(in({"config", "export", "-"}).out, other.Path(), "HOME"),
              ReplaceAll(Run({"config", "export", "-"}).out, home.Path(), "HOME"));

    Spit(file,
         "[global]\nSMTPPort = 0x19\n[list \"news\"]\nAllowPostBy = 0\n"
         "[list \"news\" section \"Nonesuch\"]\n");
    const std::string before = Fingerprint();
    CliResult refused = Run({"config", "import", file});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("line 2: "));
    EXPECT_THAT(refused.err, HasSubstr("line 5: unknown section \"Nonesuch\""));
    EXPECT_THAT(refused.err, HasSubstr("Nothing was changed: 2 problems in " + file + "."));
    EXPECT_EQ(Fingerprint(), before);
}

}  // namespace
}  // namespace corvanteer::testing
