#include "support/Json.h"

#include <gtest/gtest.h>

namespace corvanteer {
namespace {

TEST(Json, TokenAnswerMembersAndTheirKinds) {
    const auto json = ParseJsonObject(
        " {\"access_token\":\"eyJ0.a-b_c\",\"token_type\":\"Bearer\",\"expires_in\":3599,"
        "\"ext_expires_in\":\"3599\",\"scope\":\"a b\",\"nested\":{\"x\":[1,2,{\"y\":null}]},"
        "\"ok\":true,\"none\":null,\"ratio\":-1.5e3} ");
    ASSERT_TRUE(json);
    EXPECT_EQ(JsonText(*json, "access_token"), "eyJ0.a-b_c");
    EXPECT_EQ(JsonText(*json, "scope"), "a b");
    EXPECT_EQ(JsonInteger(*json, "expires_in"), 3599);
    EXPECT_EQ(JsonInteger(*json, "ext_expires_in"), 3599);  // quoted, as some servers send it
    EXPECT_EQ(JsonInteger(*json, "ratio"), std::nullopt);   // not whole
    EXPECT_EQ(JsonText(*json, "nested"), "");
    EXPECT_EQ(json->at("nested").kind, JsonValue::Kind::Nested);
    EXPECT_EQ(json->at("ok").text, "true");
    EXPECT_EQ(JsonText(*json, "missing"), "");
    EXPECT_EQ(JsonInteger(*json, "missing"), std::nullopt);
}

TEST(Json, EscapesDecodeToUtf8) {
    const auto json = ParseJsonObject(R"({"e":"a\"b\\c\/d\n\u00e9\u20ac\ud83d\ude00\ud800x"})");
    ASSERT_TRUE(json);
    EXPECT_EQ(JsonText(*json, "e"), "a\"b\\c/d\n\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xEF\xBF\xBDx");
}

TEST(Json, AnythingButOneWellFormedObjectIsRefused) {
    const std::string deep = std::string(40, '[') + std::string(40, ']');
    for (const std::string& text : std::vector<std::string>{
             "", "[]", "\"text\"", "{", "{\"a\":1,}", "{\"a\" 1}", "{\"a\":1} {}",
             "{\"a\":\"line\nbreak\"}", "{\"a\":01}", "{\"a\":1.}", "{\"a\":tru}",
             "{\"a\":\"\\x\"}", "{\"a\":\"\\u12\"}", "{'a':1}", "{\"a\":" + deep + "}"}) {
        EXPECT_FALSE(ParseJsonObject(text)) << text;
    }
    EXPECT_TRUE(ParseJsonObject("{}"));
    EXPECT_TRUE(ParseJsonObject("{\"a\":" + std::string(20, '[') + std::string(20, ']') + "}"));
}

}  // namespace
}  // namespace corvanteer
