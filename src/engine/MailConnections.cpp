#include "engine/MailConnections.h"

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"

namespace corvanteer {

namespace {

ServerSecurity Make(const std::string& mode, const std::string& fingerprint,
                    const std::string& caFile, const char* setting) {
    return ServerSecurity{mode, fingerprint, caFile, setting};
}

}  // namespace

ServerSecurity ListServerSecurity(const GlobalSettings& globals) {
    return Make(globals.ListServerSecurity, globals.ListServerTlsFingerprint, globals.TlsCAFile,
                "ListServerSecurity");
}

ServerSecurity SmtpSecurity(const GlobalSettings& globals) {
    return Make(globals.SMTPSecurity, globals.SMTPTlsFingerprint, globals.TlsCAFile,
                "SMTPSecurity");
}

ServerSecurity ListMailboxSecurity(const ListSettings& list, const GlobalSettings& globals) {
    return Make(list.Pop3Security, list.Pop3TlsFingerprint, globals.TlsCAFile, "Pop3Security");
}

namespace {

LoginMethod MethodOf(const std::string& stored) {
    return ParseLoginMethod(stored).value_or(LoginMethod::Password);
}

}  // namespace

MailboxLogin ListServerLogin(const GlobalSettings& globals) {
    return {MethodOf(globals.ListServerAuth), "listserver"};
}

MailboxLogin SmtpLogin(const GlobalSettings& globals) {
    return {MethodOf(globals.SMTPAuth), "smtp"};
}

MailboxLogin ListMailboxLogin(const ListSettings& list, const std::string& listName) {
    return {MethodOf(list.Pop3Auth), listName};
}

void ApplyLogin(Pop3Client& pop3, const MailboxLogin& login) {
    pop3.Auth = login.method;
    pop3.TokenAccount = login.account;
}

void ApplyLogin(SmtpClient& smtp, const MailboxLogin& login) {
    smtp.Auth = login.method;
    smtp.TokenAccount = login.account;
}

void ConfigureSmtp(SmtpClient& smtp, const GlobalSettings& globals) {
    smtp.HostAddress = globals.SMTPHost;
    smtp.Port = globals.SMTPPort;
    smtp.RequireAuthentication = globals.ReqSmtpAuth;
    smtp.User = globals.SmtpUser;
    smtp.Password = globals.SmtpPassword;
    smtp.Security = SmtpSecurity(globals);
    ApplyLogin(smtp, SmtpLogin(globals));
}

bool IsProtectionFailure(const MailError& error) {
    return error.kind == MailFailure::Settings || error.kind == MailFailure::Tls ||
           error.kind == MailFailure::Certificate || error.kind == MailFailure::Token;
}

bool SubmitMessage(Services& services, const std::string& listName, std::string& lastReply) {
    DeliverySession session(services, listName, 1, /*mayHold=*/false);
    const DeliveryOutcome outcome = session.Deliver(false);
    // As Send gives it, so the context's last reply keeps its described meaning.
    outcome.DescribeReply(lastReply);
    return outcome.status == DeliveryStatus::Sent;
}

void ReportMailbox(Services& services, bool open) {
    const Pop3Client& pop3 = services.pop3;
    services.observer.MailboxOpened({pop3.User, pop3.HostAddress, pop3.Port, open,
                                     pop3.MessageCount, open ? MailError{} : pop3.LastError});
}

}  // namespace corvanteer
