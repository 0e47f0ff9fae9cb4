#include "engine/MailConnections.h"

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"

namespace corvanteer {

namespace {

ServerSecurity Make(const std::string& mode, const std::string& fingerprint,
                    const std::string& caFile) {
    return ServerSecurity{mode, fingerprint, caFile};
}

std::string MailboxText(const std::string& user, const MailError& error) {
    return "POP3 " + user + ": " + error.Text();
}

}  // namespace

void ScanObserver::MailboxOpened(const MailboxEvent& event) {
    if (!event.open && IsProtectionFailure(event.error)) {
        StatusText(MailboxText(event.user, event.error));
    }
}

ServerSecurity ListServerSecurity(const GlobalSettings& globals) {
    return Make(globals.ListServerSecurity, globals.ListServerTlsFingerprint, globals.TlsCAFile);
}

ServerSecurity SmtpSecurity(const GlobalSettings& globals) {
    return Make(globals.SMTPSecurity, globals.SMTPTlsFingerprint, globals.TlsCAFile);
}

ServerSecurity ListMailboxSecurity(const ListSettings& list, const GlobalSettings& globals) {
    return Make(list.Pop3Security, list.Pop3TlsFingerprint, globals.TlsCAFile);
}

bool IsProtectionFailure(const MailError& error) {
    return error.kind == MailFailure::Settings || error.kind == MailFailure::Tls ||
           error.kind == MailFailure::Certificate;
}

bool SubmitMessage(Services& services, const std::string& listName, std::string& lastReply) {
    DeliverySession session(services, listName, 1, /*mayHold=*/false);
    const DeliveryOutcome outcome = session.Deliver(false);
    // As Send gives it, so the context's last reply keeps its described meaning.
    outcome.DescribeReply(lastReply);
    return outcome.status == DeliveryStatus::Sent;
}

void ReportMailbox(Services& services, const std::string& label, bool open) {
    const Pop3Client& pop3 = services.pop3;
    MailboxEvent event{pop3.User, pop3.HostAddress,  pop3.Port,
                       open,      pop3.MessageCount, open ? MailError{} : pop3.LastError};
    if (!open && IsProtectionFailure(event.error)) {
        WriteLog(services, Stamp(services) + label + ": " + MailboxText(pop3.User, event.error));
    }
    services.observer.MailboxOpened(event);
}

}  // namespace corvanteer
