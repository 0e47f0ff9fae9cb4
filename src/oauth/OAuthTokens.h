#pragma once

// The access tokens of the mail logins: the clients ask for one right before they connect;
// a token that would expire within five minutes is refreshed first.

#include <cstdint>
#include <string>

#include "oauth/OAuthGrants.h"
#include "oauth/OAuthStore.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/SettingsStore.h"
#include "transport/HttpClient.h"
#include "transport/MailError.h"
#include "transport/TokenSource.h"

namespace corvanteer {

// A token that expires within this many seconds is refreshed before it is used.
inline constexpr int64_t kRefreshMarginSeconds = 300;

// The tokens of the settings store, refreshed at the configured authorization server.
//
// A refresh runs under the OAuth lock ("oauth.lock", held across the request, bounded by
// its time-out), so two processes never spend one refresh token at once; after taking it the
// tokens are read again, since another process may have refreshed meanwhile. The new tokens
// are written under the store lock, and only while the refresh token used is still the
// stored one (a sign-in made meanwhile wins). A server that rotates refresh tokens thus never
// loses one. invalid_grant gives an error that names the command to sign in again.
class OAuthTokens final : public OAuthTokenSource {
public:
    OAuthTokens(SettingsStore& store, const AppPaths& paths, StoreLock& storeLock, HttpClient& http,
                const Clock& clock);

    TokenGrant AccessToken(const std::string& account, const std::string& user) override;

    // Stores a sign-in's tokens for the account, replacing what was there (under both locks).
    void SaveSignIn(const OAuthAccount& account, const std::string& user,
                    const OAuthTokenSet& tokens);
    // Forgets the account's tokens; false when there were none.
    bool Forget(const OAuthAccount& account);
    // The account's tokens as stored, read under the store lock.
    StoredTokens Read(const OAuthAccount& account);

    int64_t Now() const { return UnixSeconds(clock_.Now()); }

private:
    TokenGrant Refresh(const OAuthAccount& account, const StoredTokens& stored);

    SettingsStore& store_;
    const AppPaths& paths_;
    StoreLock& storeLock_;
    HttpClient& http_;
    const Clock& clock_;
    ProcessLock refreshLock_;
};

// Seconds an access token granted now lives by the server's word, kept within a day; the
// expiry time stored for it.
int64_t ExpiryOf(int64_t now, const OAuthTokenSet& tokens);

}  // namespace corvanteer
