#pragma once

// The authorization server a sign-in and a token refresh talk to: the built-in profiles of
// the providers (their documented endpoints and mail scopes) or the operator's own, and the
// operator's client registration.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/SettingsStore.h"

namespace corvanteer {

// The global OAuth client settings as stored.
struct OAuthSettings {
    std::string provider = "microsoft";  // microsoft, google or custom
    std::string clientId;
    std::string clientSecret;  // in plain
    std::string tenant = "common";
    std::string authorizeUrl;  // custom only
    std::string tokenUrl;      // custom only
    std::string deviceUrl;     // custom only
    std::string scopes;        // custom only
    std::string caFile;        // TlsCAFile: CAs trusted besides the system's
};

// OAuthProvider, OAuthClientId, OAuthClientSecret, OAuthTenant, the four custom values and
// TlsCAFile, with the global table's defaults.
OAuthSettings ReadOAuthSettings(const SettingsStore& store, std::string_view settingsKey);

struct OAuthProfile {
    std::string provider;
    std::string authorizeUrl;  // empty: no sign-in in a browser
    std::string tokenUrl;
    std::string deviceUrl;  // empty: no sign-in with a code on another device
    std::string scopes;     // blank-separated; empty: none asked for
    std::string clientId;
    std::string clientSecret;  // empty for public clients
    // Added to the authorization address (Google: a refresh token is only given with
    // access_type=offline, and again on a later sign-in only with prompt=consent).
    std::vector<std::pair<std::string, std::string>> authorizeExtras;
    std::string caFile;
};

// The profile of the settings:
// - microsoft: login.microsoftonline.com/<tenant>/oauth2/v2.0/{authorize,token,devicecode},
//   scopes POP.AccessAsUser.All and SMTP.Send on outlook.office.com and offline_access;
// - google: accounts.google.com/o/oauth2/v2/auth and oauth2.googleapis.com/token, scope
//   https://mail.google.com/ (its device grant does not cover mail, so none);
// - custom: the four custom values; the token endpoint and one of the other two required.
// nullopt with error (the operator's words: what to set) when the client id or a required
// endpoint is missing, or the provider is unknown.
std::optional<OAuthProfile> MakeOAuthProfile(const OAuthSettings& settings, std::string& error);

}  // namespace corvanteer
