#include "cli/ReportingPop3.h"

#include <ostream>
#include <utility>

namespace corvanteer::cli {

void ReportingPop3::Give() {
    inner_.HostAddress = HostAddress;
    inner_.Port = Port;
    inner_.User = User;
    inner_.Password = Password;
    inner_.TopLines = TopLines;
    inner_.Header = std::move(Header);
    inner_.Body = std::move(Body);
    inner_.ResponseDone = ResponseDone;
    inner_.MessageCount = MessageCount;
    inner_.MailboxSize = MailboxSize;
    inner_.LastReplyPositive = LastReplyPositive;
    inner_.MaxMessageSize = MaxMessageSize;
    inner_.LastMessageTooBig = LastMessageTooBig;
    inner_.LastMessageSize = LastMessageSize;
}

void ReportingPop3::Take() {
    Header = std::move(inner_.Header);
    Body = std::move(inner_.Body);
    ResponseDone = inner_.ResponseDone;
    MessageCount = inner_.MessageCount;
    MailboxSize = inner_.MailboxSize;
    LastReplyPositive = inner_.LastReplyPositive;
    LastMessageTooBig = inner_.LastMessageTooBig;
    LastMessageSize = inner_.LastMessageSize;
}

bool ReportingPop3::Login() {
    Give();
    const bool ok = inner_.Login();
    Take();
    err_ << "mailbox " << User << " at " << HostAddress << ":" << Port << ": ";
    if (ok) {
        err_ << MessageCount << (MessageCount == 1 ? " message" : " messages") << '\n';
    } else {
        err_ << "login failed\n";
    }
    err_.flush();
    return ok;
}

bool ReportingPop3::Stat() {
    Give();
    const bool ok = inner_.Stat();
    Take();
    return ok;
}

void ReportingPop3::Top(int number) {
    Give();
    inner_.Top(number);
    Take();
}

void ReportingPop3::Retrieve(int number) {
    Give();
    inner_.Retrieve(number);
    Take();
}

bool ReportingPop3::Delete(int number) {
    Give();
    const bool ok = inner_.Delete(number);
    Take();
    return ok;
}

void ReportingPop3::Quit() {
    Give();
    inner_.Quit();
    Take();
}

}  // namespace corvanteer::cli
