#include "transport/MailClients.h"

#include <utility>

namespace corvanteer {

void Pop3Client::Send(const Pop3Command& command) {
    queued_.push_back(command);
}

bool Pop3Client::Receive(Pop3Reply& reply) {
    if (queued_.empty()) {
        return false;
    }
    reply = Pop3Reply{};
    reply.command = queued_.front();
    queued_.pop_front();
    const int number = reply.command.number;
    switch (reply.command.kind) {
        case Pop3Command::Kind::Top:
            Top(number);
            reply.header = Header;
            reply.message = LastReplyPositive ? Body : LinesToText(Header);
            break;
        case Pop3Command::Kind::Retrieve:
            Retrieve(number);
            reply.message = LastReplyPositive ? LinesToText(Header) + Body : Body;
            break;
        case Pop3Command::Kind::Delete:
            LastReplyPositive = Delete(number);
            LastMessageTooBig = false;
            break;
    }
    reply.positive = LastReplyPositive;
    reply.tooBig = LastMessageTooBig;
    reply.size = LastMessageSize;
    reply.error = LastError;
    return true;
}

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
