#include "transport/Sasl.h"

#include <algorithm>

#include "support/Text.h"

namespace corvanteer {

namespace {

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

}  // namespace

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

}  // namespace corvanteer
