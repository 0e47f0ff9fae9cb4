#include "transport/TBase64.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

std::string Encoded(std::string_view input) {
    TBase64 base64;
    std::string output = "left over";
    EXPECT_EQ(base64.Encode(input, output), 0);
    return output;
}

TEST(TBase64, PaddingOfTheLastGroup) {
    EXPECT_EQ(Encoded("abc"), "YWJj");
    EXPECT_EQ(Encoded("ab"), "YWI=");
    EXPECT_EQ(Encoded("a"), "YQ==");
    EXPECT_EQ(Encoded(""), "");
    EXPECT_EQ(Encoded("user@example.org"), "dXNlckBleGFtcGxlLm9yZw==");
}

TEST(TBase64, HighBytesAndLongInputStayOnOneLine) {
    EXPECT_EQ(Encoded(std::string("\xff\xfe\x00\x80", 4)), "//4AgA==");
    std::string encoded = Encoded(std::string(60, 'x'));
    EXPECT_EQ(encoded.size(), 80u);
    EXPECT_EQ(encoded.find_first_of("\r\n="), std::string::npos);
}

TEST(TBase64, IndexToCharCoversTheAlphabetOnly) {
    TBase64 base64;
    char c = '?';
    ASSERT_TRUE(base64.IndexToChar(0, c));
    EXPECT_EQ(c, 'A');
    ASSERT_TRUE(base64.IndexToChar(26, c));
    EXPECT_EQ(c, 'a');
    ASSERT_TRUE(base64.IndexToChar(52, c));
    EXPECT_EQ(c, '0');
    ASSERT_TRUE(base64.IndexToChar(63, c));
    EXPECT_EQ(c, '/');
    EXPECT_FALSE(base64.IndexToChar(64, c));
    EXPECT_FALSE(base64.IndexToChar(-1, c));
}

}  // namespace
}  // namespace corvanteer
