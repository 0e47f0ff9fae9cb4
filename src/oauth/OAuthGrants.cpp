#include "oauth/OAuthGrants.h"

#include <algorithm>

#include "oauth/GrantReply.h"
#include "support/Sha256.h"
#include "support/Text.h"
#include "transport/TBase64.h"

namespace corvanteer {

namespace {

constexpr const char* kDeviceGrant = "urn:ietf:params:oauth:grant-type:device_code";
// Access tokens live an hour at the providers; an answer without expires_in is taken so.
constexpr int64_t kDefaultLifetime = 3600;
constexpr std::size_t kMaxDescription = 200;

// What may stand in an error text from a server: printable, one line, short.
std::string Printable(std::string_view text, std::size_t limit) {
    std::string kept;
    for (char c : text) {
        if (kept.size() >= limit) {
            kept += "...";
            break;
        }
        kept += (c >= ' ' && c < 0x7f) ? c : ' ';
    }
    return Trim(kept);
}

// RFC 6750's b64token, which also keeps line breaks and ^A out of the SASL responses.
bool IsTokenText(std::string_view token) {
    if (token.empty()) {
        return false;
    }
    for (char c : token) {
        if (c <= ' ' || c >= 0x7f) {
            return false;
        }
    }
    return true;
}

GrantOutcome OutcomeOf(const std::string& code) {
    if (code == "authorization_pending") {
        return GrantOutcome::Pending;
    }
    if (code == "slow_down") {
        return GrantOutcome::SlowDown;
    }
    if (code == "access_denied" || code == "authorization_declined") {
        return GrantOutcome::Denied;
    }
    if (code == "expired_token") {
        return GrantOutcome::Expired;
    }
    if (code == "invalid_grant") {
        return GrantOutcome::InvalidGrant;
    }
    return GrantOutcome::Refused;
}

}  // namespace

std::string RandomToken(RandomSource& random, std::size_t count) {
    std::string bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes += static_cast<char>(random.Below(256));
    }
    return Base64Url(bytes);
}

std::string PkceChallenge(std::string_view verifier) {
    return Base64Url(Sha256Digest(verifier));
}

Pkce MakePkce(RandomSource& random) {
    Pkce pkce;
    pkce.verifier = RandomToken(random, 32);
    pkce.challenge = PkceChallenge(pkce.verifier);
    return pkce;
}

OAuthServer::OAuthServer(OAuthProfile profile, HttpClient& http)
    : profile_(std::move(profile)), http_(http) {}

HttpResponse OAuthServer::Post(const std::string& url,
                               std::vector<std::pair<std::string, std::string>> fields) {
    fields.emplace_back("client_id", profile_.clientId);
    if (!profile_.clientSecret.empty()) {
        fields.emplace_back("client_secret", profile_.clientSecret);
    }
    HttpRequest request;
    request.url = url;
    request.form = FormEncode(fields);
    request.caFile = profile_.caFile;
    return http_.PostForm(request);
}

std::optional<DeviceAuthorization> OAuthServer::StartDevice(std::string& error) {
    std::vector<std::pair<std::string, std::string>> fields;
    if (!profile_.scopes.empty()) {
        fields.emplace_back("scope", profile_.scopes);
    }
    const HttpResponse response = Post(profile_.deviceUrl, std::move(fields));
    const std::string where = UrlOrigin(profile_.deviceUrl);
    if (!response.answered()) {
        error = response.error;
        return std::nullopt;
    }
    std::string problem;
    const std::optional<GrantReply> reply = ReadGrantReply(response.body, problem);
    if (!reply) {
        error = where + " answered the device authorization with HTTP " +
                std::to_string(response.status) + " and " + problem;
        return std::nullopt;
    }
    if (response.status != 200 || !reply->error.empty()) {
        error = where + " refused the device authorization: " + Printable(reply->error, 64) + " " +
                Printable(reply->errorDescription, kMaxDescription);
        error = Trim(error);
        return std::nullopt;
    }
    DeviceAuthorization device;
    device.deviceCode = reply->deviceCode;
    // A printed code or address must not carry terminal controls; one made of nothing else
    // is none.
    device.userCode = Printable(reply->userCode, 64);
    device.verificationUri = Printable(reply->verificationUri, 512);
    device.verificationUriComplete = Printable(reply->verificationUriComplete, 512);
    device.expiresIn = reply->expiresIn.value_or(900);
    device.interval = std::max<int64_t>(reply->interval.value_or(5), 1);
    if (device.deviceCode.empty() || device.userCode.empty() || device.verificationUri.empty() ||
        device.expiresIn <= 0) {
        error = where + " gave no device code, user code or verification address";
        return std::nullopt;
    }
    return device;
}

