// The --json forms of the listings: what the command line's wiring test cannot reach (a TLS
// report, a failure, tokens, texts that are not UTF-8).

#include "app/JsonOutputs.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace corvanteer {
namespace {

using Json = nlohmann::json;

TEST(JsonOutputs, TextsThatAreNotUtf8StillGiveValidJson) {
    const std::string latin1 = "caf\xE9";
    EXPECT_EQ(Json::parse(ListsJson({latin1}))["lists"][0], "caf\xC3\xA9");
    RosterView roster;
    RosterEntry entry;
    entry.line = "b\xFF@example.test 1 pw";
    entry.address = "b\xFF@example.test";
    entry.banned = true;
    roster.entries.push_back(entry);
    roster.total = roster.banned = 1;
    const Json members = Json::parse(MembersJson(latin1, roster));
    EXPECT_EQ(members["list"], "caf\xC3\xA9");
    EXPECT_EQ(members["members"][0]["address"], "b\xC3\xBF@example.test");
    // The member's password stays out.
    EXPECT_EQ(members.dump().find("pw"), std::string::npos);
}

TEST(JsonOutputs, CheckGivesEachServersTlsLoginAndFailure) {
    CheckReport report;
    report.passed = false;
    report.checked = 2;
    CheckedServer smtp;
    smtp.kind = "smtp";
    smtp.host = "smtp.example.test";
    smtp.port = 465;
    smtp.configured = true;
    smtp.probe.security = "tls";
    smtp.probe.connected = true;
    smtp.probe.tls = {true,
                      "TLSv1.3",
                      "TLS_AES_256_GCM_SHA384",
                      {"CN=smtp.example.test", "CN=Test CA", "2027-03-01 12:00:00 UTC", "3A:0F"},
                      true,
                      false,
                      false};
    smtp.probe.capabilities = {"AUTH PLAIN", "8BITMIME"};
    smtp.probe.login = LoginOutcome::Refused;
    smtp.probe.error = Fail(MailFailure::Auth, "login refused\r\nby the server");
    CheckedServer list;
    list.kind = "list";
    list.list = "news";
    list.host = "pop.example.test";
    list.port = 995;
    list.user = "news";
    list.configured = true;
    list.probe.connected = true;
    list.probe.login = LoginOutcome::Accepted;
    list.probe.messageCount = 4;
    CheckedServer listServer;
    listServer.kind = "listserver";
    report.servers = {smtp, listServer, list};

    const Json json = Json::parse(CheckJson(report));
    EXPECT_EQ(json["passed"], false);
    EXPECT_EQ(json["checked"], 2);
    const Json& s = json["servers"][0];
    EXPECT_EQ(s["list"], nullptr);
    EXPECT_EQ(s["user"], nullptr);
    EXPECT_EQ(s["tls"]["version"], "TLSv1.3");
    EXPECT_EQ(s["tls"]["verified"], true);
    EXPECT_EQ(s["tls"]["certificate"]["sha256"], "3A:0F");
    EXPECT_EQ(s["capabilities"], Json::array({"AUTH PLAIN", "8BITMIME"}));
    EXPECT_EQ(s["login"], "refused");
    EXPECT_EQ(s["messages"], nullptr);
    EXPECT_EQ(s["passed"], false);
    EXPECT_EQ(s["error"], "login refused??by the server");
    EXPECT_EQ(json["servers"][1], Json::parse(R"({"kind":"listserver","list":null,)"
                                              R"("configured":false})"));
    const Json& l = json["servers"][2];
    EXPECT_EQ(l["list"], "news");
    EXPECT_EQ(l["tls"], nullptr);
    EXPECT_EQ(l["messages"], 4);
    EXPECT_EQ(l["error"], nullptr);
}

TEST(JsonOutputs, OAuthStatusTellsTheTokensStateButNeverATokenItself) {
    const int64_t now = 1'800'000'000;
    AccountState signedIn{{{"smtp", "k1"}, "ann@example.test", LoginMethod::OAuth2, "", ""},
                          {"ann@example.test", "REFRESH-1", "ACCESS-1", now + 60, now - 60, 0}};
    AccountState expired{{{"news", "k2"}, "news@example.test", LoginMethod::OAuth2, "", ""},
                         {"news@example.test", "", "ACCESS-2", now, now - 3600, 0}};
    AccountState refused{{{"listserver", "k3"}, "", LoginMethod::Password, "", ""},
                         {"", "", "", 0, 0, now - 10}};
    const std::string text = OAuthStatusJson({signedIn, expired, refused}, now);
    for (const char* token : {"REFRESH-1", "ACCESS-1", "ACCESS-2"}) {
        EXPECT_EQ(text.find(token), std::string::npos) << token;
    }
    const Json json = Json::parse(text)["accounts"];
    EXPECT_EQ(json[0]["method"], "oauth2");
    EXPECT_EQ(json[0]["signedIn"], true);
    EXPECT_EQ(json[0]["expired"], false);
    EXPECT_EQ(json[0]["refreshToken"], true);
    EXPECT_EQ(json[0]["expires"], UtcText(now + 60));
    EXPECT_EQ(json[1]["expired"], true);
    EXPECT_EQ(json[1]["refreshToken"], false);
    EXPECT_EQ(json[2]["user"], nullptr);
    EXPECT_EQ(json[2]["signedIn"], false);
    EXPECT_EQ(json[2]["refused"], UtcText(now - 10));
}

}  // namespace
}  // namespace corvanteer
