#include "transport/MailClients.h"

#include <utility>

namespace corvanteer {

void TakeDescribedReply(SmtpResult&& result, std::string& reply) {
    switch (result.error.kind) {
        case MailFailure::Connect:
            break;
        case MailFailure::Timeout:
        case MailFailure::Connection:
            reply = std::move(result.lastReply);  // empty: what came was no reply
            break;
        default:
            // A refusal of the program's own (a certificate, no way to log in) is said in
            // words, as the reply of a server that refused would be.
            reply = result.lastReply.empty() ? std::move(result.error.reason)
                                             : std::move(result.lastReply);
            break;
    }
}

bool SmtpClient::Send(const Envelope& envelope, std::string& reply) {
    SmtpResult result = Submit(envelope);
    const bool accepted = result.ok();
    TakeDescribedReply(std::move(result), reply);
    return accepted;
}

}  // namespace corvanteer
