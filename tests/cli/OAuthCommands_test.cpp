// oauth login, status and logout against a scripted authorization server.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class OAuthCommandsTest : public CliTest {
protected:
    void Configure() {
        for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
                 {"OAuthProvider", "custom"},
                 {"OAuthClientId", "cid"},
                 {"OAuthTokenUrl", "https://auth.example.test/token"},
                 {"OAuthDeviceUrl", "https://auth.example.test/device"},
                 {"SMTPAuth", "oauth2"},
                 {"SmtpUser", "ann@example.test"}}) {
            ASSERT_EQ(Run({"config", "set", name, value}).status, 0) << name;
        }
    }
};

TEST_F(OAuthCommandsTest, DeviceSignInThenStatusThenLogout) {
    Configure();
    http.Answer(200, R"({"device_code":"DC","user_code":"WDJB-MJHT",)"
                     R"("verification_uri":"https://auth.example.test/activate",)"
                     R"("expires_in":900,"interval":5})");
    http.Answer(400, R"({"error":"authorization_pending"})");
    http.Answer(200, R"({"access_token":"AT","token_type":"Bearer","expires_in":3600,)"
                     R"("refresh_token":"RT"})");
    CliResult login = Run({"oauth", "login", "SMTP"});
    EXPECT_EQ(login.status, 0) << login.err;
    EXPECT_EQ(login.out,
              "To sign in as ann@example.test, open https://auth.example.test/activate in a "
              "browser and enter the code WDJB-MJHT\n"
              "Waiting for the sign-in (the code expires in 15 minutes)...\n"
              "Signed in: smtp (ann@example.test); the access token is valid until 2026-03-09 "
              "15:05:10 UTC.\n");
    EXPECT_EQ(login.out.find("AT\n"), std::string::npos);

    ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "Pop3Auth", "oauth2", "--list", "news"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "Pop3User", "news@example.test", "--list", "news"}).status, 0);
    const std::string again = "corvanteer-cli --home " + home.Path() + " oauth login news";
    EXPECT_EQ(Run({"oauth", "status"}).out,
              "smtp: oauth2, ann@example.test: signed in, access token valid until 2026-03-09 "
              "15:05:10 UTC, refreshed when needed\n"
              "listserver: password\n"
              "news: oauth2, news@example.test: not signed in; sign in with: " +
                  again + "\n");

    CliResult logout = Run({"oauth", "logout", "smtp"});
    EXPECT_EQ(logout.out, "Signed out: the tokens of smtp are forgotten.\n");
    EXPECT_EQ(Run({"oauth", "logout", "smtp"}).out, "smtp was not signed in.\n");
    EXPECT_THAT(Run({"oauth", "status"}).out,
                HasSubstr("smtp: oauth2, ann@example.test: not signed in"));
}

TEST_F(OAuthCommandsTest, RefusalsNameWhatIsMissing) {
    CliResult unknown = Run({"oauth", "login", "nosuch"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_THAT(unknown.err, HasSubstr("There is no account named \"nosuch\""));
    CliResult noUser = Run({"oauth", "login", "listserver"});
    EXPECT_EQ(noUser.status, 1);
    EXPECT_THAT(noUser.err, HasSubstr("set ListServerUserID to the mailbox's address"));
    Configure();
    ASSERT_EQ(Run({"config", "set", "OAuthClientId", ""}).status, 0);
    EXPECT_THAT(Run({"oauth", "login", "smtp"}).err, HasSubstr("OAuthClientId is empty"));
    ASSERT_EQ(Run({"config", "set", "OAuthClientId", "cid"}).status, 0);
    http.Answer(400, R"({"error":"invalid_client","error_description":"unknown client"})");
    CliResult refused = Run({"oauth", "login", "smtp"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_THAT(refused.err, HasSubstr("invalid_client unknown client"));
    EXPECT_EQ(Run({"oauth"}).status, 2);
    EXPECT_TRUE(http.Requests().size() == 1u);
}

TEST_F(OAuthCommandsTest, BackupAndRestoreCarryTheTokensScrambled) {
    Configure();
    ASSERT_EQ(Run({"config", "set", "OAuthClientSecret", "-"}, "s3cret-value\n").status, 0);
    http.Answer(200, R"({"device_code":"DC","user_code":"C","verification_uri":"https://x.test/",)"
                     R"("expires_in":900,"interval":1})");
    http.Answer(200, R"({"access_token":"ACCESS-123","token_type":"Bearer","expires_in":3600,)"
                     R"("refresh_token":"REFRESH-456"})");
    ASSERT_EQ(Run({"oauth", "login", "smtp"}).status, 0);
    const std::string backup = home.File("saved");
    ASSERT_EQ(Run({"backup", backup}).status, 0) << Run({"backup", backup}).err;
    const std::string snapshot = ReadFileIfExists(backup + "/registry.cfg").value_or("");
    EXPECT_THAT(snapshot, HasSubstr("OAuth\\SMTP]"));
    for (const char* secret : {"ACCESS-123", "REFRESH-456", "s3cret-value"}) {
        EXPECT_EQ(snapshot.find(secret), std::string::npos) << secret;  // scrambled
    }
    ASSERT_EQ(Run({"oauth", "logout", "smtp"}).status, 0);
    ASSERT_EQ(Run({"restore", backup}).status, 0);
    EXPECT_THAT(Run({"oauth", "status"}).out,
                HasSubstr("smtp: oauth2, ann@example.test: signed in"));
}

}  // namespace
}  // namespace corvanteer::testing
