#include "oauth/OAuthTokens.h"

#include <algorithm>
#include <mutex>

#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr int64_t kLongestLifetime = 24 * 3600;

std::string Label(const OAuthAccount& account, const std::string& user) {
    return "OAuth sign-in of " + account.name + (user.empty() ? "" : " (" + user + ")");
}

MailError TokenError(std::string reason) {
    return Fail(MailFailure::Token, std::move(reason));
}

}  // namespace

int64_t ExpiryOf(int64_t now, const OAuthTokenSet& tokens) {
    return now + std::clamp<int64_t>(tokens.expiresIn, 0, kLongestLifetime);
}

OAuthTokens::OAuthTokens(SettingsStore& store, const AppPaths& paths, StoreLock& storeLock,
                         HttpClient& http, const Clock& clock)
    : store_(store),
      paths_(paths),
      storeLock_(storeLock),
      http_(http),
      clock_(clock),
      refreshLock_(paths.OAuthLockFile()) {}

StoredTokens OAuthTokens::Read(const OAuthAccount& account) {
    std::lock_guard<StoreLock> lock(storeLock_);
    return ReadTokens(store_, account);
}

void OAuthTokens::SaveSignIn(const OAuthAccount& account, const std::string& user,
                             const OAuthTokenSet& tokens) {
    StoredTokens stored;
    stored.user = user;
    stored.accessToken = tokens.accessToken;
    stored.refreshToken = tokens.refreshToken;
    stored.signedIn = Now();
    stored.expires = ExpiryOf(stored.signedIn, tokens);
    std::lock_guard<ProcessLock> refreshing(refreshLock_);
    std::lock_guard<StoreLock> lock(storeLock_);
    WriteTokens(store_, account, stored);
}

bool OAuthTokens::Forget(const OAuthAccount& account) {
    std::lock_guard<ProcessLock> refreshing(refreshLock_);
    std::lock_guard<StoreLock> lock(storeLock_);
    return ForgetTokens(store_, account);
}

TokenGrant OAuthTokens::AccessToken(const std::string& accountName, const std::string& user) {
    TokenGrant grant;
    try {
        const OAuthAccount account = AccountNamed(paths_, accountName);
        StoredTokens stored = Read(account);
        const std::string again = "sign in again with: " + SignInCommand(paths_, account.name);
        if (!stored.SignedIn()) {
            grant.error =
                TokenError(stored.refused != 0
                               ? "the provider refused the " + Label(account, stored.user) +
                                     " on " + UtcText(stored.refused) + "; " + again
                               : account.name + " is not signed in to OAuth 2.0; sign in with: " +
                                     SignInCommand(paths_, account.name));
            return grant;
        }
        if (!SameText(Trim(stored.user), Trim(user))) {
            grant.error = TokenError(Label(account, stored.user) + " is for another user than " +
                                     user + "; " + again);
            return grant;
        }
        if (!stored.accessToken.empty() && stored.expires - Now() > kRefreshMarginSeconds) {
            grant.accessToken = stored.accessToken;
            return grant;
        }
        std::lock_guard<ProcessLock> refreshing(refreshLock_);
        // Another process may have refreshed while this one waited for the lock.
        stored = Read(account);
        if (!stored.accessToken.empty() && stored.expires - Now() > kRefreshMarginSeconds &&
            SameText(Trim(stored.user), Trim(user))) {
            grant.accessToken = stored.accessToken;
            return grant;
        }
        return Refresh(account, stored);
    } catch (const std::exception& error) {
        // The store or a lock file failed; the login fails as if the server had refused.
        grant.error = TokenError(std::string("cannot read the OAuth tokens: ") + error.what());
        return grant;
    }
}

TokenGrant OAuthTokens::Refresh(const OAuthAccount& account, const StoredTokens& stored) {
    TokenGrant grant;
    const std::string again = "sign in again with: " + SignInCommand(paths_, account.name);
    if (stored.refreshToken.empty()) {
        grant.error = TokenError("the access token of the " + Label(account, stored.user) +
                                 " has expired and there is no refresh token; " + again);
        return grant;
    }
    std::string problem;
    const std::optional<OAuthProfile> profile =
        MakeOAuthProfile(ReadOAuthSettings(store_, paths_.SettingsKey()), problem);
    if (!profile) {
        grant.error = Fail(MailFailure::Settings, problem);
        return grant;
    }
    OAuthServer server(*profile, http_);
    const GrantResult result = server.Refresh(stored.refreshToken);
    if (result.outcome == GrantOutcome::InvalidGrant) {
        // Only a new sign-in mends this: the spent tokens go, so later logins fail at once
        // instead of asking the provider again for each message.
        {
            std::lock_guard<StoreLock> lock(storeLock_);
            if (ReadTokens(store_, account).refreshToken == stored.refreshToken) {
                StoredTokens spent;
                spent.user = stored.user;
                spent.signedIn = stored.signedIn;
                spent.refused = Now();
                WriteTokens(store_, account, spent);
            }
        }
        grant.error = TokenError("the " + Label(account, stored.user) +
                                 " is no longer valid (the provider refused its refresh token: " +
                                 result.error + "); " + again);
        return grant;
    }
    if (!result.ok()) {
        // Refreshing failed for now (no answer, a server error): a token that has not
        // expired yet still serves.
        if (!stored.accessToken.empty() && stored.expires > Now()) {
            grant.accessToken = stored.accessToken;
            return grant;
        }
        grant.error = TokenError("cannot refresh the access token of the " +
                                 Label(account, stored.user) + ": " + result.error);
        return grant;
    }
    StoredTokens renewed = stored;
    renewed.accessToken = result.tokens.accessToken;
    renewed.expires = ExpiryOf(Now(), result.tokens);
    if (!result.tokens.refreshToken.empty()) {
        renewed.refreshToken = result.tokens.refreshToken;  // rotated: the old one is spent
    }
    {
        std::lock_guard<StoreLock> lock(storeLock_);
        // A sign-in made meanwhile replaced the tokens; it wins.
        if (ReadTokens(store_, account).refreshToken == stored.refreshToken) {
            WriteTokens(store_, account, renewed);
        }
    }
    grant.accessToken = renewed.accessToken;
    return grant;
}

}  // namespace corvanteer
