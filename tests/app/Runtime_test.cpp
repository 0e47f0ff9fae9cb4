// The runtime both faces assemble: what it builds itself, what a face hands in, and the
// sign-in that stores its tokens where the mail logins find them.

#include "app/Runtime.h"

#include <gtest/gtest.h>

#include "app/StoreConsole.h"
#include "common/FakeHttp.h"
#include "common/FakeMailClients.h"
#include "common/TempDir.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

class RuntimeTest : public ::testing::Test {
protected:
    TempDir dir;
    AppPaths paths = AppPaths::ForDirectory(dir.Path() + "/");
    std::unique_ptr<SettingsStore> store = OpenInstallation(paths);
    ScanObserver observer;
    StoreConsole console{*store, paths};
};

TEST_F(RuntimeTest, ANewInstallationGetsTheDefaultTextsAndTheRealParts) {
    EXPECT_TRUE(FileExists(paths.ListDataFile("Default List")));
    Runtime runtime(paths, *store, observer, console);
    Services& services = runtime.services();
    EXPECT_EQ(&services.store, store.get());
    EXPECT_EQ(&services.observer, &observer);
    EXPECT_EQ(&services.console, &console);
    EXPECT_NE(dynamic_cast<TPop3Client*>(&services.pop3), nullptr);
    EXPECT_NE(dynamic_cast<TSmtpClient*>(&services.smtp), nullptr);
    EXPECT_NE(dynamic_cast<CurlHttpClient*>(&runtime.http()), nullptr);
    // Both mail logins take their OAuth tokens from the runtime's store of them.
    EXPECT_EQ(services.pop3.Tokens, &runtime.tokens());
    EXPECT_EQ(services.smtp.Tokens, &runtime.tokens());
    // A second runtime (another face, another process) is kept out while a session runs.
    Runtime other(paths, *store, observer, console);
    std::unique_lock<SessionLock> session(runtime.sessionLock());
    EXPECT_FALSE(other.sessionLock().try_lock());
}

TEST_F(RuntimeTest, StandInsTakeThePlacesOfTheOutsideParts) {
    FakePop3 pop3;
    FakeSmtp smtp;
    FakeClock clock;
    clock.Set(2026, 5, 1, 12, 0, 0);
    FakeRandom random;
    FakeHttp http;
    Runtime runtime(paths, *store, observer, console, {&clock, &random, &pop3, &smtp, &http});
    Services& services = runtime.services();
    EXPECT_EQ(&services.pop3, &pop3);
    EXPECT_EQ(&services.smtp, &smtp);
    EXPECT_EQ(&services.clock, &clock);
    EXPECT_EQ(&services.random, &random);
    EXPECT_EQ(&runtime.http(), &http);
    EXPECT_EQ(smtp.Tokens, &runtime.tokens());

    // The sign-in goes through the runtime's HTTP client; its tokens serve the logins.
    for (const auto& [name, value] : {std::pair{"OAuthProvider", "custom"},
                                      {"OAuthClientId", "cid"},
                                      {"OAuthTokenUrl", "https://auth.example.test/token"},
                                      {"OAuthDeviceUrl", "https://auth.example.test/device"},
                                      {"SmtpUser", "ann@example.org"}}) {
        store->WriteRegString(paths.SettingsKey(), name, value);
    }
    http.Answer(200, R"({"device_code":"D","user_code":"U-1","verification_uri":)"
                     R"("https://auth.example.test/go","expires_in":900,"interval":1})");
    http.Answer(200, R"({"access_token":"AT","token_type":"Bearer","expires_in":3600,)"
                     R"("refresh_token":"RT"})");
    SignInHooks hooks;
    hooks.say = [](const std::string&) {};
    hooks.wait = [](int64_t) { return true; };
    const ActionResult result =
        runtime.SignIn(*FindMailboxAccount(services, "smtp"), SignInRequest{}, hooks);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(http.Requests().size(), 2u);
    const TokenGrant grant = runtime.tokens().AccessToken("smtp", "ann@example.org");
    EXPECT_EQ(grant.accessToken, "AT") << grant.error.Text();
}

}  // namespace
}  // namespace corvanteer::testing
