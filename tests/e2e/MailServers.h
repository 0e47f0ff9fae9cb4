#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/ChildProcess.h"
#include "e2e/Maildir.h"

namespace corvanteer::testing {

struct MailServerOptions {
    std::string dovecotBinary = "/usr/sbin/dovecot";
    std::string pythonBinary = "/usr/bin/python3";
    std::string smtpScript;          // empty: smtp_server.py next to this harness's sources
    std::string extraDovecotConfig;  // appended to the generated Dovecot configuration
    std::chrono::milliseconds startTimeout = std::chrono::seconds(15);
    // TLS: a test CA and server certificates are made at Start; Dovecot then requires TLS
    // (STLS on Pop3Port, TLS from the first byte on Pop3sPort) and the SMTP server offers
    // STARTTLS on SmtpPort and TLS from the first byte on SmtpsPort.
    bool tls = false;
};

// The certificates a TLS harness's SMTP server can present (SetSmtpTls).
enum class TestCertificate {
    Good,           // signed by the test CA (CaFile) for mail.example.test and 127.0.0.1
    Expired,        // the same names and CA, expired a day ago
    UnknownIssuer,  // the same names, signed by a CA nobody trusts
};

// Real mail servers on loopback ports for end-to-end tests: Dovecot serving POP3 and an SMTP
// server that files every accepted message into the recipients' Maildirs, which Dovecot then
// serves. Everything lives in a fresh folder under /tmp that Stop() removes; ports are picked
// when the servers start, so any number of harnesses can run at once. The servers die with
// the thread that started them, even when the program is killed; a folder left behind then
// is removed by the next harness that starts.
//
// Mailbox users: "user" logs in to POP3 as "user" and receives mail sent to
// "user@example.test" (any domain reaches the same mailbox). Mail to an address whose local
// part starts with "reject" is refused at RCPT with 550; mail to a user not added with
// AddUser is still filed (ReadMailbox shows it) but cannot be fetched by POP3.
//
// Requires root (Dovecot's processes switch to the users nobody, dovenull and dovecot) and
// the packages dovecot-pop3d and python3-aiosmtpd (scripts/setup installs them). Every call
// that fails throws std::runtime_error with the reason; a server that does not come up puts
// its log into the message. Not thread-safe; one thread uses one harness.
class MailServers {
public:
    static constexpr const char* kDomain = "example.test";

    explicit MailServers(MailServerOptions options = {});
    ~MailServers();  // Stop(), errors swallowed
    MailServers(const MailServers&) = delete;
    MailServers& operator=(const MailServers&) = delete;

    // Creates the folder and starts both servers; returns once both accept connections.
    // On failure nothing is left running and the folder is gone.
    void Start();
    // Ends both servers (their whole process groups) and removes the folder. Safe to call
    // more than once, and before Start.
    void Stop();
    bool Started() const { return started_; }

    const std::string& Host() const { return host_; }
    int Pop3Port() const { return pop3Port_; }
    // Stays the same across StopSmtp/StartSmtp.
    int SmtpPort() const { return smtpPort_; }
    // With TLS: the implicit-TLS ports (0 without).
    int Pop3sPort() const { return pop3sPort_; }
    int SmtpsPort() const { return smtpsPort_; }
    // With TLS: the test CA's certificate (PEM), to trust as TlsCAFile; empty without.
    std::string CaFile() const;
    // With TLS: the SHA-256 fingerprint ("3A:0F:...") of a certificate the servers present.
    std::string Fingerprint(TestCertificate certificate) const;
    // With TLS: what the SMTP server presents from the next handshake on, and whether it
    // offers STARTTLS (without, it is the server an attacker who strips STARTTLS shows).
    // May be called before Start().
    void SetSmtpTls(TestCertificate certificate, bool offerStartTls);
    // The harness's folder (empty before Start), for logs when a test wants to look.
    const std::string& Root() const { return root_; }

    // "user@example.test".
    static std::string Address(const std::string& user);

