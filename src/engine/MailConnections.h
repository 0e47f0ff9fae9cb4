#pragma once

// The engine's side of the mail connections: the security settings each kind of server
// gets, how a send's failure of a connection's protection (its settings, TLS, a refused
// certificate) is told (a log line and the status line), and the observer's news of each
// mailbox the scan opens.

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
void ApplyLogin(SmtpClient& smtp, const MailboxLogin& login);
// Gives the client the SMTP server of the settings: host, port, authentication, user and
// password, security and login method.
void ConfigureSmtp(SmtpClient& smtp, const GlobalSettings& globals);

// True for the failures this file reports, which the operator must mend: settings, TLS and
// certificate ones, and an OAuth token that could not be had (sign in again).
bool IsProtectionFailure(const MailError& error);

// Submits the SMTP client's message in a session of its own (Delivery.h), counted against
// the sending caps but never held. lastReply receives what Send would give. A protection
// failure is logged ("<stamp><list>: SMTP: <reason>", the list name left out when empty)
// and shown in the status line.
bool SubmitMessage(Services& services, const std::string& listName, std::string& lastReply);

// After Login: tells the observer of the mailbox the POP3 client tried (MailboxOpened), its
// message count or the client's reason. (The scan logs a failed mailbox itself.)
void ReportMailbox(Services& services, bool open);

}  // namespace corvanteer
