#pragma once

// The requests to an authorization server's endpoints (RFC 6749, RFC 8628 and RFC 7636):
// the device authorization and its polling, the exchange of an authorization code, the
// refresh of an access token; the authorization address a browser opens, and PKCE.

#include <cstdint>
#include <optional>
#include <string>

#include "oauth/OAuthProfile.h"
#include "support/Random.h"
#include "transport/HttpClient.h"

namespace corvanteer {

struct OAuthTokenSet {
    std::string accessToken;
    std::string refreshToken;  // empty when the server sent none (keep the old one)
    int64_t expiresIn = 0;     // seconds the access token lives
};

enum class GrantOutcome {
    Granted,
    Pending,       // authorization_pending: the operator has not finished yet
    SlowDown,      // slow_down: poll less often
    Denied,        // access_denied or authorization_declined
    Expired,       // expired_token: the device code ran out
    InvalidGrant,  // invalid_grant: the code or refresh token is no longer valid
    Refused,       // any other error the server gave
    NoAnswer,      // no usable answer (network, TLS, a body that is no token answer)
};

struct GrantResult {
    GrantOutcome outcome = GrantOutcome::NoAnswer;
    OAuthTokenSet tokens;  // when Granted
    // Otherwise why, in the program's words: the server's error code and the start of its
    // description, or the transport's reason. Never holds a token or a code.
    std::string error;

    bool ok() const { return outcome == GrantOutcome::Granted; }
};

struct DeviceAuthorization {
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;
    std::string verificationUriComplete;  // with the code in it; empty when not offered
    int64_t expiresIn = 900;              // seconds
    int64_t interval = 5;                 // seconds between polls
};

// A PKCE pair: the verifier kept, the S256 challenge sent.
struct Pkce {
    std::string verifier;   // 43 characters of base64url from 32 random bytes
    std::string challenge;  // base64url of the verifier's SHA-256
};
Pkce MakePkce(RandomSource& random);
// The S256 challenge of a verifier.
std::string PkceChallenge(std::string_view verifier);
// base64url of count random bytes (the state of a browser sign-in).
std::string RandomToken(RandomSource& random, std::size_t count);

class OAuthServer {
public:
    OAuthServer(OAuthProfile profile, HttpClient& http);

    const OAuthProfile& profile() const { return profile_; }

    // RFC 8628 section 3.1; nullopt with error when the server gave no usable answer.
    std::optional<DeviceAuthorization> StartDevice(std::string& error);
    // One poll of the token endpoint for the device code.
    GrantResult PollDevice(const std::string& deviceCode);
    // The authorization address for a browser: response_type code, client id, the loopback
    // redirect, the scopes, state, the S256 challenge, login_hint (when given) and the
    // profile's extras.
    std::string AuthorizationUrl(const std::string& redirectUri, const std::string& state,
                                 const std::string& challenge, const std::string& loginHint) const;
    GrantResult ExchangeCode(const std::string& code, const std::string& verifier,
                             const std::string& redirectUri);
    GrantResult Refresh(const std::string& refreshToken);

private:
    GrantResult TokenRequest(std::vector<std::pair<std::string, std::string>> fields);
    HttpResponse Post(const std::string& url,
                      std::vector<std::pair<std::string, std::string>> fields);

    OAuthProfile profile_;
    HttpClient& http_;
};

}  // namespace corvanteer
