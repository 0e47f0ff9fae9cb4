// The stored tokens and their refresh: when it happens, what is kept, and that two
// processes refreshing at once never lose a rotated refresh token.

#include "oauth/OAuthTokens.h"

#include <gtest/gtest.h>

#include <latch>
#include <set>
#include <thread>

#include "common/FakeHttp.h"
#include "common/TempDir.h"

namespace corvanteer {
namespace {

using testing::FakeHttp;
using testing::TempDir;

// One process's view: its own store connection, locks and token source.
struct Process {
    Process(const AppPaths& paths, HttpClient& http, const Clock& clock)
        : store(SettingsStore::Open(paths.SettingsDatabase())),
          storeLock(paths.StoreLockFile()),
          tokens(*store, paths, storeLock, http, clock) {}
    std::unique_ptr<SettingsStore> store;
    StoreLock storeLock;
    OAuthTokens tokens;
};

class OAuthTokensTest : public ::testing::Test {
protected:
    OAuthTokensTest() {
        clock.Set(2026, 5, 1, 12, 0, 0);
        // A custom provider, so the refresh goes to an address of the test's.
        for (const auto& [name, value] : {std::pair{"OAuthProvider", "custom"},
                                          {"OAuthClientId", "cid"},
                                          {"OAuthTokenUrl", "https://auth.example.test/token"},
                                          {"OAuthDeviceUrl", "https://auth.example.test/device"}}) {
            main.store->WriteRegString(paths.SettingsKey(), name, value);
        }
    }
    void SignIn(const std::string& refresh, int64_t lifetime) {
        main.tokens.SaveSignIn(smtp, "ann@example.org", {"AT0", refresh, lifetime});
    }
    TokenGrant Token(Process& process) {
        return process.tokens.AccessToken("SMTP", "Ann@Example.org");
    }

