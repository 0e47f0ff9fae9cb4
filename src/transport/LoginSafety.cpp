#include "transport/LoginSafety.h"

#include <string_view>

namespace corvanteer {

namespace {

bool HasControl(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return true;
        }
    }
    return false;
}

}  // namespace

MailError CheckConnectionValues(const std::string& host, int port, const std::string& user,
                                const std::string& password) {
    const char* what = HasControl(host)       ? "the host name"
                       : HasControl(user)     ? "the user name"
                       : HasControl(password) ? "the password"
                                              : nullptr;
    if (what != nullptr) {
        return Fail(MailFailure::Settings,
                    std::string(what) + " of the server at port " + std::to_string(port) +
                        " holds a control character (CR, LF, NUL or another); nothing was sent");
    }
    if (port < 1 || port > 65535) {
        return Fail(MailFailure::Settings, "the port " + std::to_string(port) +
                                               " is not one of 1-65535; nothing was sent");
    }
    return {};
}

MailError ClearLoginRefused(const std::string& where, const ServerSecurity& security,
                            LoginSecret secret, const std::string& tlsPorts) {
    const std::string setting =
        security.Setting.empty() ? "the security setting" : security.Setting;
    if (secret == LoginSecret::Token) {
        return Fail(MailFailure::Tls, where +
                                          " offers no TLS, and an OAuth 2.0 token is never sent "
                                          "unencrypted; use port " +
                                          tlsPorts + " (or set " + setting + " tls)");
    }
    return Fail(MailFailure::Tls, where + " offers no TLS; set " + setting +
                                      " none to send the password unencrypted, or use port " +
                                      tlsPorts);
}

}  // namespace corvanteer
