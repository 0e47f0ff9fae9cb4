#include "support/LoginMethod.h"

#include <string>

#include "support/Text.h"

namespace corvanteer {

const char* LoginMethodName(LoginMethod method) {
    return method == LoginMethod::OAuth2 ? "oauth2" : "password";
}

std::optional<LoginMethod> ParseLoginMethod(std::string_view text) {
    const std::string word = LowerCase(Trim(text));
    for (LoginMethod method : {LoginMethod::Password, LoginMethod::OAuth2}) {
        if (word == LoginMethodName(method)) {
            return method;
        }
    }
    return std::nullopt;
}

}  // namespace corvanteer
