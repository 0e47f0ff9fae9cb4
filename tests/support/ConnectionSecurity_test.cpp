#include "support/ConnectionSecurity.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(ConnectionSecurity, AutoFollowsThePortAndNamesRoundTrip) {
    const struct {
        int port;
        SecurityMode resolved;
    } ports[] = {{995, SecurityMode::Tls},  {465, SecurityMode::Tls}, {587, SecurityMode::StartTls},
                 {110, SecurityMode::None}, {25, SecurityMode::None}, {0, SecurityMode::None}};
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
