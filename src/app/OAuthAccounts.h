#pragma once

// The mailbox accounts an operator signs in with OAuth 2.0 (the SMTP server, the List Server
// mailbox, each list's mailbox): which ones there are, how each stands, and the sign-in
// itself, for the command line's `oauth` commands and the window's "Sign in..." buttons.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActionResult.h"
#include "engine/Services.h"
#include "oauth/OAuthSignIn.h"
#include "oauth/OAuthStore.h"
#include "oauth/OAuthTokens.h"
#include "support/LoginMethod.h"
#include "transport/HttpClient.h"

namespace corvanteer {

struct MailboxAccount {
    OAuthAccount account;  // name: "smtp", "listserver" or the list's name
    std::string user;      // the mailbox's user name (SmtpUser, ListServerUserID, Pop3User)
    LoginMethod method = LoginMethod::Password;
    std::string methodSetting;  // "SMTPAuth", "ListServerAuth", "Pop3Auth"
    std::string userSetting;    // "SmtpUser", "ListServerUserID", "Pop3User"
};

// "smtp" and "listserver" (any case), or a list of the console's (any case); nullopt for a
// name that is neither. Reads the settings as the console shows them.
std::optional<MailboxAccount> FindMailboxAccount(Services& services, std::string_view name);
// Every account: smtp, listserver, then the lists in the console's order.
std::vector<MailboxAccount> MailboxAccounts(Services& services);

// One line of `oauth status`: "smtp: oauth2, ann@example.org: signed in, access token valid
// until 2026-05-01 12:00:00 UTC", "listserver: password", and so on.
std::string AccountStatusLine(const MailboxAccount& mailbox, const StoredTokens& tokens,
                              int64_t now, const AppPaths& paths);

struct SignInRequest {
    bool browser = false;  // the browser sign-in even where the device one is offered
};

// Signs the account in with the configured provider (the device grant where the profile has
// one, else the browser) and stores the tokens. Refused, with nothing stored, when the user
// name is empty, the OAuth settings are incomplete, or the sign-in fails; done with a line
// that names the user and the access token's expiry.
ActionResult SignInMailbox(const MailboxAccount& mailbox, const SignInRequest& request,
                           Services& services, OAuthTokens& tokens, HttpClient& http,
                           RandomSource& random, const SignInHooks& hooks);

}  // namespace corvanteer
