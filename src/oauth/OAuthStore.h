#pragma once

// Where the tokens of a mailbox account's sign-in are kept in the settings store, scrambled
// like the passwords: under the settings key for the two global accounts
// (OAuth\SMTP, OAuth\ListServer), under the list key for a list's mailbox (OAuth), so a
// backup carries them and deleting a list forgets them.

#include <cstdint>
#include <string>
#include <string_view>

#include "support/AppPaths.h"
#include "support/SettingsStore.h"

namespace corvanteer {

struct OAuthAccount {
    std::string name;  // "smtp", "listserver" or the list's name
    std::string key;   // the key that holds its tokens
};

// "smtp" and "listserver" (any case) are the global accounts; any other name is a list's.
OAuthAccount AccountNamed(const AppPaths& paths, std::string_view name);
inline constexpr const char* kSmtpAccount = "smtp";
inline constexpr const char* kListServerAccount = "listserver";

struct StoredTokens {
    std::string user;  // the mailbox user the sign-in was made for
    std::string refreshToken;
    std::string accessToken;
    int64_t expires = 0;   // the access token's end, Unix seconds
    int64_t signedIn = 0;  // when the sign-in was made, Unix seconds
    int64_t refused = 0;   // when the provider refused the refresh token (the tokens are then
                           // gone), Unix seconds; 0 when it has not

    bool SignedIn() const { return !refreshToken.empty() || !accessToken.empty(); }
};

// Absent values read as empty and 0. Callers that must see one sign-in whole hold the store
// lock around it.
StoredTokens ReadTokens(const SettingsStore& store, const OAuthAccount& account);
// Values User, RefreshToken and AccessToken (both scrambled), AccessTokenExpires, SignedIn and
// RefusedAt (Unix seconds as text).
void WriteTokens(SettingsStore& store, const OAuthAccount& account, const StoredTokens& tokens);
// False when nothing was stored.
bool ForgetTokens(SettingsStore& store, const OAuthAccount& account);

// The command that signs the account in again, as the operator types it: "corvanteer-cli
// oauth login smtp", with --home when the application directory is not the default one and
// --test in test mode.
std::string SignInCommand(const AppPaths& paths, std::string_view account);

}  // namespace corvanteer
