#include "support/ConnectionSecurity.h"

#include <gtest/gtest.h>

#include <string>

namespace corvanteer {
namespace {

TEST(ConnectionSecurity, AutoFollowsThePortAndNamesRoundTrip) {
    const struct {
        int port;
        SecurityMode resolved;
    } ports[] = {{995, SecurityMode::Tls},  {465, SecurityMode::Tls}, {587, SecurityMode::StartTls},
                 {110, SecurityMode::Auto}, {25, SecurityMode::Auto}, {0, SecurityMode::Auto}};
    for (const auto& test : ports) {
        EXPECT_EQ(ResolveSecurity(SecurityMode::Auto, test.port), test.resolved) << test.port;
        // An explicit mode stays whatever the port.
        EXPECT_EQ(ResolveSecurity(SecurityMode::StartTls, test.port), SecurityMode::StartTls);
    }
    for (SecurityMode mode :
         {SecurityMode::Auto, SecurityMode::Tls, SecurityMode::StartTls, SecurityMode::None}) {
        EXPECT_EQ(ParseSecurity(SecurityName(mode)), mode);
    }
    EXPECT_EQ(ParseSecurity(" StartTLS "), SecurityMode::StartTls);
    EXPECT_EQ(ParseSecurity("ssl"), std::nullopt);
    EXPECT_EQ(ParseSecurity(""), std::nullopt);
}

// What a login does about protection, from the settings before connecting and the server's
// offer of STLS or STARTTLS after the greeting. "tls" is TLS from the first byte.
TEST(ConnectionSecurity, LoginProtectionByPortOfferLoopbackAndMode) {
    using M = SecurityMode;
    using S = LoginSecret;
    const char* tls = "tls";
    const char* upgrade = "upgrade";
    const char* plain = "plain";
    const char* noTls = "refused: no TLS";
    const char* clear = "refused: in clear";
    const struct {
        M mode;
        int port;
        bool offered;
        bool loopback;
        S secret;
        const char* expected;
    } cases[] = {
        {M::Auto, 995, false, false, S::Password, tls},
        {M::Auto, 465, false, false, S::Password, tls},
        {M::Auto, 587, true, false, S::Password, upgrade},
        {M::Auto, 587, false, true, S::Password, noTls},  // 587 is STARTTLS's port
        {M::Auto, 110, true, false, S::Password, upgrade},
        {M::Auto, 110, true, true, S::Password, upgrade},
        {M::Auto, 110, false, false, S::Password, clear},
        {M::Auto, 110, false, true, S::Password, plain},
        {M::Auto, 110, false, true, S::Token, clear},  // a token never goes in plain text
        {M::Auto, 25, false, false, S::None, plain},   // nothing secret to protect
        {M::Auto, 25, true, false, S::None, upgrade},
        {M::Auto, 25, false, false, S::Password, clear},
        {M::None, 995, true, false, S::Password, plain},  // chosen: plain text throughout
        {M::None, 110, false, false, S::Password, plain},
        {M::StartTls, 110, false, true, S::Password, noTls},
        {M::StartTls, 995, true, false, S::None, upgrade},
        {M::Tls, 110, false, false, S::Password, tls},
    };
    for (const auto& test : cases) {
        const M resolved = ResolveSecurity(test.mode, test.port);
        std::string got = tls;
        if (resolved != M::Tls) {
            switch (DecidePlain(resolved, test.offered, test.secret, test.loopback)) {
                case PlainStep::Upgrade:
                    got = upgrade;
                    break;
                case PlainStep::StayPlain:
                    got = plain;
                    break;
                case PlainStep::RefuseNoTls:
                    got = noTls;
                    break;
                case PlainStep::RefuseClearLogin:
                    got = clear;
                    break;
            }
        }
        EXPECT_EQ(got, test.expected)
            << SecurityName(test.mode) << " port " << test.port << (test.offered ? " offered" : "")
            << (test.loopback ? " loopback" : "");
    }
}

TEST(ConnectionSecurity, LoopbackHostsByTheirFormAlone) {
    for (const char* host : {"localhost", "LocalHost.", "127.0.0.1", "127.1.2.3", " 127.0.0.1",
                             "::1", "[::1]", "0:0:0:0:0:0:0:1", "::ffff:127.0.0.1"}) {
        EXPECT_TRUE(IsLoopbackHost(host)) << host;
    }
    for (const char* host : {"mail.example.org", "localhost.example.org", "127.0.0.1.example.org",
                             "128.0.0.1", "127.1", "::2", "::ffff:10.0.0.1", "", "[::1"}) {
        EXPECT_FALSE(IsLoopbackHost(host)) << host;
    }
}

TEST(ConnectionSecurity, FingerprintsInEveryUsualSpelling) {
    const std::string digits = "3a0f" + std::string(60, 'b');
    std::string colons;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        colons += (i == 0 ? "" : ":") + digits.substr(i, 2);
    }
    std::string upper = colons;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const std::string& typed : {digits, colons, upper, " " + upper + " "}) {
        EXPECT_EQ(ParseFingerprint(typed), digits) << typed;
    }
    for (const std::string& bad :
         {std::string(), digits.substr(2), digits + "00", "g" + digits.substr(1)}) {
        EXPECT_EQ(ParseFingerprint(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(FormatFingerprint(std::string("\x3a\x0f\xff", 3)), "3A:0F:FF");
}

}  // namespace
}  // namespace corvanteer