GrantResult OAuthServer::TokenRequest(std::vector<std::pair<std::string, std::string>> fields) {
    GrantResult result;
    const HttpResponse response = Post(profile_.tokenUrl, std::move(fields));
    const std::string where = UrlOrigin(profile_.tokenUrl);
    if (!response.answered()) {
        result.error = response.error;
        return result;
    }
    std::string problem;
    const std::optional<GrantReply> reply = ReadGrantReply(response.body, problem);
    if (!reply) {
        result.error =
            where + " answered with HTTP " + std::to_string(response.status) + " and " + problem;
        return result;
    }
    const std::string& code = reply->error;
    if (!code.empty() || response.status != 200) {
        result.outcome = code.empty() ? GrantOutcome::Refused : OutcomeOf(code);
        result.error =
            where + " answered " +
            (code.empty() ? "HTTP " + std::to_string(response.status) : Printable(code, 64));
        const std::string description = Printable(reply->errorDescription, kMaxDescription);
        if (!description.empty()) {
            result.error += ": " + description;
        }
        return result;
    }
    OAuthTokenSet tokens;
    tokens.accessToken = reply->accessToken;
    tokens.refreshToken = reply->refreshToken;
    const std::string& type = reply->tokenType;
    if (!IsTokenText(tokens.accessToken) ||
        (!tokens.refreshToken.empty() && !IsTokenText(tokens.refreshToken))) {
        result.error = where + " sent no usable access token";
        return result;
    }
    if (!SameText(type, "Bearer")) {
        result.error =
            where + " sent a token of type \"" + Printable(type, 32) + "\", not a bearer token";
        return result;
    }
    tokens.expiresIn = reply->expiresIn.value_or(kDefaultLifetime);
    result.outcome = GrantOutcome::Granted;
    result.tokens = std::move(tokens);
    return result;
}

GrantResult OAuthServer::PollDevice(const std::string& deviceCode) {
    // Microsoft's documentation names the field device_code, as RFC 8628 does.
    return TokenRequest({{"grant_type", kDeviceGrant}, {"device_code", deviceCode}});
}

std::string OAuthServer::AuthorizationUrl(const std::string& redirectUri, const std::string& state,
                                          const std::string& challenge,
                                          const std::string& loginHint) const {
    std::vector<std::pair<std::string, std::string>> fields = {
        {"response_type", "code"},
        {"client_id", profile_.clientId},
        {"redirect_uri", redirectUri},
    };
    if (!profile_.scopes.empty()) {
        fields.emplace_back("scope", profile_.scopes);
    }
    fields.emplace_back("state", state);
    fields.emplace_back("code_challenge", challenge);
    fields.emplace_back("code_challenge_method", "S256");
    if (!loginHint.empty()) {
        fields.emplace_back("login_hint", loginHint);
    }
    for (const auto& extra : profile_.authorizeExtras) {
        fields.push_back(extra);
    }
    const char* joint = profile_.authorizeUrl.find('?') == std::string::npos ? "?" : "&";
    return profile_.authorizeUrl + joint + FormEncode(fields);
}

GrantResult OAuthServer::ExchangeCode(const std::string& code, const std::string& verifier,
                                      const std::string& redirectUri) {
    return TokenRequest({{"grant_type", "authorization_code"},
                         {"code", code},
                         {"redirect_uri", redirectUri},
                         {"code_verifier", verifier}});
}

GrantResult OAuthServer::Refresh(const std::string& refreshToken) {
    std::vector<std::pair<std::string, std::string>> fields = {{"grant_type", "refresh_token"},
                                                               {"refresh_token", refreshToken}};
    // Microsoft asks for the scopes again; RFC 6749 lets any server take them.
    if (!profile_.scopes.empty()) {
        fields.emplace_back("scope", profile_.scopes);
    }
    return TokenRequest(std::move(fields));
}

}  // namespace corvanteer
