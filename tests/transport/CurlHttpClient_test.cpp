// The real HTTP client against scripted servers on loopback: certificates checked (with the
// extra CA file), answers bounded in size and time, no scheme and no redirect but those a
// request allows.

#include "transport/CurlHttpClient.h"

#include <gtest/gtest.h>

#include "common/FakeMailServer.h"
#include "common/TempDir.h"
#include "common/TestCertificates.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

class CurlHttpClientTest : public ::testing::Test {
protected:
    CurlHttpClientTest() { testing::Spit(caFile, ca.Identity().certPem); }

    ServerScript Answering(const std::string& response) {
        ServerScript script;
        script.StartTls(server.Pem()).ExpectAnyLine().Send(response);
        return script;
    }
    HttpRequest To(const FakeMailServer& fake) {
        HttpRequest request;
        request.url = "https://127.0.0.1:" + std::to_string(fake.Port()) + "/token";
        request.form = "grant_type=refresh_token&refresh_token=SECRET";
        request.caFile = caFile;
        request.timeoutMs = 3000;
        return request;
    }

    testing::TempDir dir;
    std::string caFile = dir.File("ca.pem");
    testing::TestCa ca{"Corvanteer Test CA"};
    testing::TestIdentity server = ca.Issue({"127.0.0.1", {}, {"127.0.0.1"}});
    CurlHttpClient http;
};

std::string Json(long status, const std::string& body) {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST_F(CurlHttpClientTest, PostsTheFormOverVerifiedTls) {
    FakeMailServer fake({Answering(Json(400, R"({"error":"invalid_grant"})"))});
    const HttpResponse response = http.PostForm(To(fake));
    EXPECT_EQ(response.status, 400) << response.error;
    EXPECT_EQ(response.body, R"({"error":"invalid_grant"})");
    const std::string received = fake.Received(0);
    EXPECT_NE(received.find("POST /token HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(received.find("Content-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
    EXPECT_NE(received.find("\r\n\r\ngrant_type=refresh_token&refresh_token=SECRET"),
              std::string::npos);
}

TEST_F(CurlHttpClientTest, RefusesUntrustedServersLongAnswersSilenceAndPlainHttp) {
    FakeMailServer fake({
        ServerScript().StartTls(server.Pem()),  // the client gives up at the certificate
        Answering(Json(200, std::string(70 * 1024, 'x'))),
        ServerScript().StartTls(server.Pem()).ExpectAnyLine().Silence(2000),
    });
    HttpRequest request = To(fake);
    request.caFile.clear();
    HttpResponse response = http.PostForm(request);
    EXPECT_FALSE(response.answered());
    EXPECT_NE(response.error.find("no answer from https://127.0.0.1:"), std::string::npos);
    EXPECT_EQ(response.error.find("SECRET"), std::string::npos);

    response = http.PostForm(To(fake));
    EXPECT_FALSE(response.answered());
    EXPECT_NE(response.error.find("is too long"), std::string::npos) << response.error;

    request = To(fake);
    request.timeoutMs = 300;
    response = http.PostForm(request);
    EXPECT_FALSE(response.answered());
    EXPECT_NE(response.error.find("no answer"), std::string::npos) << response.error;

    request = To(fake);
    request.url = "http://127.0.0.1:" + std::to_string(fake.Port()) + "/token";
    response = http.PostForm(request);
    EXPECT_NE(response.error.find("not an https:// address"), std::string::npos);
    request.url = "https://127.0.0.1:" + std::to_string(fake.Port()) + "/token";
    request.caFile = dir.File("missing.pem");
    EXPECT_NE(http.PostForm(request).error.find("missing.pem"), std::string::npos);
    EXPECT_EQ(fake.Connections(), 3u);
}

TEST_F(CurlHttpClientTest, GetKeepsToTheSchemesAndRedirectsItIsAllowed) {
    auto redirect = [](const std::string& to) {
        return "HTTP/1.1 302 Found\r\nLocation: " + to +
               "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    };
    auto plain = [](const std::string& body) {
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body;
    };
    FakeMailServer plainText({ServerScript().ExpectAnyLine().Send(plain("in plain text"))});
    const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plainText.Port()) + "/";
    FakeMailServer fake({
        ServerScript().ExpectAnyLine().Send(redirect("/moved")),         // not followed
        ServerScript().ExpectAnyLine().Send(redirect("/moved")),         // followed once...
        ServerScript().ExpectAnyLine().Send(plain("corvanteer 9.0\n")),  // ...to the list
        ServerScript().ExpectAnyLine().Send(plain(std::string(2000, 'x'))),
        ServerScript().StartTls(server.Pem()).ExpectAnyLine().Send(redirect(plainUrl)),
    });
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(fake.Port()) + "/upgrades.txt";
    request.timeoutMs = 3000;
    HttpResponse response = http.Get(request);
    EXPECT_NE(response.error.find("refused to fetch http://127.0.0.1:"), std::string::npos);
    EXPECT_NE(response.error.find("not an https:// address"), std::string::npos);

    request.plainHttp = true;
    response = http.Get(request);
    EXPECT_EQ(response.status, 302) << response.error;
    request.maxRedirects = 1;
    response = http.Get(request);
    EXPECT_EQ(response.status, 200) << response.error;
    EXPECT_EQ(response.body, "corvanteer 9.0\n");
    EXPECT_NE(fake.Received(2).find("GET /moved HTTP/1.1"), std::string::npos);
    request.maxBytes = 1000;
    response = http.Get(request);
    EXPECT_FALSE(response.answered());
    EXPECT_NE(response.error.find("is too long"), std::string::npos) << response.error;

    // An https:// request is never led to plain text, redirected or not.
    request = To(fake);
    request.maxRedirects = 1;
    response = http.Get(request);
    EXPECT_FALSE(response.answered());
    EXPECT_EQ(fake.Connections(), 5u);
    EXPECT_EQ(plainText.Connections(), 0u);
}

}  // namespace
}  // namespace corvanteer
