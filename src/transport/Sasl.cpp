#include "transport/Sasl.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/Text.h"
#include "transport/TBase64.h"

namespace corvanteer {

namespace {

// Separates the key-value pairs of the token mechanisms (^A).
constexpr char kSep = '\x01';

class PlainMechanism : public SaslMechanism {
public:
    PlainMechanism(std::string user, std::string password)
        : user_(std::move(user)), password_(std::move(password)) {}
    std::string Name() const override { return "PLAIN"; }
    std::optional<std::string> InitialResponse() override {
        std::string response;
        response += '\0';
        response += user_;
        response += '\0';
        response += password_;
        return response;
    }
    std::optional<std::string> Respond(std::string_view) override { return std::nullopt; }

private:
    std::string user_;
    std::string password_;
};

class LoginMechanism : public SaslMechanism {
public:
    LoginMechanism(std::string user, std::string password)
        : user_(std::move(user)), password_(std::move(password)) {}
    std::string Name() const override { return "LOGIN"; }
    std::optional<std::string> InitialResponse() override { return std::nullopt; }
    std::optional<std::string> Respond(std::string_view) override {
        switch (step_++) {
            case 0:
                return user_;
            case 1:
                return password_;
            default:
                return std::nullopt;
        }
    }

private:
    std::string user_;
    std::string password_;
    int step_ = 0;
};

// The token mechanisms: one initial response; any challenge after it is the server's error,
// which gets the mechanism's closing answer once and ends the login.
class TokenMechanism : public SaslMechanism {
public:
    TokenMechanism(std::string name, std::string initial, std::string closing)
        : name_(std::move(name)), initial_(std::move(initial)), closing_(std::move(closing)) {}
    std::string Name() const override { return name_; }
    std::optional<std::string> InitialResponse() override { return initial_; }
    std::optional<std::string> Respond(std::string_view challenge) override {
        if (answered_) {
            return std::nullopt;
        }
        answered_ = true;
        error_ = DescribeError(challenge);
        return closing_;
    }
    std::string ServerError() const override { return error_; }

private:
    // The status the server gave (RFC 7628's "status" member), printable and short; the rest
    // of the challenge (scopes, a discovery address) says nothing the operator can act on.
    static std::string DescribeError(std::string_view challenge) {
        std::string status;
        if (auto bytes = DecodeBase64(Trim(challenge))) {
            // Without exceptions: a challenge that is no JSON gives a discarded value.
            const nlohmann::json json = nlohmann::json::parse(*bytes, nullptr, false);
            const auto member = json.find("status");  // end() unless an object has it
            if (member != json.end() && member->is_string()) {
                status = member->get<std::string>();
            } else if (member != json.end() && member->is_number_integer()) {
                status = member->dump();
            }
        }
        std::string kept;
        for (char c : status.substr(0, 64)) {
            if (c > ' ' && c < 0x7f) {
                kept += c;
            }
        }
        return kept.empty() ? std::string() : "status " + kept;
    }

    std::string name_;
    std::string initial_;
    std::string closing_;
    bool answered_ = false;
    std::string error_;
};

// RFC 5801's saslname: "=" and "," written as "=3D" and "=2C".
std::string SaslName(std::string_view user) {
    std::string name;
    for (char c : user) {
        if (c == '=') {
            name += "=3D";
        } else if (c == ',') {
            name += "=2C";
        } else {
            name += c;
        }
    }
    return name;
}

}  // namespace

std::unique_ptr<SaslMechanism> MakeXOAuth2Mechanism(std::string user, std::string token) {
    return std::make_unique<TokenMechanism>(
        "XOAUTH2", "user=" + user + kSep + "auth=Bearer " + token + kSep + kSep, "");
}

std::unique_ptr<SaslMechanism> MakeOAuthBearerMechanism(std::string user, std::string host,
                                                        int port, std::string token) {
    std::string initial = "n,a=" + SaslName(user) + "," + kSep;
    initial += "host=" + host + kSep + "port=" + std::to_string(port) + kSep;
    initial += "auth=Bearer " + token + kSep + kSep;
    return std::make_unique<TokenMechanism>("OAUTHBEARER", std::move(initial),
                                            std::string(1, kSep));
}

std::unique_ptr<SaslMechanism> MakePlainMechanism(std::string user, std::string password) {
    return std::make_unique<PlainMechanism>(std::move(user), std::move(password));
}

std::unique_ptr<SaslMechanism> MakeLoginMechanism(std::string user, std::string password) {
    return std::make_unique<LoginMechanism>(std::move(user), std::move(password));
}

std::vector<std::string> OfferedMechanisms(const std::vector<std::string>& capabilities) {
    std::vector<std::string> offered;
    for (const std::string& line : capabilities) {
        const std::string upper = UpperCase(line);
        if (!StartsWith(upper, "AUTH ") && !StartsWith(upper, "AUTH=")) {
            continue;
        }
        for (const std::string& word : SplitString(upper.substr(5), " ").parts) {
            const std::string name = Trim(word);
            if (!name.empty() && std::find(offered.begin(), offered.end(), name) == offered.end()) {
                offered.push_back(name);
            }
        }
    }
    return offered;
}

std::unique_ptr<SaslMechanism> PickPasswordMechanism(const std::vector<std::string>& offered,
                                                     const std::string& user,
                                                     const std::string& password) {
    auto has = [&](const char* name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };
    if (has("PLAIN")) {
        return MakePlainMechanism(user, password);
    }
    if (has("LOGIN")) {
        return MakeLoginMechanism(user, password);
    }
    return nullptr;
}

std::unique_ptr<SaslMechanism> PickTokenMechanism(const std::vector<std::string>& offered,
                                                  const std::string& user, const std::string& host,
                                                  int port, const std::string& token) {
    auto has = [&](const char* name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };
    if (has("XOAUTH2")) {
        return MakeXOAuth2Mechanism(user, token);
    }
    if (has("OAUTHBEARER")) {
        return MakeOAuthBearerMechanism(user, host, port, token);
    }
    return nullptr;
}

std::vector<std::string> OfferedPop3Mechanisms(const std::vector<std::string>& capabilities) {
    std::vector<std::string> offered;
    for (const std::string& line : capabilities) {
        const std::string upper = UpperCase(Trim(line));
        if (!StartsWith(upper, "SASL ")) {
            continue;
        }
        for (const std::string& word : SplitString(upper.substr(5), " ").parts) {
            const std::string name = Trim(word);
            if (!name.empty() && std::find(offered.begin(), offered.end(), name) == offered.end()) {
                offered.push_back(name);
            }
        }
    }
    return offered;
}

}  // namespace corvanteer
