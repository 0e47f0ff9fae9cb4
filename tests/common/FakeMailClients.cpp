#include "common/FakeMailClients.h"

#include "support/Text.h"

namespace corvanteer::testing {

std::string FakePop3::Key(const std::string& host, int port, const std::string& user) const {
    return host + ":" + std::to_string(port) + "/" + user;
}

FakePop3::Mailbox& FakePop3::AddMailbox(const std::string& host, int port, const std::string& user,
                                        const std::string& password) {
    Mailbox& box = mailboxes_[Key(host, port, user)];
    box = Mailbox{};
    box.password = password;
    return box;
}

FakePop3::Mailbox* FakePop3::Find(const std::string& host, int port, const std::string& user) {
    auto it = mailboxes_.find(Key(host, port, user));
    return it == mailboxes_.end() ? nullptr : &it->second;
}

void FakePop3::Put(const std::string& host, int port, const std::string& user,
                   std::string message) {
    Mailbox* box = Find(host, port, user);
    if (box == nullptr) {
        box = &AddMailbox(host, port, user, "");
    }
    box->messages.push_back(std::move(message));
    box->deleted.push_back(false);
}

void FakePop3::Note(const std::string& entry) {
    if (beforeOperation) {
        beforeOperation(entry);
    }
    log.push_back(entry);
    if (open_ != nullptr && open_->dropAt == entry) {
        open_ = nullptr;  // gone without QUIT: nothing marked is deleted
    }
}

bool FakePop3::Login() {
    Note("LOGIN " + User);
    securities.push_back(Security);
    open_ = nullptr;
    LastError = MailError{};
    Mailbox* box = Find(HostAddress, Port, User);
    if (box != nullptr && !box->loginFailure.ok()) {
        LastError = box->loginFailure;
        return false;
    }
    if (box == nullptr || box->refuseLogin || box->password != Password) {
        return false;  // a refusal whose reason the fake does not invent
    }
    open_ = box;
    return Stat();
}

ProbeReport FakePop3::Probe() {
    ProbeReport report;
    report.security = Security.Mode;
    log.push_back("PROBE " + User);
    securities.push_back(Security);
    Mailbox* box = Find(HostAddress, Port, User);
    report.connected = box != nullptr;
    if (box == nullptr) {
        report.error = Fail(MailFailure::Connect, "cannot connect to " + HostAddress);
    } else if (!box->loginFailure.ok()) {
        report.error = box->loginFailure;
    } else if (box->refuseLogin || box->password != Password) {
        report.login = LoginOutcome::Refused;
        report.error = ServerSaid(MailFailure::Auth, "login refused", "-ERR refused");
    } else {
        report.login = LoginOutcome::Accepted;
        report.messageCount = static_cast<int32_t>(box->messages.size());
    }
    return report;
}

bool FakePop3::Stat() {
    if (open_ == nullptr) {
        return false;
    }
    MessageCount = open_->claimedCount >= 0 ? open_->claimedCount
                                            : static_cast<int32_t>(open_->messages.size());
    MailboxSize = 0;
    for (const auto& m : open_->messages) {
        MailboxSize += static_cast<int32_t>(m.size());
    }
    return true;
}

void FakePop3::Top(int number) {
    LastMessageTooBig = false;
    Note("TOP " + std::to_string(number));
    if (open_ == nullptr || number < 1 || number > static_cast<int>(open_->messages.size())) {
        Header = {"-ERR no such message"};
        LastReplyPositive = false;
        return;
    }
    LastReplyPositive = true;
    Lines lines = TextToLines(open_->messages[static_cast<size_t>(number - 1)]);
    Header.clear();
    for (const auto& line : lines) {
        if (line.empty()) {
            break;
        }
        Header.push_back(line);
    }
    Header.push_back("");
    Body.clear();
}

void FakePop3::Retrieve(int number) {
    LastMessageTooBig = false;
    // The real client asks LIST first; the size is the raw message's.
    if (MaxMessageSize > 0) {
        if (open_ != nullptr && number >= 1 && number <= static_cast<int>(open_->messages.size()) &&
            static_cast<int64_t>(open_->messages[static_cast<size_t>(number - 1)].size()) >
                MaxMessageSize) {
            LastMessageTooBig = true;
            LastMessageSize =
                static_cast<int64_t>(open_->messages[static_cast<size_t>(number - 1)].size());
            LastReplyPositive = false;
            Body.clear();
            return;
        }
    }
    Note("RETR " + std::to_string(number));
    if (open_ == nullptr || number < 1 || number > static_cast<int>(open_->messages.size()) ||
        open_->refuseRetrieve) {
        Body = {"-ERR no such message"};
        LastReplyPositive = false;
        return;
    }
    LastReplyPositive = true;
    Lines lines = TextToLines(open_->messages[static_cast<size_t>(number - 1)]);
    Body.clear();
    bool inBody = false;
    for (const auto& line : lines) {
        if (inBody) {
            Body.push_back(line);
        } else if (line.empty()) {
            inBody = true;
        }
    }
}

bool FakePop3::Delete(int number) {
    Note("DELE " + std::to_string(number));
    if (open_ == nullptr || number < 1 || number > static_cast<int>(open_->messages.size())) {
        return false;
    }
    open_->deleted[static_cast<size_t>(number - 1)] = true;
    return true;
}

void FakePop3::Quit() {
    Note("QUIT");
    if (open_ != nullptr) {
        std::vector<std::string> kept;
        for (size_t i = 0; i < open_->messages.size(); ++i) {
            if (!open_->deleted[i]) {
                kept.push_back(std::move(open_->messages[i]));
            }
        }
        open_->messages = std::move(kept);
        open_->deleted.assign(open_->messages.size(), false);
    }
    open_ = nullptr;
}

SmtpResult FakeSmtp::Submit(const Envelope& envelope) {
    EndSession();
    SmtpTransaction tx = Transact(envelope, false);
    EndSession();
    return std::move(tx.result);
}

SmtpTransaction FakeSmtp::Transact(const Envelope& envelope, bool partial) {
    const Lines& recipients = envelope.recipients;
    Sent s{envelope.from,
           recipients,
           TextToLines(envelope.message),
           envelope.message,
           Server.host,
           Server.port,
           false,
           Server.security,
           0,
           {}};
    SmtpTransaction tx;
    SmtpResult& result = tx.result;
    if (!failure.ok()) {
        result.error = failure;
        tx.connectionPhase = true;
        sent.push_back(std::move(s));
        return tx;
    }
    if (open_ && closeAfter > 0 && taken_ >= closeAfter) {
        open_ = false;  // closed by the server since the last message
        result.error = Fail(MailFailure::Connection, "closed the connection");
        return tx;
    }
    if (!open_) {
        open_ = true;
        ++connections;
        taken_ = 0;
    }
    s.connection = connections;
    auto refuse = [&](const std::string& reply) {
        result.lastReply = reply;
        result.error = ServerSaid(MailFailure::Refused, "refused", reply);
        if (StartsWith(reply, "421")) {
            open_ = false;
        }
        sent.push_back(std::move(s));
        return tx;
    };
    std::string firstRefusal;
    for (const std::string& address : recipients) {
        const std::string reply = recipientReply ? recipientReply(address) : std::string();
        if (reply.empty()) {
            continue;
        }
        if (!partial || StartsWith(reply, "421")) {
            return refuse(reply);
        }
        tx.refused.push_back({address, reply});
        s.refused.push_back(address);
        if (firstRefusal.empty()) {
            firstRefusal = reply;
        }
    }
    if (!recipients.empty() && tx.refused.size() == recipients.size()) {
        s.refused.clear();
        tx.refused.clear();
        return refuse(firstRefusal);
    }
    tx.dataSent = true;
    std::string reply;
    if (dataReply) {
        reply = dataReply(s);
    } else if (failAll) {
        reply = "554 refused";
    } else if (accept) {
        reply = accept(s) ? "250 OK" : "554 refused";
    } else {
        reply = recipients.empty() ? "554 refused" : "250 OK";
    }
    if (!StartsWith(reply, "250")) {
        tx.refused.clear();
        return refuse(reply);
    }
    ++taken_;
    s.accepted = true;
    result.lastReply = reply;
    sent.push_back(std::move(s));
    return tx;
}

void FakeSmtp::EndSession() {
    if (open_) {
        ++quits;
    }
    open_ = false;
}

ProbeReport FakeSmtp::Probe() {
    ++probes;
    ProbeReport report;
    report.security = Server.security.Mode;
    report.connected = failure.kind != MailFailure::Connect;
    report.login =
        Server.requireAuthentication ? LoginOutcome::Accepted : LoginOutcome::NotRequired;
    report.error = failure;
    return report;
}

std::vector<FakeSmtp::Sent> FakeSmtp::Delivered() const {
    std::vector<Sent> out;
    for (const auto& s : sent) {
        if (s.accepted) {
            out.push_back(s);
        }
    }
    return out;
}

}  // namespace corvanteer::testing
