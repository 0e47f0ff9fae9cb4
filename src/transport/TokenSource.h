#pragma once

// Where a mail client gets the OAuth 2.0 access token of its login, right before it
// connects. OAuthTokens is the real source; tests hand in their own.

#include <string>

#include "transport/MailError.h"

namespace corvanteer {

struct TokenGrant {
    std::string accessToken;  // empty when error says why there is none
    MailError error;          // kind Token, or Settings for unusable OAuth settings

    bool ok() const { return error.ok(); }
};

class OAuthTokenSource {
public:
    virtual ~OAuthTokenSource() = default;
    // An access token that stays valid for at least five more minutes, for the account
    // ("smtp", "listserver" or a list's name) whose sign-in was made for user (compared
    // without regard to case). Never raises.
    virtual TokenGrant AccessToken(const std::string& account, const std::string& user) = 0;
};

}  // namespace corvanteer
