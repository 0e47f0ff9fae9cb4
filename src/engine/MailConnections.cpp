#include "engine/MailConnections.h"

namespace corvanteer {

namespace {

ServerSecurity Make(const std::string& mode, const std::string& fingerprint,
                    const std::string& caFile) {
    return ServerSecurity{mode, fingerprint, caFile};
}

}  // namespace

ServerSecurity ListServerSecurity(const GlobalSettings& globals) {
    return Make(globals.ListServerSecurity, globals.ListServerTlsFingerprint, globals.TlsCAFile);
}

ServerSecurity SmtpSecurity(const GlobalSettings& globals) {
    return Make(globals.SMTPSecurity, globals.SMTPTlsFingerprint, globals.TlsCAFile);
}

ServerSecurity ListMailboxSecurity(const ListSettings& list, const GlobalSettings& globals) {
    return Make(list.Pop3Security, list.Pop3TlsFingerprint, globals.TlsCAFile);
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

SmtpServer SmtpServerFromSettings(const GlobalSettings& globals) {
    SmtpServer server;
    server.host = globals.SMTPHost;
    server.port = globals.SMTPPort;
    server.security = SmtpSecurity(globals);
    server.requireAuthentication = globals.ReqSmtpAuth;
    server.user = globals.SmtpUser;
    server.password = globals.SmtpPassword;
    const MailboxLogin login = SmtpLogin(globals);
    server.auth = login.method;
    server.tokenAccount = login.account;
    return server;
}

bool IsProtectionFailure(const MailError& error) {
    return error.kind == MailFailure::Settings || error.kind == MailFailure::Tls ||
           error.kind == MailFailure::Certificate || error.kind == MailFailure::Token;
}

void ReportMailbox(Services& services, bool open) {
    const Pop3Client& pop3 = services.pop3;
    services.observer.MailboxOpened({pop3.User, pop3.HostAddress, pop3.Port, open,
                                     pop3.MessageCount, open ? MailError{} : pop3.LastError});
}

}  // namespace corvanteer
