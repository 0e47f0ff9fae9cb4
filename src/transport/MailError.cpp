#include "transport/MailError.h"

#include <utility>

#include "support/Text.h"

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
        case MailFailure::Token:
            return "token";
    }
    return "none";
}

std::string MailError::Text() const {
    // The reply is the server's and the reason may quote what the server sent (a certificate's
    // names): neither may bring control bytes into a log line, a terminal or a status.
    if (serverReply.empty()) {
        return OneLineText(reason);
    }
    if (reason.empty()) {
        return OneLineText(serverReply);
    }
    return OneLineText(reason) + ": " + OneLineText(serverReply);
}

MailError Fail(MailFailure kind, std::string reason) {
    return MailError{kind, std::move(reason), {}};
}

MailError ServerSaid(MailFailure kind, std::string reason, std::string reply) {
    return MailError{kind, std::move(reason), std::move(reply)};
}

}  // namespace corvanteer
