#include "oauth/OAuthProfile.h"

#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr const char* kMicrosoftBase = "https://login.microsoftonline.com/";
constexpr const char* kMicrosoftScopes =
    "https://outlook.office.com/POP.AccessAsUser.All https://outlook.office.com/SMTP.Send "
    "offline_access";
constexpr const char* kGoogleAuthorize = "https://accounts.google.com/o/oauth2/v2/auth";
constexpr const char* kGoogleToken = "https://oauth2.googleapis.com/token";
constexpr const char* kGoogleScopes = "https://mail.google.com/";

}  // namespace

OAuthSettings ReadOAuthSettings(const SettingsStore& store, std::string_view settingsKey) {
    const SettingReader read(store, settingsKey, GlobalSettingTable(), /*scan=*/false);
    OAuthSettings s;
    s.provider = LowerCase(Trim(read.Text("OAuthProvider")));
    s.clientId = Trim(read.Text("OAuthClientId"));
    s.clientSecret = read.Text("OAuthClientSecret");
    s.tenant = Trim(read.Text("OAuthTenant"));
    s.authorizeUrl = Trim(read.Text("OAuthAuthorizeUrl"));
    s.tokenUrl = Trim(read.Text("OAuthTokenUrl"));
    s.deviceUrl = Trim(read.Text("OAuthDeviceUrl"));
    s.scopes = CollapseSpaces(Trim(read.Text("OAuthScopes")));
    s.caFile = read.Text("TlsCAFile");
    return s;
}

std::optional<OAuthProfile> MakeOAuthProfile(const OAuthSettings& settings, std::string& error) {
    OAuthProfile profile;
    profile.provider = settings.provider;
    profile.clientId = settings.clientId;
    profile.clientSecret = settings.clientSecret;
    profile.caFile = settings.caFile;
    if (settings.provider == "microsoft") {
        const std::string tenant = settings.tenant.empty() ? "common" : settings.tenant;
        const std::string base = kMicrosoftBase + tenant + "/oauth2/v2.0/";
        profile.authorizeUrl = base + "authorize";
        profile.tokenUrl = base + "token";
        profile.deviceUrl = base + "devicecode";
        profile.scopes = kMicrosoftScopes;
    } else if (settings.provider == "google") {
        profile.authorizeUrl = kGoogleAuthorize;
        profile.tokenUrl = kGoogleToken;
        profile.scopes = kGoogleScopes;
        profile.authorizeExtras = {{"access_type", "offline"}, {"prompt", "consent"}};
    } else if (settings.provider == "custom") {
        profile.authorizeUrl = settings.authorizeUrl;
        profile.tokenUrl = settings.tokenUrl;
        profile.deviceUrl = settings.deviceUrl;
        profile.scopes = settings.scopes;
        if (profile.tokenUrl.empty() ||
            (profile.authorizeUrl.empty() && profile.deviceUrl.empty())) {
            error =
                "The custom OAuth provider needs OAuthTokenUrl and OAuthDeviceUrl or "
                "OAuthAuthorizeUrl.";
            return std::nullopt;
        }
    } else {
        error = "OAuthProvider must be microsoft, google or custom (not \"" + settings.provider +
                "\").";
        return std::nullopt;
    }
    if (profile.clientId.empty()) {
        error =
            "OAuthClientId is empty: register an application with the provider and store its "
            "client id (corvanteer-cli config set OAuthClientId ID).";
        return std::nullopt;
    }
    return profile;
}

}  // namespace corvanteer
