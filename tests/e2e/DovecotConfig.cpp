#include "e2e/DovecotConfig.h"

#include <stdexcept>

namespace corvanteer::testing {

namespace {

// Paths go into the file in double quotes; the harness makes them itself, but a stray
// quote or line break would silently change the configuration.
std::string Quoted(const std::string& value) {
    if (value.find_first_of("\"\\\r\n") != std::string::npos) {
        throw std::invalid_argument("value unfit for the Dovecot configuration: " + value);
    }
    return "\"" + value + "\"";
}

}  // namespace

std::string DovecotGreeting(const DovecotSettings& settings) {
    return settings.instanceName + " ready.";
}

std::string DovecotConfigText(const DovecotSettings& settings) {
    const std::string port = std::to_string(settings.port);
    std::string text;
    text += "# Generated for one end-to-end test run; removed with its folder.\n";
    text += "instance_name = " + settings.instanceName + "\n";
    text += "base_dir = " + Quoted(settings.baseDir) + "\n";
    text += "state_dir = " + Quoted(settings.stateDir) + "\n";
    text += "log_path = " + Quoted(settings.logPath) + "\n";
    text += "protocols = pop3\n";
    text += "listen = 127.0.0.1\n";
    text += "login_greeting = " + DovecotGreeting(settings) + "\n";
    if (settings.certFile.empty()) {
        text += "ssl = no\n";
    } else {
        text += "ssl = required\n";
        // "<path" reads the file; the path stands bare there.
        for (const std::string* path : {&settings.certFile, &settings.keyFile}) {
            if (path->find_first_of(" \t\"\\\r\n") != std::string::npos) {
                throw std::invalid_argument("path unfit for the Dovecot configuration: " + *path);
            }
        }
        text += "ssl_cert = <" + settings.certFile + "\n";
        text += "ssl_key = <" + settings.keyFile + "\n";
        text += "ssl_min_protocol = TLSv1.2\n";
    }
    text += "disable_plaintext_auth = no\n";
    text += "auth_mechanisms = plain login\n";
    // A failed login answers at once; tests try wrong passwords on purpose.
    text += "auth_failure_delay = 0\n";
    text += "default_login_user = dovenull\n";
    text += "default_internal_user = dovecot\n";
    text += "mail_location = maildir:~/Maildir\n";
    text += "pop3_uidl_format = %08Xu%08Xv\n";
    // A file per user: Dovecot checks a passwd-file for changes at most once a second, but
    // looks for a file it has not found before at every login, so a user added while the
    // server runs can log in at once.
    const std::string users = settings.usersDir + "/%u";
    if (users.find_first_of(" \t\r\n") != std::string::npos) {
        throw std::invalid_argument("blanks in the users' folder: " + settings.usersDir);
    }
    text += "passdb {\n";
    text += "  driver = passwd-file\n";
    text += "  args = scheme=PLAIN username_format=%u " + users + "\n";
    text += "}\n";
    text += "userdb {\n";
    text += "  driver = passwd-file\n";
    text += "  args = username_format=%u " + users + "\n";
    text += "}\n";
    text += "service pop3-login {\n";
    text += "  inet_listener pop3 {\n";
    text += "    address = 127.0.0.1\n";
    text += "    port = " + port + "\n";
    text += "  }\n";
    text += "  inet_listener pop3s {\n";
    if (settings.certFile.empty()) {
        text += "    port = 0\n";
    } else {
        text += "    address = 127.0.0.1\n";
        text += "    port = " + std::to_string(settings.tlsPort) + "\n";
        text += "    ssl = yes\n";
    }
    text += "  }\n";
    text += "}\n";
    // No growing delays for an address that failed to log in before.
    text += "service anvil {\n";
    text += "  unix_listener anvil-auth-penalty {\n";
    text += "    mode = 0\n";
    text += "  }\n";
    text += "}\n";
    // The mail processes run as nobody and still want to report their statistics.
    text += "service stats {\n";
    text += "  unix_listener stats-writer {\n";
    text += "    mode = 0666\n";
    text += "  }\n";
    text += "}\n";
    text += settings.extraConfig;
    if (!settings.extraConfig.empty() && settings.extraConfig.back() != '\n') {
        text += "\n";
    }
    return text;
}

std::string PasswdFileLine(const std::string& user, const std::string& password, uid_t uid,
                           gid_t gid, const std::string& home) {
    if (user.empty() || user.find_first_of(":\r\n\t /") != std::string::npos) {
        throw std::invalid_argument("unusable mailbox user name: \"" + user + "\"");
    }
    if (password.find_first_of(":\r\n") != std::string::npos) {
        throw std::invalid_argument("a password in the passwd-file cannot hold ':' or breaks");
    }
    return user + ":{PLAIN}" + password + ":" + std::to_string(uid) + ":" + std::to_string(gid) +
           "::" + home + "::";
}

}  // namespace corvanteer::testing
