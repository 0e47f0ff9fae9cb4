#include "oauth/GrantReply.h"

#include <charconv>
#include <nlohmann/json.hpp>

namespace corvanteer {

namespace {

using Json = nlohmann::json;

// Reads members of one object; the first of the wrong type is remembered.
class Members {
public:
    explicit Members(const Json& object) : object_(object) {}

    std::string Text(const char* name) {
        const Json* value = Find(name);
        if (value == nullptr) {
            return {};
        }
        if (!value->is_string()) {
            Wrong(name);
            return {};
        }
        return value->get<std::string>();
    }

    std::optional<int64_t> Number(const char* name) {
        const Json* value = Find(name);
        if (value == nullptr) {
            return std::nullopt;
        }
        if (value->is_number_unsigned()) {
            const auto number = value->get<uint64_t>();
            if (number <= static_cast<uint64_t>(INT64_MAX)) {
                return static_cast<int64_t>(number);
            }
        } else if (value->is_number_integer()) {
            return value->get<int64_t>();
        } else if (value->is_string()) {
            const std::string& text = value->get_ref<const std::string&>();
            int64_t number = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, number);
            if (!text.empty() && error == std::errc() && stop == end) {
                return number;
            }
        }
        Wrong(name);
        return std::nullopt;
    }

    const std::string& wrong() const { return wrong_; }

private:
    const Json* Find(const char* name) const {
        const auto it = object_.find(name);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }
    void Wrong(const char* name) {
        if (wrong_.empty()) {
            wrong_ = name;
        }
    }

    const Json& object_;
    std::string wrong_;
};

}  // namespace

std::optional<GrantReply> ReadGrantReply(std::string_view body, std::string& problem) {
    // Without exceptions: a body that is no JSON gives a discarded value.
    const Json json = Json::parse(body, nullptr, false);
    if (!json.is_object()) {
        problem = "no JSON";
        return std::nullopt;
    }
    Members members(json);
    GrantReply reply;
    reply.error = members.Text("error");
    reply.errorDescription = members.Text("error_description");
    reply.accessToken = members.Text("access_token");
    reply.refreshToken = members.Text("refresh_token");
    reply.tokenType = members.Text("token_type");
    reply.expiresIn = members.Number("expires_in");
    reply.deviceCode = members.Text("device_code");
    reply.userCode = members.Text("user_code");
    reply.verificationUri = members.Text("verification_uri");
    if (reply.verificationUri.empty()) {
        reply.verificationUri = members.Text("verification_url");
    }
    reply.verificationUriComplete = members.Text("verification_uri_complete");
    reply.interval = members.Number("interval");
    if (!members.wrong().empty()) {
        problem = members.wrong() + " of the wrong type";
        return std::nullopt;
    }
    return reply;
}

}  // namespace corvanteer
