#include "transport/OAuthLogin.h"

namespace corvanteer {

bool TokenForLogin(OAuthTokenSource* tokens, const std::string& account, const std::string& user,
                   SecurityMode security, const std::string& where, std::string& token,
                   MailError& error) {
    if (security == SecurityMode::None) {
        error = Fail(MailFailure::Settings,
                     "OAuth 2.0 needs TLS: " + where +
                         " would be reached in plain text (security none); choose tls or "
                         "starttls. Nothing was sent");
        return false;
    }
    if (tokens == nullptr) {
        error = Fail(MailFailure::Token, "no OAuth 2.0 tokens are at hand for " + account);
        return false;
    }
    TokenGrant grant = tokens->AccessToken(account, user);
    if (!grant.ok()) {
        error = std::move(grant.error);
        return false;
    }
    token = std::move(grant.accessToken);
    return true;
}

MailError TokenRefused(MailError error, const std::string& serverError) {
    if (!serverError.empty()) {
        error.reason += " (" + serverError + ")";
    }
    return error;
}

}  // namespace corvanteer
