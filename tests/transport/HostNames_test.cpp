#include "transport/HostNames.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(IsIPAddress, FourNumbersUpTo255Only) {
    EXPECT_TRUE(IsIPAddress("10.0.0.1"));
    EXPECT_TRUE(IsIPAddress("255.255.255.255"));
    EXPECT_TRUE(IsIPAddress("0.0.0.0"));
    EXPECT_FALSE(IsIPAddress("10.0.0.256"));
    EXPECT_FALSE(IsIPAddress("10.0.1"));
    EXPECT_FALSE(IsIPAddress("10.0.0.1.5"));
    EXPECT_FALSE(IsIPAddress("10.0.0.-1"));
    EXPECT_FALSE(IsIPAddress("10.0..1"));
    EXPECT_FALSE(IsIPAddress("mail.example.org"));
    EXPECT_FALSE(IsIPAddress("1a.0.0.1"));
    EXPECT_FALSE(IsIPAddress("::1"));
    EXPECT_FALSE(IsIPAddress(""));
}

TEST(LocalHostName, IsOneBareName) {
    std::string name = LocalHostName();
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find_first_of(std::string("\r\n \0", 4)), std::string::npos);
}

}  // namespace
}  // namespace corvanteer
