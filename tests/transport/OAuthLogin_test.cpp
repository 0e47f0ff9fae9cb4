// POP3 and SMTP logins with an OAuth access token: the mechanism chosen from what the server
// offers, the exchange on the wire, the answer to an error challenge, and that no token
// leaves without TLS or reaches an error text.

#include <gtest/gtest.h>

#include "common/FakeMailServer.h"
#include "common/TestCertificates.h"
#include "transport/HostNames.h"
#include "transport/TBase64.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {
namespace {

using testing::FakeMailServer;
using testing::ServerScript;

constexpr int kPatientMs = 3000;

const testing::TestIdentity& ServerCert() {
    static const testing::TestIdentity identity =
        testing::SelfSigned({"localhost", {"localhost"}, {"127.0.0.1"}});
    return identity;
}

class FakeTokens final : public OAuthTokenSource {
public:
    TokenGrant AccessToken(const std::string& account, const std::string& user) override {
        asked.push_back(account + "/" + user);
        return grant;
    }
    TokenGrant grant{"ya29.TOKEN", {}};
    std::vector<std::string> asked;
};

std::string B64(std::string_view text) {
    std::string out;
    TBase64().Encode(text, out);
    return out;
}

std::string XOAuth2(const std::string& token) {
    return B64(
        "user=alice@example.org\x01"
        "auth=Bearer " +
        token + "\x01\x01");
}

void Configure(TPop3Client& client, const FakeMailServer& server, FakeTokens& tokens,
               const char* mode = "tls") {
    client.HostAddress = server.Host();
    client.Port = server.Port();
    client.User = "alice@example.org";
    client.Password = "unused";
    client.Security = {mode, ServerCert().fingerprint, ""};
    client.Auth = LoginMethod::OAuth2;
    client.TokenAccount = "news";
    client.Tokens = &tokens;
    client.ConnectTimeoutMs = kPatientMs;
    client.SendTimeoutMs = kPatientMs;
}

void Configure(TSmtpClient& smtp, const FakeMailServer& server, FakeTokens& tokens,
               const char* mode = "tls") {
    smtp.Server.host = server.Host();
    smtp.Server.port = server.Port();
    smtp.Server.user = "alice@example.org";
    smtp.Server.password = "unused";
    smtp.Server.security = {mode, ServerCert().fingerprint, ""};
    smtp.Server.auth = LoginMethod::OAuth2;
    smtp.Server.tokenAccount = "news";
    smtp.Tokens = &tokens;
    smtp.ConnectTimeoutMs = kPatientMs;
    smtp.SendTimeoutMs = kPatientMs;
}

// The message the tests send.
const Envelope kMail{"list@example.org", {"ann@example.org"}, "Subject: hi\r\n\r\nHello.\r\n"};

void Patient(TPop3Client& pop3) {
    pop3.FirstByteTimeoutMs = kPatientMs;
    pop3.ReadTimeoutMs = kPatientMs;
    pop3.MultiLineReadTimeoutMs = kPatientMs;
}

ServerScript Pop3Greeted(const char* sasl) {
    ServerScript script;
    script.StartTls(ServerCert().Pem())
        .SendLine("+OK ready")
        .Expect("CAPA")
        .Send(std::string("+OK\r\nUSER\r\n") + sasl + "\r\n.\r\n");
    return script;
}

TEST(OAuthLogin, Pop3XOAuth2OnTheAuthLineOrAfterTheEmptyChallenge) {
    const std::string longToken(300, 'L');
    FakeMailServer server({
        Pop3Greeted("SASL PLAIN OAUTHBEARER XOAUTH2")
            .Reply("AUTH XOAUTH2 " + XOAuth2("ya29.TOKEN"), "+OK welcome")
            .Reply("STAT", "+OK 2 320")
            .Reply("QUIT", "+OK bye"),
        // Over 255 octets the response waits for the server's "+ " (RFC 5034).
        Pop3Greeted("SASL XOAUTH2")
            .Reply("AUTH XOAUTH2", "+ ")
            .Reply(XOAuth2(longToken), "+OK welcome")
            .Reply("STAT", "+OK 0 0")
            .Reply("QUIT", "+OK bye"),
    });
    FakeTokens tokens;
    TPop3Client pop3;
    Configure(pop3, server, tokens);
    Patient(pop3);
    ASSERT_TRUE(pop3.Login()) << pop3.LastError.Text();
    EXPECT_EQ(pop3.MessageCount, 2);
    pop3.Quit();
    tokens.grant.accessToken = longToken;
    ASSERT_TRUE(pop3.Login()) << pop3.LastError.Text();
    pop3.Quit();
    EXPECT_EQ(tokens.asked,
              (std::vector<std::string>{"news/alice@example.org", "news/alice@example.org"}));
    EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();
}

TEST(OAuthLogin, Pop3ErrorChallengeGetsTheRfcAnswerAndFailsTheLogin) {
    const std::string challenge = B64(R"({"status":"invalid_token","scope":"pop"})");
    FakeMailServer server({
        Pop3Greeted("SASL OAUTHBEARER")
            .ExpectAnyLine()
            .Send("+ " + challenge + "\r\n")
            .Reply("AQ==", "-ERR [AUTH] Authentication failed.")
            .Reply("QUIT", "+OK"),
    });
    FakeTokens tokens;
    TPop3Client pop3;
    Configure(pop3, server, tokens);
    Patient(pop3);
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();
    EXPECT_EQ(pop3.LastError.kind, MailFailure::Auth);
    EXPECT_EQ(pop3.LastError.Text(), server.Host() + ":" + std::to_string(server.Port()) +
                                         " refused AUTH OAUTHBEARER (status invalid_token): "
                                         "-ERR [AUTH] Authentication failed.");
    const std::string initial =
        "n,a=alice@example.org,\x01host=127.0.0.1\x01port=" + std::to_string(server.Port()) +
        "\x01"
        "auth=Bearer ya29.TOKEN\x01\x01";
    EXPECT_NE(server.Received(0).find("AUTH OAUTHBEARER " + B64(initial) + "\r\nAQ==\r\n"),
              std::string::npos);
}

TEST(OAuthLogin, NoTokenLeavesWithoutTlsWithoutAMechanismOrWithoutAGrant) {
    FakeMailServer server({Pop3Greeted("SASL PLAIN").Reply("QUIT", "+OK")});
    FakeTokens tokens;
    TPop3Client pop3;
    Configure(pop3, server, tokens);
    Patient(pop3);
    EXPECT_FALSE(pop3.Login());
    pop3.Quit();
    EXPECT_EQ(pop3.LastError.kind, MailFailure::Auth);
    EXPECT_NE(pop3.LastError.reason.find("offers neither AUTH XOAUTH2 nor AUTH OAUTHBEARER"),
              std::string::npos);
    EXPECT_EQ(server.Received(0).find("ya29"), std::string::npos);

    // Plain text, or a source with no token: no connection is made at all.
    for (const char* mode : {"none", "auto"}) {  // auto on this port is plain text
        Configure(pop3, server, tokens, mode);
        EXPECT_FALSE(pop3.Login());
        EXPECT_EQ(pop3.LastError.kind, MailFailure::Settings);
        EXPECT_NE(pop3.LastError.reason.find("OAuth 2.0 needs TLS"), std::string::npos);
    }
    Configure(pop3, server, tokens);
    tokens.grant = {
        "", Fail(MailFailure::Token, "sign in again with: corvanteer-cli oauth login news")};
    const ProbeReport probe = pop3.Probe();
    EXPECT_FALSE(probe.connected);
    EXPECT_EQ(probe.login, LoginOutcome::NotTried);
    EXPECT_EQ(probe.error.kind, MailFailure::Token);
    TSmtpClient smtp;
    Configure(smtp, server, tokens);
    std::string reply = "before";
    EXPECT_FALSE(smtp.Send(kMail, reply));
    EXPECT_EQ(reply, "sign in again with: corvanteer-cli oauth login news");
    EXPECT_EQ(server.Connections(), 1u);
}

ServerScript SmtpGreeted(const char* auth) {
    ServerScript script;
    script.StartTls(ServerCert().Pem())
        .SendLine("220 ready")
        .Expect("EHLO " + LocalHostName())
        .Send(std::string("250-mail.example.org\r\n250 ") + auth + "\r\n");
    return script;
}

TEST(OAuthLogin, SmtpPrefersXOAuth2AndLogsInEvenWhenAuthenticationIsNotRequired) {
    FakeMailServer server({
        SmtpGreeted("AUTH PLAIN OAUTHBEARER XOAUTH2")
            .Reply("AUTH XOAUTH2 " + XOAuth2("ya29.TOKEN"), "235 2.7.0 Accepted")
            .Reply("MAIL FROM:<list@example.org>", "250 Ok")
            .Reply("RCPT TO:<ann@example.org>", "250 Ok")
            .Reply("DATA", "354 go ahead")
            .ExpectData()
            .SendLine("250 queued")
            .Expect("QUIT"),
        SmtpGreeted("AUTH XOAUTH2")
            .Reply("AUTH XOAUTH2 " + XOAuth2("ya29.TOKEN"),
                   "334 " + B64(R"({"status":"400","schemes":"Bearer"})"))
            .Reply("", "535 5.7.8 Username and Password not accepted")
            .Expect("QUIT"),
    });
    FakeTokens tokens;
    TSmtpClient smtp;
    Configure(smtp, server, tokens);
    smtp.ReplyTimeoutMs = kPatientMs;
    smtp.ReadTimeoutMs = kPatientMs;
    smtp.Server.requireAuthentication = false;
    smtp.Server.tokenAccount = "smtp";
    std::string reply;
    EXPECT_TRUE(smtp.Send(kMail, reply)) << reply;
    const SmtpResult refused = smtp.Submit(kMail);
    EXPECT_EQ(refused.error.kind, MailFailure::Auth);
    EXPECT_EQ(refused.error.Text(), server.Host() + ":" + std::to_string(server.Port()) +
                                        " refused AUTH XOAUTH2 (status 400): 535 5.7.8 Username "
                                        "and Password not accepted");
    EXPECT_EQ(refused.error.Text().find("ya29"), std::string::npos);
    EXPECT_TRUE(server.Problems().empty()) << server.Problems().front();
}

}  // namespace
}  // namespace corvanteer
