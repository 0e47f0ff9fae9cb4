// The token endpoint requests and the two sign-ins, against a scripted HTTP client (and, for
// the browser sign-in, a real loopback listener and a thread that plays the browser).

#include "oauth/OAuthGrants.h"

#include <gtest/gtest.h>

#include <thread>

#include "common/FakeHttp.h"
#include "oauth/OAuthSignIn.h"
#include "support/Clock.h"
#include "transport/ByteStream.h"
#include "transport/TcpStream.h"

namespace corvanteer {
namespace {

using testing::FakeHttp;

OAuthProfile Profile() {
    OAuthSettings settings;
    settings.provider = "custom";
    settings.clientId = "client-1";
    settings.tokenUrl = "https://auth.example.test/token";
    settings.deviceUrl = "https://auth.example.test/device";
    settings.authorizeUrl = "https://auth.example.test/authorize";
    settings.scopes = "mail offline";
    settings.caFile = "/etc/test-ca.pem";
    std::string error;
    return *MakeOAuthProfile(settings, error);
}

const char* kGranted =
    R"({"access_token":"AT1","token_type":"Bearer","expires_in":3600,"refresh_token":"RT2"})";

TEST(OAuthProfiles, BuiltInEndpointsAndWhatIsMissing) {
    OAuthSettings settings;
    settings.clientId = "id";
    settings.tenant = "contoso.example";
    std::string error;
    const auto microsoft = MakeOAuthProfile(settings, error);
    ASSERT_TRUE(microsoft);
    EXPECT_EQ(microsoft->deviceUrl,
              "https://login.microsoftonline.com/contoso.example/oauth2/v2.0/devicecode");
    EXPECT_EQ(microsoft->tokenUrl,
              "https://login.microsoftonline.com/contoso.example/oauth2/v2.0/token");
    EXPECT_EQ(microsoft->scopes,
              "https://outlook.office.com/POP.AccessAsUser.All "
              "https://outlook.office.com/SMTP.Send offline_access");
    settings.provider = "google";
    const auto google = MakeOAuthProfile(settings, error);
    ASSERT_TRUE(google);
    EXPECT_EQ(google->tokenUrl, "https://oauth2.googleapis.com/token");
    EXPECT_EQ(google->deviceUrl, "");  // Google's device grant does not cover mail
    EXPECT_EQ(google->scopes, "https://mail.google.com/");

    settings.provider = "custom";  // no endpoints
    EXPECT_FALSE(MakeOAuthProfile(settings, error));
    EXPECT_NE(error.find("OAuthTokenUrl"), std::string::npos);
    settings.provider = "microsoft";
    settings.clientId.clear();
    EXPECT_FALSE(MakeOAuthProfile(settings, error));
    EXPECT_NE(error.find("OAuthClientId"), std::string::npos);
}

TEST(OAuthGrants, RefreshSendsItsFormAndReadsTheAnswer) {
    FakeHttp http;
    OAuthProfile profile = Profile();
    profile.clientSecret = "s3cret";
    OAuthServer server(profile, http);
    http.Answer(200, kGranted);
    const GrantResult granted = server.Refresh("RT1");
    ASSERT_TRUE(granted.ok()) << granted.error;
    EXPECT_EQ(granted.tokens.accessToken, "AT1");
    EXPECT_EQ(granted.tokens.refreshToken, "RT2");
    EXPECT_EQ(granted.tokens.expiresIn, 3600);
    const HttpRequest sent = http.Requests().at(0);
    EXPECT_EQ(sent.url, "https://auth.example.test/token");
    EXPECT_EQ(sent.caFile, "/etc/test-ca.pem");
    EXPECT_EQ(sent.form,
              "grant_type=refresh_token&refresh_token=RT1&scope=mail%20offline&client_id=client-1"
              "&client_secret=s3cret");

    struct Case {
        long status;
        const char* body;
        GrantOutcome outcome;
        const char* words;  // in the error text
    };
    const Case cases[] = {
        {400, R"({"error":"invalid_grant","error_description":"AADSTS70000: revoked\r\n"})",
         GrantOutcome::InvalidGrant, "invalid_grant: AADSTS70000: revoked"},
        {400, R"({"error":"invalid_client"})", GrantOutcome::Refused, "invalid_client"},
        {500, "<html>busy</html>", GrantOutcome::NoAnswer, "HTTP 500 and no JSON"},
        {200, R"({"access_token":"A","token_type":"mac"})", GrantOutcome::NoAnswer, "mac"},
        {200, R"({"access_token":"A\r\nQUIT","token_type":"Bearer"})", GrantOutcome::NoAnswer,
         "no usable access token"},
        {200, R"({"token_type":"Bearer"})", GrantOutcome::NoAnswer, "no usable access token"},
        // A member of the wrong type makes the whole reply unusable.
        {200, R"({"access_token":7,"token_type":"Bearer"})", GrantOutcome::NoAnswer,
         "HTTP 200 and access_token of the wrong type"},
        {200, R"({"access_token":"A","token_type":"Bearer","expires_in":"soon"})",
         GrantOutcome::NoAnswer, "expires_in of the wrong type"},
        {400, R"({"error":["invalid_grant"]})", GrantOutcome::NoAnswer, "error of the wrong type"},
        {200, R"([{"access_token":"A","token_type":"Bearer"}])", GrantOutcome::NoAnswer, "no JSON"},
    };
    for (const Case& test : cases) {
        http.Answer(test.status, test.body);
        const GrantResult result = server.Refresh("RT1");
        EXPECT_EQ(result.outcome, test.outcome) << test.body;
        EXPECT_NE(result.error.find(test.words), std::string::npos) << result.error;
        EXPECT_EQ(result.error.find('\r'), std::string::npos);
    }
    // Without expires_in (or with null) an hour is assumed; a quoted number is a number.
    http.Answer(200, R"({"access_token":"A","token_type":"bearer","expires_in":null})");
    EXPECT_EQ(server.Refresh("RT1").tokens.expiresIn, 3600);
    http.Answer(200, R"({"access_token":"A","token_type":"bearer","expires_in":"599"})");
    EXPECT_EQ(server.Refresh("RT1").tokens.expiresIn, 599);
}

TEST(OAuthGrants, PkceAndTheAuthorizationAddress) {
    // RFC 7636 appendix B.
    EXPECT_EQ(PkceChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
              "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
    FakeRandom random;
    const Pkce pkce = MakePkce(random);
    EXPECT_EQ(pkce.verifier.size(), 43u);
    EXPECT_EQ(pkce.challenge, PkceChallenge(pkce.verifier));
    FakeHttp http;
    OAuthProfile profile = Profile();
    profile.authorizeExtras = {{"access_type", "offline"}};
    const std::string url =
        OAuthServer(profile, http)
            .AuthorizationUrl("http://127.0.0.1:5000/", "st", "ch", "ann@example.org");
    EXPECT_EQ(url,
              "https://auth.example.test/authorize?response_type=code&client_id=client-1"
              "&redirect_uri=http%3A%2F%2F127.0.0.1%3A5000%2F&scope=mail%20offline&state=st"
              "&code_challenge=ch&code_challenge_method=S256&login_hint=ann%40example.org"
              "&access_type=offline");
}

// The device sign-in's waits move a fake clock; the server's answers come in turn.
struct DeviceRun {
    FakeHttp http;
    FakeClock clock;
    std::vector<int64_t> waits;
    std::vector<std::string> said;
    SignInHooks hooks;

    DeviceRun() {
        hooks.say = [this](const std::string& line) { said.push_back(line); };
        hooks.wait = [this](int64_t ms) {
            waits.push_back(ms);
            clock.AdvanceSeconds(ms / 1000);
            return true;
        };
    }
    GrantResult Run() {
        OAuthServer server(Profile(), http);
        return SignInWithDevice(server, hooks, clock, "ann@example.org");
    }
};

TEST(DeviceSignIn, PollsAtTheIntervalSlowsDownAndTakesTheTokens) {
    DeviceRun run;
    run.http.Answer(200, R"({"device_code":"DC","user_code":"ABCD-EFGH",)"
                         R"("verification_uri":"https://auth.example.test/device",)"
                         R"("expires_in":900,"interval":2})");
    run.http.Answer(400, R"({"error":"authorization_pending"})");
    run.http.Answer(400, R"({"error":"slow_down"})");
    run.http.Answer(400, R"({"error":"authorization_pending"})");
    run.http.Answer(200, kGranted);
    const GrantResult result = run.Run();
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.tokens.refreshToken, "RT2");
    EXPECT_EQ(run.waits, (std::vector<int64_t>{2000, 2000, 7000, 7000}));
    ASSERT_FALSE(run.said.empty());
    EXPECT_EQ(run.said[0],
              "To sign in as ann@example.org, open https://auth.example.test/device in a browser "
              "and enter the code ABCD-EFGH");
    EXPECT_EQ(run.http.Field(0, "scope"), "mail offline");
    EXPECT_EQ(run.http.Field(1, "grant_type"), "urn:ietf:params:oauth:grant-type:device_code");
    EXPECT_EQ(run.http.Field(1, "device_code"), "DC");
}

TEST(DeviceSignIn, EndsAtExpiryDenialSilenceOrStop) {
    const std::string start = R"({"device_code":"DC","user_code":"C",)"
                              R"("verification_url":"https://g.example/device",)"
                              R"("expires_in":12,"interval":5})";
    {
        DeviceRun run;  // expires after two polls of 5 s: the third wait passes 12 s
        run.http.Answer(200, start);
        run.http.handler = [](const HttpRequest&) {
            return HttpResponse{400, R"({"error":"authorization_pending"})", ""};
        };
        const GrantResult result = run.Run();
        EXPECT_FALSE(result.ok());
        EXPECT_NE(result.error.find("expired"), std::string::npos) << result.error;
        EXPECT_EQ(run.http.Requests().size(), 3u);
    }
    {
        DeviceRun run;
        run.http.Answer(200, start);
        run.http.Answer(400, R"({"error":"access_denied"})");
        EXPECT_NE(run.Run().error.find("declined"), std::string::npos);
    }
    {
        DeviceRun run;
        run.http.Answer(200, R"({"device_code":"DC","user_code":"C",)"
                             R"("verification_uri":"https://g.example/device","expires_in":900})");
        run.http.NoAnswer();
        run.http.NoAnswer();
        run.http.NoAnswer();
        EXPECT_NE(run.Run().error.find("timed out"), std::string::npos);
    }
    {
        DeviceRun run;
        run.http.Answer(200, start);
        run.hooks.wait = [](int64_t) { return false; };
        EXPECT_EQ(run.Run().error, "The sign-in was stopped.");
    }
    {
        DeviceRun run;
        run.http.Answer(400, R"({"error":"unauthorized_client","error_description":"no"})");
        EXPECT_NE(run.Run().error.find("unauthorized_client no"), std::string::npos);
    }
}

// Plays the browser: GETs each target on the listener and keeps the status lines.
std::string Get(int port, const std::string& target) {
    TcpConnector connector;
    std::unique_ptr<ByteStream> stream = connector.Open("127.0.0.1", port, 2000);
    if (!stream) {
        return "no connection";
    }
    stream->WriteAll("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 2000);
    std::string answer;
    char buffer[1024];
    for (;;) {
        const ReadResult read = stream->ReadSome(buffer, sizeof buffer, 3000);
        if (read.status != ReadStatus::Data) {
            break;
        }
        answer.append(buffer, read.count);
    }
    return answer.substr(0, answer.find("\r\n"));
}

TEST(BrowserSignIn, TakesTheRedirectWithItsStateAndExchangesTheCode) {
    FakeHttp http;
    http.Answer(200, kGranted);
    FakeRandom random;
    std::vector<std::string> statuses;
    std::thread browser;
    SignInHooks hooks;
    hooks.say = [](const std::string&) {};
    hooks.openBrowser = [&](const std::string& url) {
        const int port = std::stoi(QueryValue(url.substr(url.find('?') + 1), "redirect_uri")
                                       .substr(std::string("http://127.0.0.1:").size()));
        const std::string state = QueryValue(url.substr(url.find('?') + 1), "state");
        browser = std::thread([port, state, &statuses] {
            statuses.push_back(Get(port, "/favicon.ico"));
            statuses.push_back(Get(port, "/?code=forged&state=other"));
            statuses.push_back(Get(port, "/?code=C0DE&state=" + state));
        });
    };
    OAuthServer server(Profile(), http);
    const GrantResult result = SignInWithBrowser(server, hooks, random, "ann@example.org", 10000);
    browser.join();
    ASSERT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.tokens.accessToken, "AT1");
    EXPECT_EQ(statuses, (std::vector<std::string>{"HTTP/1.1 404 Not Found",
                                                  "HTTP/1.1 400 Bad Request", "HTTP/1.1 200 OK"}));
    ASSERT_EQ(http.Requests().size(), 1u);  // the forged code was never exchanged
    EXPECT_EQ(http.Field(0, "grant_type"), "authorization_code");
    EXPECT_EQ(http.Field(0, "code"), "C0DE");
    EXPECT_EQ(http.Field(0, "redirect_uri").substr(0, 17), "http://127.0.0.1:");
    EXPECT_EQ(http.Field(0, "code_verifier").size(), 43u);
}

TEST(BrowserSignIn, ARefusalOrNoAnswerEndsIt) {
    FakeHttp http;
    FakeRandom random;
    std::thread browser;
    SignInHooks hooks;
    hooks.say = [](const std::string&) {};
    hooks.openBrowser = [&](const std::string& url) {
        const std::string query = url.substr(url.find('?') + 1);
        const int port = std::stoi(QueryValue(query, "redirect_uri").substr(17));
        const std::string state = QueryValue(query, "state");
        browser = std::thread([port, state] { Get(port, "/?error=access_denied&state=" + state); });
    };
    OAuthServer server(Profile(), http);
    GrantResult result = SignInWithBrowser(server, hooks, random, "", 10000);
    browser.join();
    EXPECT_EQ(result.error, "The sign-in was refused: access_denied");
    EXPECT_EQ(result.outcome, GrantOutcome::Denied);
    hooks.openBrowser = nullptr;
    result = SignInWithBrowser(server, hooks, random, "", 300);
    EXPECT_NE(result.error.find("No answer came from the browser"), std::string::npos);
    EXPECT_TRUE(http.Requests().empty());
}

}  // namespace
}  // namespace corvanteer
