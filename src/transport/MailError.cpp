#include "transport/MailError.h"

#include <utility>

namespace corvanteer {

const char* MailFailureName(MailFailure failure) {
    switch (failure) {
        case MailFailure::None:
            return "none";
        case MailFailure::Settings:
            return "settings";
        case MailFailure::Input:
            return "input";
        case MailFailure::Connect:
            return "connect";
        case MailFailure::Tls:
            return "tls";
        case MailFailure::Certificate:
            return "certificate";
        case MailFailure::Timeout:
            return "timeout";
        case MailFailure::Connection:
            return "connection";
        case MailFailure::Refused:
            return "refused";
        case MailFailure::Auth:
            return "auth";
    }
    return "none";
}

std::string MailError::Text() const {
    if (serverReply.empty()) {
        return reason;
    }
    return reason.empty() ? serverReply : reason + ": " + serverReply;
}

MailError Fail(MailFailure kind, std::string reason) {
    return MailError{kind, std::move(reason), {}};
}

MailError ServerSaid(MailFailure kind, std::string reason, std::string reply) {
    return MailError{kind, std::move(reason), std::move(reply)};
}

}  // namespace corvanteer
