#pragma once

#include <sys/types.h>

#include <string>

namespace corvanteer::testing {

// What one private Dovecot instance of the test harness needs to know. Every path lies in
// the harness's temporary folder, so instances never share sockets, state or logs.
struct DovecotSettings {
    std::string instanceName;  // unique per instance; also shown in the POP3 greeting
    std::string baseDir;       // sockets and pid file
    std::string stateDir;
    std::string logPath;
    std::string usersDir;     // one passwd-file per user, named after the user
    int port = 0;             // POP3 on 127.0.0.1
    std::string extraConfig;  // appended as it stands (tests of odd settings)
    // TLS, when certFile is set: ssl = required, STLS on port, implicit TLS on tlsPort.
    std::string certFile;
    std::string keyFile;
    int tlsPort = 0;
};

// The configuration file text: POP3 only, on 127.0.0.1:port, plain-text logins (USER/PASS,
// AUTH PLAIN and LOGIN), no delay or penalty after a failed login, users and plain passwords
// from the users' passwd-files, mail in ~/Maildir, all processes logging to logPath. Without
// a certificate no TLS at all; with one, logins only over TLS (STLS on port, TLS from the
// first byte on tlsPort), TLS 1.2 at least.
std::string DovecotConfigText(const DovecotSettings& settings);

// The greeting a client sees: "+OK " followed by this.
std::string DovecotGreeting(const DovecotSettings& settings);

// The line of a user's passwd-file: user, plain password, the mail user's uid and gid, and home.
// Throws std::invalid_argument for a user or password that the file format cannot hold.
std::string PasswdFileLine(const std::string& user, const std::string& password, uid_t uid,
                           gid_t gid, const std::string& home);

}  // namespace corvanteer::testing
