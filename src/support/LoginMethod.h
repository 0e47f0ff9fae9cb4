#pragma once

// How a mailbox login proves who it is, and the text form of the settings that say so
// (ListServerAuth, SMTPAuth, Pop3Auth).

#include <optional>
#include <string_view>

namespace corvanteer {

enum class LoginMethod {
    Password,  // USER/PASS, AUTH LOGIN or PLAIN with the stored password
    OAuth2,    // SASL XOAUTH2 or OAUTHBEARER with an access token of the operator's sign-in
};

// "password" or "oauth2", as stored.
const char* LoginMethodName(LoginMethod method);
// Reads a stored value, any case, blanks around it ignored; nullopt for anything else.
std::optional<LoginMethod> ParseLoginMethod(std::string_view text);

}  // namespace corvanteer
