#include "engine/MailboxPass.h"

#include <algorithm>

#include "engine/ActivityLog.h"
#include "support/Address.h"
#include "support/HeaderFields.h"
#include "support/Text.h"

namespace corvanteer {
namespace {

// How many TOP or RETR refusals in a row make a mailbox be left for the session: a server
// whose STAT claims messages it does not have would otherwise be asked for each of them.
constexpr int kMaxRefusalsInARow = 10;
// New connections a pass makes after replies cut off at the size limit, at most.
constexpr int kMaxReconnects = 10;

// A From value holding control bytes (a lone CR or LF, NUL) cannot go into a posting's
// header.
bool HasControlBytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

}  // namespace

MailboxConnection::MailboxConnection(Services& services, MailNotes& notes)
    : pop3_(services.pop3), services_(services), notes_(notes) {}

std::string MailboxConnection::Key() const {
    return account_.host + ":" + std::to_string(account_.port) + "/" + account_.user;
}

bool MailboxConnection::LogIn() {
    pop3_.HostAddress = account_.host;
    pop3_.Port = account_.port;
    pop3_.User = account_.user;
    pop3_.Password = account_.password;
    pop3_.MaxMessageSize = std::max<int32_t>(account_.maxMessageSize, 0);
    pop3_.Security = account_.security;
    ApplyLogin(pop3_, account_.login);
    return pop3_.Login();
}

bool MailboxConnection::Open(const PassMailbox& account) {
    account_ = account;
    // Shown in the log: a stored value of an older program may hold control bytes.
    failure_ = MailboxFailure{
        account.name, OneLineText(account.user), OneLineText(account.host), account.port, "", ""};
    ++tried_;
    refusals_ = 0;
    broken_ = false;
    open_ = LogIn();
    ReportMailbox(services_, open_);
    if (open_) {
        services_.observer.TrayImage(1);
    } else {
        Fail(LastKind(MailFailure::Auth),
             pop3_.LastError.ok() ? "login failed" : "login failed: " + pop3_.LastError.Text());
    }
    return open_;
}

bool MailboxConnection::Reopen() {
    pop3_.Quit();  // what is left of the connection that was cut
    refusals_ = 0;
    if (LogIn()) {
        return true;
    }
    broken_ = true;
    Fail(LastKind(MailFailure::Auth),
         pop3_.LastError.ok() ? "login failed" : "login failed: " + pop3_.LastError.Text());
    return false;
}

void MailboxConnection::Close() {
    open_ = false;  // a QUIT that fails is not sent a second time
    try {
        pop3_.Quit();
    } catch (...) {
        services_.observer.TrayImage(0);
        throw;
    }
    services_.observer.TrayImage(0);
}

void MailboxConnection::CloseAfterError() noexcept {
    if (!open_) {
        return;
    }
    try {
        Close();
    } catch (...) {
    }
}

bool MailboxConnection::Refused(int n) {
    if (++refusals_ >= kMaxRefusalsInARow && !broken_) {
        BreakOff(n, MailFailure::Refused,
                 std::to_string(kMaxRefusalsInARow) + " TOP or RETR refusals in a row");
    }
    return broken_;
}

void MailboxConnection::BreakOff(int n, MailFailure kind, const std::string& cause) {
    broken_ = true;
    Fail(kind, "reading broke off at message " + std::to_string(n) + " (" + cause + ")");
}

MailFailure MailboxConnection::LastKind(MailFailure fallback) const {
    return pop3_.LastError.ok() ? fallback : pop3_.LastError.kind;
}

void MailboxConnection::Fail(MailFailure kind, const std::string& cause) {
    MailboxFailure failure = failure_;
    failure.kind = MailFailureName(kind);
    failure.message = OneLineText(cause);
    WriteLog(services_, Stamp(services_) + failure.Text(), LogPriority::Error);
    failures_.push_back(std::move(failure));
}

void MailboxConnection::Log(const std::string& text) {
    WriteLog(services_, Stamp(services_) + account_.name + ": " + text);
}

MailboxPass::MailboxPass(ScanContext& context, MailboxConnection& connection, PassRules& rules)
    : context_(context), connection_(connection), rules_(rules), pop3_(connection.Pop3()) {}

void MailboxPass::Run() {
    listing_ = pop3_.ListMessages();
    while (Walk() && connection_.Reopen()) {
        listing_ = pop3_.ListMessages();
    }
    context_.MessageNumber = 0;
    if (!connection_.Broken()) {
        // Read to its end: notes of messages no longer there go.
        connection_.Notes().Prune(connection_.Key());
    }
    connection_.Notes().Save();
    connection_.Close();
}

bool MailboxPass::Walk() {
    const std::size_t window = std::max<std::size_t>(pop3_.Window(), 1);
    int next = pop3_.MessageCount;
    std::size_t inFlight = 0;
    due_.clear();
    keys_.clear();
    deleting_.clear();
    stopped_ = false;
    again_ = false;
    for (;;) {
        while (inFlight < window && pop3_.Connected()) {
            if (!due_.empty()) {
                const Pop3Command command = due_.front();
                due_.pop_front();
                // Once reading broke off only the DELEs of what is stored still go.
                if (!stopped_ || command.kind == Pop3Command::Kind::Delete) {
                    pop3_.Send(command);
                    ++inFlight;
                }
                continue;
            }
            if (stopped_ || next < 1) {
                break;
            }
            const int n = next--;
            switch (PlanFor(n)) {
                case Plan::Skip:
                    break;
                case Plan::DeleteOnly:
                    due_.push_back({Pop3Command::Kind::Delete, n});
                    break;
                case Plan::Top:
                    pop3_.Send({Pop3Command::Kind::Top, n});
                    ++inFlight;
                    break;
            }
        }
        if (inFlight == 0) {
            break;
        }
        Pop3Reply reply;
        if (!pop3_.Receive(reply)) {
            break;
        }
        --inFlight;
        if (!pop3_.Connected() && !connection_.Broken() && !again_) {
            OnLoss(reply);
        }
        switch (reply.command.kind) {
            case Pop3Command::Kind::Top:
                OnTop(reply);
                break;
            case Pop3Command::Kind::Retrieve:
                OnRetrieve(reply);
                break;
            case Pop3Command::Kind::Delete:
                OnDelete(reply);
                break;
        }
    }
    return again_;
}

MailboxPass::Plan MailboxPass::PlanFor(int n) {
    const auto listed = listing_.find(n);
    const Pop3Listing listing = listed == listing_.end() ? Pop3Listing{} : listed->second;
    MailNotes& notes = connection_.Notes();
    const std::string mailbox = connection_.Key();
    if (!listing.uid.empty()) {
        const std::string key = MailNotes::KeyOf(listing.uid, listing.size, "");
        notes.Seen(mailbox, key);
        keys_[n] = key;
        if (handled_.count(key) != 0) {
            deleting_[n] = handled_[key];
            return Plan::DeleteOnly;
        }
        if (left_.count(key) != 0) {
            return Plan::Skip;
        }
        const auto cut = notes.CutAt(mailbox, key);
        if (cut && pop3_.MaxMessageSize > 0 && pop3_.MaxMessageSize <= *cut) {
            return Plan::Skip;
        }
    }
    if (pop3_.MaxMessageSize > 0 && listing.size > pop3_.MaxMessageSize) {
        LeaveTooBig(n, MailNotes::KeyOf(listing.uid, listing.size, ""), listing.size);
        return Plan::Skip;
    }
    return Plan::Top;
}

void MailboxPass::LeaveTooBig(int n, const std::string& key, int64_t size) {
    if (!key.empty()) {
        left_.insert(key);
    }
    if (!connection_.Notes().NoteOnce(connection_.Key(), key, "size")) {
        connection_.Log("message " + std::to_string(n) + " of " + std::to_string(size) +
                        " bytes is over MaxMessageSize - left on the server");
    }
}

std::string MailboxPass::KeyOf(int n, const Lines& header) const {
    const auto listed = listing_.find(n);
    const Pop3Listing listing = listed == listing_.end() ? Pop3Listing{} : listed->second;
    return MailNotes::KeyOf(listing.uid, listing.size, GetHeaderValue("Date", header));
}

bool MailboxPass::UsableSender() const {
    return IsUsableMemberAddress(context_.SenderAddress) && !HasControlBytes(context_.FromValue);
}

void MailboxPass::OnLoss(const Pop3Reply& reply) {
    const int n = reply.command.number;
    stopped_ = true;
    due_.clear();
    if (!reply.tooBig) {
        connection_.BreakOff(n, connection_.LastKind(MailFailure::Connection), "connection lost");
        return;
    }
    // The reply grew past the limit although nothing said it would (no size listed, or a
    // smaller one): the message stays on the server, and later scans leave it there.
    const auto listed = listing_.find(n);
    const int64_t size = listed == listing_.end() ? -1 : listed->second.size;
    const auto known = keys_.find(n);
    const std::string key = known == keys_.end() ? MailNotes::KeyOf("", size, "") : known->second;
    const std::string max = std::to_string(pop3_.MaxMessageSize);
    if (!connection_.Notes().NoteOnce(connection_.Key(), key, "cut " + max)) {
        connection_.Log("message " + std::to_string(n) + " is over MaxMessageSize (more than " +
                        max + " bytes came, " +
                        (size < 0 ? std::string("no size was listed")
                                  : "listed as " + std::to_string(size) + " bytes") +
                        ") - left on the server");
    }
    if (key.empty() || ++reconnects_ > kMaxReconnects) {
        connection_.BreakOff(n, MailFailure::Connection,
                             "over MaxMessageSize; the messages cannot be told apart on a "
                             "new connection");
        return;
    }
    left_.insert(key);
    again_ = true;
}

void MailboxPass::OnTop(const Pop3Reply& reply) {
    const int n = reply.command.number;
    if (!pop3_.Connected() || stopped_) {
        return;  // left on the server
    }
    if (!reply.positive) {
        if (reply.tooBig) {
            LeaveTooBig(n, MailNotes::KeyOf("", reply.size, ""), reply.size);
        } else if (connection_.Refused(n)) {
            stopped_ = true;
        }
        return;
    }
    connection_.Answered();
    context_.MessageNumber = n;
    context_.FromValue = GetHeaderValue("From", reply.header);
    context_.SenderName = ExtractDisplayName(context_.FromValue);
    context_.SenderAddress = LowerCase(ExtractEmail(context_.FromValue));

    const std::string key = KeyOf(n, reply.header);
    keys_[n] = key;
    MailNotes& notes = connection_.Notes();
    notes.Seen(connection_.Key(), key);
    if (reconnects_ > 0 && !key.empty() && (left_.count(key) != 0 || handled_.count(key) != 0)) {
        // Met on an earlier connection of this pass, known by size and Date: left alone (if
        // it was fetched, its DELE was not carried out, so a later scan brings a duplicate).
        return;
    }
    if (const auto cut = notes.CutAt(connection_.Key(), key);
        cut && pop3_.MaxMessageSize > 0 && pop3_.MaxMessageSize <= *cut) {
        return;
    }
    if (!UsableSender()) {
        if (!key.empty()) {
            left_.insert(key);
        }
        if (!notes.NoteOnce(connection_.Key(), key, "sender")) {
            connection_.Log("message " + std::to_string(n) + " has no usable sender (From: " +
                            OneLineText(context_.FromValue) + ") - left on the server");
        }
        return;
    }
    switch (rules_.Header(n, reply)) {
        case PassRules::Then::Leave:
            break;
        case PassRules::Then::Retrieve:
            due_.push_back({Pop3Command::Kind::Retrieve, n});
            break;
        case PassRules::Then::Delete:
            if (!key.empty()) {
                handled_[key] = "";
            }
            deleting_[n] = "";
            due_.push_back({Pop3Command::Kind::Delete, n});
            break;
    }
    if (!pop3_.Connected() && !connection_.Broken() && !again_) {
        // The rules fetched the message themselves (a moderator's commands) and that ended
        // the connection.
        Pop3Reply cut;
        cut.command = {Pop3Command::Kind::Retrieve, n};
        cut.tooBig = pop3_.LastMessageTooBig;
        OnLoss(cut);
        left_.erase(key);  // acted upon: deleted on the new connection
    }
}

void MailboxPass::OnRetrieve(Pop3Reply& reply) {
    const int n = reply.command.number;
    if (!pop3_.Connected()) {
        return;
    }
    if (!reply.positive) {
        if (reply.tooBig) {
            // Over the limit by LIST, asked when the message was to be fetched.
            LeaveTooBig(n, keys_[n], reply.size);
        } else if (connection_.Refused(n)) {
            stopped_ = true;
        }
        return;
    }
    connection_.Answered();
    context_.MessageNumber = n;
    const std::string stored = rules_.Store(n, reply);
    if (stored.empty()) {
        return;
    }
    if (!keys_[n].empty()) {
        handled_[keys_[n]] = stored;
    }
    deleting_[n] = stored;
    due_.push_back({Pop3Command::Kind::Delete, n});
}

void MailboxPass::OnDelete(const Pop3Reply& reply) {
    const int n = reply.command.number;
    const auto deleting = deleting_.find(n);
    const std::string stored = deleting == deleting_.end() ? std::string() : deleting->second;
    deleting_.erase(n);
    // A DELE lost with the connection may have been carried out or not: the copy is kept
    // (at worst a duplicate, as after a kill). One the server refused stays there.
    if (!reply.positive && pop3_.Connected() && !stored.empty()) {
        rules_.Kept(stored);
    }
}

}  // namespace corvanteer
