#pragma once

// The steps the POP3 and SMTP clients share for a login with an OAuth 2.0 access token.

#include <string>

#include "support/ConnectionSecurity.h"
#include "transport/MailError.h"
#include "transport/TokenSource.h"

namespace corvanteer {

// The access token for a login, asked for before connecting. False with error set when the
// connection would not be protected (a token is a password for an hour: never sent in plain
// text), when no source is set, or when the source has none for account and user.
bool TokenForLogin(OAuthTokenSource* tokens, const std::string& account, const std::string& user,
                   SecurityMode security, const std::string& where, std::string& token,
                   MailError& error);

// A refused login with the mechanism's account of the server's error challenge added to the
// reason ("... refused AUTH XOAUTH2 (status 401)").
MailError TokenRefused(MailError error, const std::string& serverError);

}  // namespace corvanteer
