#pragma once

// The engine's side of the mail connections: the security settings each kind of server
// gets, the SMTP server's description, which failures of a connection's protection (its
// settings, TLS, a refused certificate) the delivery reports (Delivery.h), and the
// observer's news of each mailbox the scan opens.

#include <string>

#include "engine/Services.h"
#include "support/LoginMethod.h"
#include "support/SettingTables.h"
#include "transport/MailClients.h"

namespace corvanteer {

// ListServerSecurity, ListServerTlsFingerprint and TlsCAFile.
ServerSecurity ListServerSecurity(const GlobalSettings& globals);
// SMTPSecurity, SMTPTlsFingerprint and TlsCAFile.
ServerSecurity SmtpSecurity(const GlobalSettings& globals);
// The list's Pop3Security and Pop3TlsFingerprint with the global TlsCAFile.
ServerSecurity ListMailboxSecurity(const ListSettings& list, const GlobalSettings& globals);

// How the login of each kind of server proves itself, and the account its OAuth tokens are
// kept under ("listserver", "smtp", the list's name). A stored value that is no method counts
// as password, the described behaviour.
struct MailboxLogin {
    LoginMethod method = LoginMethod::Password;
    std::string account;
};
MailboxLogin ListServerLogin(const GlobalSettings& globals);
MailboxLogin SmtpLogin(const GlobalSettings& globals);
MailboxLogin ListMailboxLogin(const ListSettings& list, const std::string& listName);
// Gives the client the method and the account (its token source is the front end's).
void ApplyLogin(Pop3Client& pop3, const MailboxLogin& login);
// The SMTP server of the settings: SMTPHost and SMTPPort, ReqSmtpAuth, SmtpUser and
// SmtpPassword, the security (SmtpSecurity) and the login method with its token account. The
// one place a server description is made: the window passes its settings with what it
// overrides (the host and port it started with) already put in.
SmtpServer SmtpServerFromSettings(const GlobalSettings& globals);

// True for the failures this file reports, which the operator must mend: settings, TLS and
// certificate ones, and an OAuth token that could not be had (sign in again).
bool IsProtectionFailure(const MailError& error);

// After Login: tells the observer of the mailbox the POP3 client tried (MailboxOpened), its
// message count or the client's reason. (The scan logs a failed mailbox itself.)
void ReportMailbox(Services& services, bool open);

}  // namespace corvanteer
