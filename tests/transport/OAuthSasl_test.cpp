// The token mechanisms of the SASL layer and the Base64 helpers they need.

#include <gtest/gtest.h>

#include "transport/Sasl.h"
#include "transport/TBase64.h"

namespace corvanteer {
namespace {

std::string Encoded(std::string_view text) {
    std::string out;
    TBase64().Encode(text, out);
    return out;
}

TEST(TokenMechanisms, InitialResponsesAndTheAnswerToAnErrorChallenge) {
    auto xoauth2 = MakeXOAuth2Mechanism("ann@example.org", "tok.en");
    EXPECT_EQ(xoauth2->Name(), "XOAUTH2");
    EXPECT_EQ(*xoauth2->InitialResponse(),
              "user=ann@example.org\x01"
              "auth=Bearer tok.en\x01\x01");
    // RFC 7628 section 3.2.3: the server's JSON error, then the client's closing answer
    // (XOAUTH2: empty; OAUTHBEARER: ^A), then nothing more.
    const std::string error = Encoded(R"({"status":"401","schemes":"bearer","scope":"x"})");
    EXPECT_EQ(xoauth2->Respond(" " + error), std::optional<std::string>(""));
    EXPECT_EQ(xoauth2->ServerError(), "status 401");
    EXPECT_EQ(xoauth2->Respond(error), std::nullopt);

    auto bearer = MakeOAuthBearerMechanism("a,b=c@example.org", "mail.example.org", 995, "t");
    EXPECT_EQ(bearer->Name(), "OAUTHBEARER");
    EXPECT_EQ(*bearer->InitialResponse(),
              "n,a=a=2Cb=3Dc@example.org,\x01host=mail.example.org\x01port=995\x01"
              "auth=Bearer t\x01\x01");
    EXPECT_EQ(bearer->Respond(Encoded(R"({"status":"invalid_token"})")),
              std::optional<std::string>("\x01"));
    EXPECT_EQ(bearer->ServerError(), "status invalid_token");
    // A challenge that is no JSON still gets its answer; the error says nothing then.
    auto plain = MakeOAuthBearerMechanism("u", "h", 1, "t");
    EXPECT_EQ(plain->Respond("not base64!"), std::optional<std::string>("\x01"));
    EXPECT_EQ(plain->ServerError(), "");
}

TEST(TokenMechanisms, XOAuth2FirstThenOAuthBearerFromWhatIsOffered) {
    const std::vector<std::string> smtp =
        OfferedMechanisms({"PIPELINING", "AUTH PLAIN OAUTHBEARER xoauth2", "8BITMIME"});
    EXPECT_EQ(PickTokenMechanism(smtp, "u", "h", 587, "t")->Name(), "XOAUTH2");
    const std::vector<std::string> pop3 =
        OfferedPop3Mechanisms({"TOP", "USER", "SASL PLAIN OAUTHBEARER", "UIDL"});
    EXPECT_EQ(pop3, (std::vector<std::string>{"PLAIN", "OAUTHBEARER"}));
    EXPECT_EQ(PickTokenMechanism(pop3, "u", "h", 995, "t")->Name(), "OAUTHBEARER");
    EXPECT_EQ(PickTokenMechanism({"PLAIN", "LOGIN"}, "u", "h", 995, "t"), nullptr);
    EXPECT_TRUE(OfferedPop3Mechanisms({"USER", "SASLX PLAIN"}).empty());
}

TEST(Base64Helpers, DecodeAndTheUrlSafeForm) {
    for (const std::string& text :
         std::vector<std::string>{"", "a", "ab", "abc", "abcd", std::string("\0\xff\x01", 3)}) {
        EXPECT_EQ(DecodeBase64(Encoded(text)), text);
    }
    EXPECT_EQ(DecodeBase64("YWI"), "ab");  // padding may be left out
    EXPECT_EQ(DecodeBase64("Y"), std::nullopt);
    EXPECT_EQ(DecodeBase64("YW I="), std::nullopt);
    EXPECT_EQ(Base64Url("\xfb\xff\xbf"), "-_-_");
    EXPECT_EQ(Base64Url("ab"), "YWI");
}

}  // namespace
}  // namespace corvanteer
