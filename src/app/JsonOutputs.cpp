#include "app/JsonOutputs.h"

#include <nlohmann/json.hpp>

#include "support/Clock.h"
#include "support/LoginMethod.h"
#include "support/Text.h"

namespace corvanteer {

std::string JsonUtf8(const std::string& text) {
    try {
        static_cast<void>(nlohmann::json(text).dump());
        return text;
    } catch (const nlohmann::json::type_error&) {
        std::string converted;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                converted += c;
            } else {
                converted += static_cast<char>(0xC0 | (byte >> 6));
                converted += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return converted;
    }
}

namespace {

using Json = nlohmann::ordered_json;  // members in the order written

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(JsonUtf8(text));
}

Json Texts(const std::vector<std::string>& texts) {
    Json array = Json::array();
    for (const std::string& text : texts) {
        array.push_back(JsonUtf8(text));
    }
    return array;
}

std::string Dumped(const Json& json) {
    return json.dump() + "\n";
}

Json ServerJson(const CheckedServer& server) {
    Json json;
    json["kind"] = server.kind;
    json["list"] = server.kind == "list" ? Json(JsonUtf8(server.list)) : Json(nullptr);
    json["configured"] = server.configured;
    if (!server.configured) {
        return json;
    }
    const ProbeReport& probe = server.probe;
    json["host"] = JsonUtf8(server.host);
    json["port"] = server.port;
    json["user"] = TextOrNull(server.user);
    json["security"] = probe.security;
    json["connected"] = probe.connected;
    json["tls"] = nullptr;
    if (probe.tls.used) {
        const TlsInfo& tls = probe.tls;
        json["tls"] = {{"version", tls.version},
                       {"cipher", tls.cipher},
                       {"resumed", tls.resumed},
                       {"verified", tls.verified},
                       {"pinned", tls.pinned},
                       {"certificate",
                        {{"subject", JsonUtf8(tls.certificate.subject)},
                         {"issuer", JsonUtf8(tls.certificate.issuer)},
                         {"expires", tls.certificate.notAfter},
                         {"sha256", tls.certificate.fingerprint}}}};
    }
    json["capabilities"] = Texts(probe.capabilities);
    json["login"] = LoginText(probe.login);
    json["messages"] =
        server.kind != "smtp" && probe.messageCount >= 0 ? Json(probe.messageCount) : Json(nullptr);
    json["passed"] = probe.error.ok();
    json["error"] =
        probe.error.ok() ? Json(nullptr) : Json(JsonUtf8(OneLineText(probe.error.Text())));
    return json;
}

}  // namespace

std::string ListsJson(const std::vector<std::string>& names) {
    return Dumped(Json{{"lists", Texts(names)}});
}

std::string MembersJson(const std::string& list, const RosterView& roster) {
    Json members = Json::array();
    for (const RosterEntry& entry : roster.entries) {
        members.push_back(Json{{"address", JsonUtf8(entry.address)}, {"banned", entry.banned}});
    }
    return Dumped(Json{{"list", JsonUtf8(list)},
                       {"total", roster.total},
                       {"banned", roster.banned},
                       {"members", std::move(members)}});
}

std::string PostsJson(const std::string& list, const std::vector<std::string>& names) {
    return Dumped(Json{{"list", JsonUtf8(list)}, {"posts", Texts(names)}});
}

std::string QueueJson(const std::vector<QueueEntry>& entries) {
    Json messages = Json::array();
    for (const QueueEntry& entry : entries) {
        Json message;
        message["file"] = JsonUtf8(entry.file);
        message["malformed"] = entry.malformed;
        message["held"] = entry.held;
        message["givenUp"] = entry.givenUp;
        message["attempts"] = entry.attempts;
        message["from"] = TextOrNull(entry.from);
        message["recipients"] = entry.recipients;
        messages.push_back(std::move(message));
    }
    return Dumped(Json{{"messages", std::move(messages)}});
}

std::string CheckJson(const CheckReport& report) {
    Json servers = Json::array();
    for (const CheckedServer& server : report.servers) {
        servers.push_back(ServerJson(server));
    }
    return Dumped(Json{
        {"passed", report.passed}, {"checked", report.checked}, {"servers", std::move(servers)}});
}

std::string OAuthStatusJson(const std::vector<AccountState>& accounts, int64_t now) {
    Json array = Json::array();
    for (const AccountState& state : accounts) {
        const StoredTokens& tokens = state.tokens;
        const bool signedIn = tokens.SignedIn();
        Json account;
        account["account"] = JsonUtf8(state.mailbox.account.name);
        account["method"] = LoginMethodName(state.mailbox.method);
        account["user"] = TextOrNull(state.mailbox.user);
        account["signedIn"] = signedIn;
        account["tokenUser"] = signedIn ? TextOrNull(tokens.user) : Json(nullptr);
        account["expires"] =
            signedIn && tokens.expires != 0 ? Json(UtcText(tokens.expires)) : Json(nullptr);
        account["expired"] = signedIn && tokens.expires <= now;
        account["refreshToken"] = signedIn && !tokens.refreshToken.empty();
        account["refused"] =
            !signedIn && tokens.refused != 0 ? Json(UtcText(tokens.refused)) : Json(nullptr);
        array.push_back(std::move(account));
    }
    return Dumped(Json{{"accounts", std::move(array)}});
}

}  // namespace corvanteer