    // Adds a POP3 user and creates the Maildir; the user can log in at once. User names are
    // letters, digits and "._+-", starting with a letter or digit, at most 64 long; passwords
    // must not hold ":", CR or LF. Called again with another password, it changes the
    // password and returns when Dovecot is sure to use the new one (within a second).
    // Requires Start().
    void AddUser(const std::string& user, const std::string& password);
    // Files bytes into the user's Maildir as a newly delivered message, exactly as given;
    // gives the file's path. Requires Start().
    std::string PutMessage(const std::string& user, std::string_view bytes);
    // The messages in the user's Maildir (new and cur), oldest delivery first, byte for byte.
    // None for a user without a Maildir.
    std::vector<std::string> ReadMailbox(const std::string& user) const;

    // SMTP AUTH (LOGIN or PLAIN) accepts this user and password from now on, besides any
    // set before. Authentication stays optional unless RequireSmtpAuth(true). Both take
    // effect with the next connection and may be called before Start().
    void SetSmtpAuth(const std::string& user, const std::string& password);
    void RequireSmtpAuth(bool required);
    // SMTP AUTH XOAUTH2 and OAUTHBEARER are offered from now on, their bearer tokens checked
    // at this RFC 7662 introspection address (empty: not offered).
    void SetSmtpOAuth(const std::string& introspectionUrl);

    // Ends the SMTP server so connections to SmtpPort() are refused; StartSmtp() brings it
    // back on the same port (a no-op while it runs).
    void StopSmtp();
    void StartSmtp();
    bool SmtpRunning();

    // Scripted behaviour of the SMTP server from the next connection on, replacing what was
    // scripted before (none: the default behaviour). Each line is one of
    //   "close-after <n>"           a connection closes right after its n-th accepted message
    //   "mail-reply <n> <reply>"    on a connection that took n messages, MAIL FROM gets
    //                               <reply> (a 421 also closes the connection)
    //   "rcpt-reply <addr> <reply>" RCPT TO:<addr> gets <reply>
    //   "pipelining no"             EHLO does not offer PIPELINING
    // May be called before Start().
    void ScriptSmtp(const std::vector<std::string>& lines);

    // What the SMTP server took over its life: connections opened, and the number of
    // recipients of each accepted message in order. Compare two readings for one step.
    struct SmtpTraffic {
        int connections = 0;
        std::vector<int> messageRecipients;
    };
    SmtpTraffic SmtpTrafficSoFar() const;

    // What the servers logged so far.
    std::string DovecotLog() const;
    std::string SmtpLog() const;

    // The process group ids of the running servers (tests check nothing survives Stop).
    std::vector<pid_t> ProcessGroups() const;

private:
    void RequireStarted(const char* what) const;
    void CreateRoot();
    void StartDovecot();
    void LaunchSmtp();
    void WaitForSmtp();
    bool WaitForDovecot(int port, const std::string& greeting, std::string& failure);
    void WriteDovecotUser(const std::string& user, const std::string& password);
    void WriteSmtpAuthFile();
    void MakeCertificates();
    std::string MaildirOf(const std::string& user) const;

    MailServerOptions options_;
    std::string host_ = "127.0.0.1";
    std::string root_;
    int pop3Port_ = 0;
    int smtpPort_ = 0;
    int pop3sPort_ = 0;
    int smtpsPort_ = 0;
    std::map<TestCertificate, std::string> fingerprints_;
    TestCertificate smtpCertificate_ = TestCertificate::Good;
    bool smtpStartTls_ = true;
    bool started_ = false;
    MaildirOwner owner_;
    MaildirNames names_;
    struct UserEntry {
        std::string password;
        long long stamp = 0;  // modification time given to the user's passwd-file
    };
    std::map<std::string, UserEntry> users_;
    std::map<std::string, std::string> smtpUsers_;
    std::vector<std::string> smtpScript_;
    bool smtpAuthRequired_ = false;
    std::string smtpIntrospection_;
    int lockFd_ = -1;  // flock on the folder's lock file while the harness lives
    ChildProcess dovecot_;
    ChildProcess smtp_;
};

}  // namespace corvanteer::testing
