// Passwords kept out of argv: config set NAME - / --password-file, and members password.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class SecretInputTest : public CliTest {
protected:
    std::string Stored(const std::string& name) {
        return UnscramblePassword(Store().ReadRegString(paths.SettingsKey(), name, ""));
    }
};

TEST_F(SecretInputTest, StandardInputAndFilesGiveOneLineWithoutItsEnd) {
    struct Case {
        std::string input;
        int status;
        std::string stored;  // when status is 0
    };
    const std::vector<Case> cases = {
        {"s3cret\n", 0, "s3cret"},
        {"s3cret\r\n", 0, "s3cret"},
        {"s3cret", 0, "s3cret"},
        {" with blanks \n", 0, " with blanks "},
        {"\n", 0, ""},               // an empty line clears it, on purpose
        {"", 1, ""},                 // no input at all is a mistake, not an empty password
        {"first\nsecond\n", 1, ""},  // a wrong file or a pipe of several lines
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Run({"config", "set", "SmtpPassword", "before"}).status, 0);
        const std::string file = home.File("secret.txt");
        Spit(file, c.input);

        CliResult fromStdin = Run({"config", "set", "SmtpPassword", "-"}, c.input);
        EXPECT_EQ(fromStdin.status, c.status) << c.input << fromStdin.err;
        EXPECT_EQ(Stored("SmtpPassword"), c.status == 0 ? c.stored : "before") << c.input;

        ASSERT_EQ(Run({"config", "set", "SmtpPassword", "before"}).status, 0);
        CliResult fromFile = Run({"config", "set", "SmtpPassword", "--password-file", file});
        EXPECT_EQ(fromFile.status, c.status) << c.input << fromFile.err;
        EXPECT_EQ(Stored("SmtpPassword"), c.status == 0 ? c.stored : "before") << c.input;
    }
}

TEST_F(SecretInputTest, ListPasswordsAndMemberPasswordsTakeTheSameForms) {
    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "Pop3Password", "-", "--list", "news"}, "listpw\n").status, 0);
    EXPECT_EQ(Run({"config", "get", "Pop3Password", "--list", "news"}).out, "listpw\n");

    ASSERT_EQ(Run({"members", "add", "news", "a@example.test"}).status, 0);
    ASSERT_EQ(Run({"members", "password", "news", "a@example.test", "-"}, "fromin\n").status, 0);
    EXPECT_THAT(Run({"members", "show", "news"}).out, HasSubstr("a@example.test 0 fromin\teach\n"));
    Spit(home.File("pw"), "fromfile\r\n");
    ASSERT_EQ(
        Run({"members", "password", "news", "a@example.test", "--password-file", home.File("pw")})
            .status,
        0);
    EXPECT_THAT(Run({"members", "show", "news"}).out,
                HasSubstr("a@example.test 0 fromfile\teach\n"));
    // The Members page's own check still applies to a password read from input.
    EXPECT_EQ(Run({"members", "password", "news", "a@example.test", "-"}, "two words\n").status, 1);
}

TEST_F(SecretInputTest, MisuseIsAUsageErrorAndWritesNothing) {
    Spit(home.File("pw"), "x\n");
    ASSERT_EQ(Run({"config", "set", "SMTPHost", "kept.example.test"}).status, 0);
    const std::string before = Fingerprint();
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"config", "set", "SmtpPassword"}, 2, "password is missing"},
        {{"config", "set", "SmtpPassword", "x", "--password-file", home.File("pw")}, 2, "not both"},
        {{"config", "set", "SMTPHost", "--password-file", home.File("pw")}, 2, "not one"},
        {{"config", "set", "SMTPHost"}, 2, "missing"},
        {{"config", "set", "SmtpPassword", "--password-file", home.File("absent")}, 1, "absent"},
        {{"members", "password", "Default List", "a@example.test"}, 2, "password is missing"},
    };
    for (const Case& c : cases) {
        CliResult r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << JoinLines(c.args, " ") << r.err;
        EXPECT_THAT(r.err, HasSubstr(c.says)) << JoinLines(c.args, " ");
    }
    EXPECT_EQ(Fingerprint(), before);
    // For a setting that is no password, "-" is a value like any other.
    ASSERT_EQ(Run({"config", "set", "ListTo", "-", "--list", "Default List"}).status, 0);
    EXPECT_EQ(Run({"config", "get", "ListTo", "--list", "Default List"}).out, "-\n");
}

}  // namespace
}  // namespace corvanteer::testing