    TempDir dir;
    AppPaths paths = AppPaths::ForDirectory(dir.Path() + "/");
    FakeHttp http;
    FakeClock clock;
    Process main{paths, http, clock};
    OAuthAccount smtp = AccountNamed(paths, "smtp");
};

TEST_F(OAuthTokensTest, StoredScrambledUnderTheAccount) {
    SignIn("RT1", 3600);
    EXPECT_EQ(smtp.key, paths.SettingsKey() + "\\OAuth\\SMTP");
    EXPECT_EQ(AccountNamed(paths, "news").key, paths.ListKey("news") + "\\OAuth");
    EXPECT_EQ(main.store->ReadRegString(smtp.key, "RefreshToken", ""), ScramblePassword("RT1"));
    EXPECT_EQ(main.store->ReadRegString(smtp.key, "AccessToken", ""), ScramblePassword("AT0"));
    const int64_t now = UnixSeconds(clock.Now());
    EXPECT_EQ(main.tokens.Read(smtp).expires, now + 3600);

    EXPECT_TRUE(main.tokens.Forget(smtp));
    EXPECT_FALSE(main.tokens.Read(smtp).SignedIn());
    EXPECT_FALSE(main.tokens.Forget(smtp));
}

TEST_F(OAuthTokensTest, RefreshedOnlyWithinFiveMinutesOfExpiryAndRotationKept) {
    SignIn("RT1", 301);
    TokenGrant grant = Token(main);
    ASSERT_TRUE(grant.ok()) << grant.error.Text();
    EXPECT_EQ(grant.accessToken, "AT0");
    EXPECT_TRUE(http.Requests().empty());

    clock.AdvanceSeconds(2);  // 299 s left: refreshed, and the server rotates
    http.Answer(200, R"({"access_token":"AT1","token_type":"Bearer","expires_in":3600,)"
                     R"("refresh_token":"RT2"})");
    grant = Token(main);
    EXPECT_EQ(grant.accessToken, "AT1");
    EXPECT_EQ(http.Field(0, "refresh_token"), "RT1");
    StoredTokens stored = main.tokens.Read(smtp);
    EXPECT_EQ(stored.refreshToken, "RT2");
    EXPECT_EQ(stored.expires, UnixSeconds(clock.Now()) + 3600);

    clock.AdvanceSeconds(3600);  // expired; this server does not rotate: RT2 stays
    http.Answer(200, R"({"access_token":"AT2","token_type":"Bearer","expires_in":3600})");
    EXPECT_EQ(Token(main).accessToken, "AT2");
    EXPECT_EQ(http.Field(1, "refresh_token"), "RT2");
    EXPECT_EQ(main.tokens.Read(smtp).refreshToken, "RT2");
}

TEST_F(OAuthTokensTest, RefusedRefreshAsksForANewSignInOnceAndForAll) {
    SignIn("RT1", 60);
    http.Answer(400, R"({"error":"invalid_grant","error_description":"revoked"})");
    TokenGrant grant = Token(main);
    EXPECT_EQ(grant.error.kind, MailFailure::Token);
    const std::string command =
        "sign in again with: corvanteer-cli --home " + dir.Path() + " oauth login smtp";
    EXPECT_NE(grant.error.reason.find(command), std::string::npos) << grant.error.reason;
    EXPECT_NE(grant.error.reason.find("invalid_grant"), std::string::npos);
    EXPECT_EQ(grant.accessToken, "");
    // The spent tokens are gone: the next login fails at once, without the network.
    const StoredTokens stored = main.tokens.Read(smtp);
    EXPECT_FALSE(stored.SignedIn());
    EXPECT_EQ(stored.refused, UnixSeconds(clock.Now()));
    grant = Token(main);
    EXPECT_NE(grant.error.reason.find("refused"), std::string::npos);
    EXPECT_NE(grant.error.reason.find(command), std::string::npos);
    EXPECT_EQ(http.Requests().size(), 1u);
}

TEST_F(OAuthTokensTest, OtherFailuresKeepTheTokensAndAStillValidOneServes) {
    SignIn("RT1", 120);  // within the margin, not yet expired
    http.NoAnswer();
    EXPECT_EQ(Token(main).accessToken, "AT0");
    clock.AdvanceSeconds(121);
    http.Answer(503, R"({"error":"temporarily_unavailable"})");
    TokenGrant grant = Token(main);
    EXPECT_EQ(grant.error.kind, MailFailure::Token);
    EXPECT_NE(grant.error.reason.find("cannot refresh"), std::string::npos);
    EXPECT_EQ(main.tokens.Read(smtp).refreshToken, "RT1");

    // Not signed in, or signed in for another mailbox: no request at all.
    EXPECT_NE(
        main.tokens.AccessToken("listserver", "x@example.org").error.reason.find("not signed in"),
        std::string::npos);
    EXPECT_NE(main.tokens.AccessToken("smtp", "bob@example.org").error.reason.find("another user"),
              std::string::npos);
    EXPECT_EQ(http.Requests().size(), 2u);
    // Settings that make no profile are a settings failure.
    main.store->WriteRegString(paths.SettingsKey(), "OAuthClientId", "");
    EXPECT_EQ(Token(main).error.kind, MailFailure::Settings);
}

TEST_F(OAuthTokensTest, ASignInMadeDuringARefreshWins) {
    SignIn("RT1", 0);
    http.handler = [this](const HttpRequest&) {
        // Another process stores a new sign-in while this refresh is under way.
        auto other = SettingsStore::Open(paths.SettingsDatabase());
        WriteTokens(*other, smtp, {"ann@example.org", "NEW-RT", "NEW-AT", 1u << 31, 1, 0});
        return HttpResponse{
            200, R"({"access_token":"AT1","token_type":"Bearer","refresh_token":"RT2"})", ""};
    };
    EXPECT_EQ(Token(main).accessToken, "AT1");  // this connection still uses its token
    EXPECT_EQ(main.tokens.Read(smtp).refreshToken, "NEW-RT");
}

TEST_F(OAuthTokensTest, TwoProcessesRefreshingAtOnceSpendTheRefreshTokenOnce) {
    SignIn("RT1", 0);
    // A server that rotates and refuses a spent refresh token.
    std::mutex mutex;
    std::set<std::string> spent;
    int issued = 0;
    http.handler = [&](const HttpRequest& request) {
        std::lock_guard<std::mutex> lock(mutex);
        const std::string used = QueryValue(request.form, "refresh_token");
        if (!spent.insert(used).second) {
            return HttpResponse{400, R"({"error":"invalid_grant"})", ""};
        }
        ++issued;
        std::this_thread::yield();
        const std::string n = std::to_string(issued);
        return HttpResponse{
            200,
            R"({"access_token":"AT)" + n +
                R"(","token_type":"Bearer","expires_in":3600,"refresh_token":"RT-)" + n + R"("})",
            ""};
    };
    Process other{paths, http, clock};
    std::latch start(1);
    TokenGrant first;
    TokenGrant second;
    std::thread a([&] {
        start.wait();
        first = Token(main);
    });
    std::thread b([&] {
        start.wait();
        second = Token(other);
    });
    start.count_down();
    a.join();
    b.join();
    EXPECT_TRUE(first.ok()) << first.error.Text();
    EXPECT_TRUE(second.ok()) << second.error.Text();
    EXPECT_EQ(first.accessToken, second.accessToken);
    EXPECT_EQ(issued, 1);
    EXPECT_EQ(main.tokens.Read(smtp).refreshToken, "RT-1");
}

TEST(SignInCommand, NamesTheFolderAndTestModeWhenTheyAreNotTheDefault) {
    TempDir dir;
    AppPaths paths = AppPaths::ForDirectory(dir.Path() + "/it's here/", true);
    EXPECT_EQ(SignInCommand(paths, "Default List"), "corvanteer-cli --home '" + dir.Path() +
                                                        "/it'\\''s here' --test oauth login "
                                                        "'Default List'");
}

}  // namespace
}  // namespace corvanteer
