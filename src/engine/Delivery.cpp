#include "engine/Delivery.h"

#include <algorithm>
#include <utility>

#include "engine/ActivityLog.h"
#include "engine/GivenUpMail.h"
#include "engine/MailConnections.h"
#include "engine/PendingQueue.h"
#include "transport/SmtpReplies.h"

namespace corvanteer {

namespace {

// A 421 or a connection lost in the middle of a session: the message goes again on a new
// connection after these pauses, one after another while none gets through; after the last
// the rest of the session waits for a later scan. An accepted message starts them again.
constexpr int64_t kReconnectPausesMs[] = {2000, 10000, 30000};
constexpr int kMaxReconnects = 3;

std::string ServerKey(const SmtpServer& server) {
    return server.host + ":" + std::to_string(server.port);
}

}  // namespace

DeliverySession::DeliverySession(Services& services, std::string listName,
                                 std::size_t expectedMessages, bool mayHold)
    : services_(services),
      listName_(std::move(listName)),
      mayHold_(mayHold),
      maxPerMessage_(0),
      caps_(services, services.console.Globals().MaxRecipientsPerHour,
            services.console.Globals().MaxRecipientsPerDay) {
    const int32_t perMessage = services.console.Globals().MaxRecipientsPerMessage;
    maxPerMessage_ = perMessage > 0 ? static_cast<std::size_t>(perMessage) : 0;
    services_.smtp.SessionMessages = expectedMessages == 0 ? 1 : expectedMessages;
    // A server this scan could not reach is not waited for again.
    const SmtpOutage& outage = services_.smtp.Outage;
    if (!outage.server.empty() && outage.server == ServerKey(services_.smtp.Server)) {
        dead_ = true;
        deadResult_ = outage.result;
    }
}

DeliverySession::~DeliverySession() {
    services_.smtp.EndSession();
    services_.smtp.SessionMessages = 1;
}

void DeliverySession::Expect(std::size_t messages) {
    if (connections_ == 0 && messages > services_.smtp.SessionMessages) {
        services_.smtp.SessionMessages = messages;
    }
}

std::size_t DeliverySession::PartSize() const {
    const std::size_t largest = caps_.Largest();
    if (maxPerMessage_ == 0 || (largest != 0 && largest < maxPerMessage_)) {
        return largest;
    }
    return maxPerMessage_;
}

DeliveryOutcome DeliverySession::NotTried(DeliveryStatus status) const {
    DeliveryOutcome outcome;
    outcome.status = status;
    outcome.tried = false;
    if (status == DeliveryStatus::Failed) {
        outcome.result = deadResult_;
    }
    return outcome;
}

void DeliverySession::ReportProtectionFailure(const MailError& error) {
    if (!IsProtectionFailure(error)) {
        return;
    }
    const std::string text = "SMTP: " + error.Text();
    WriteLog(services_, Stamp(services_) + (listName_.empty() ? "" : listName_ + ": ") + text,
             LogPriority::Error);
    services_.observer.StatusText(text);
}

DeliveryOutcome DeliverySession::Deliver(const Envelope& envelope, bool partial) {
    SmtpClient& smtp = services_.smtp;
    if (mayHold_ && (holding_ || !caps_.Allows(envelope.recipients.size()))) {
        holding_ = true;  // oldest first: once one message waits, the later ones wait too
        return NotTried(DeliveryStatus::Held);
    }
    if (dead_) {
        return NotTried(DeliveryStatus::Failed);
    }
    for (;;) {
        if (!smtp.SessionOpen()) {
            if (connections_ > 0) {
                // A new connection after one that ended: a few in a row without a message
                // getting through, each after a longer pause; then the rest waits.
                if (reconnects_ >= kMaxReconnects) {
                    return GiveUp();
                }
                services_.clock.Pause(kReconnectPausesMs[reconnects_++]);
            }
            ++connections_;
        }
        SmtpTransaction tx = smtp.Transact(envelope, partial);
        ReportProtectionFailure(tx.result.error);
        DeliveryOutcome outcome;
        if (tx.ok()) {
            reconnects_ = 0;
            outcome.status = DeliveryStatus::Sent;
            outcome.refused = std::move(tx.refused);
            for (const RecipientRefusal& refusal : outcome.refused) {
                if (mayHold_ && IsOverLimitReply(refusal.reply)) {
                    holding_ = true;
                }
            }
            caps_.Count(envelope.recipients.size() - outcome.refused.size());
            outcome.result = std::move(tx.result);
            return outcome;
        }
        const bool overLimit = mayHold_ && IsOverLimitReply(tx.result.lastReply);
        const MailFailure kind = tx.result.error.kind;
        lastOverLimit_ = overLimit;
        lastResult_ = tx.result;
        // The connection went (a 421, or closed) with the message not taken (a 421 says so
        // even after the data): it goes again on a new connection, also when one made again
        // greets with 421 or closes at once.
        const bool notTaken = !tx.dataSent || ReplyCode(tx.result.lastReply) == 421;
        const bool again =
            !smtp.SessionOpen() && notTaken && kind != MailFailure::Input &&
            (!tx.connectionPhase || (connections_ > 1 && (kind == MailFailure::Connection ||
                                                          ReplyCode(tx.result.lastReply) == 421)));
        if (again) {
            continue;
        }
        outcome.result = std::move(tx.result);
        if (overLimit) {
            holding_ = true;
            outcome.status = DeliveryStatus::Held;
            return outcome;
        }
        if (tx.connectionPhase) {
            // Nothing more goes on this session; a server out of reach (no connection, no
            // greeting in time) gets no other try in this scan either.
            dead_ = true;
            deadResult_ = outcome.result;
            if (kind == MailFailure::Connect || kind == MailFailure::Timeout) {
                smtp.Outage = {ServerKey(smtp.Server), outcome.result};
            }
        }
        outcome.status = DeliveryStatus::Failed;
        return outcome;
    }
}

DeliveryOutcome DeliverySession::GiveUp() {
    DeliveryOutcome outcome;
    outcome.result = lastResult_;
    if (lastOverLimit_) {
        holding_ = true;
        outcome.status = DeliveryStatus::Held;
    } else {
        dead_ = true;
        deadResult_ = lastResult_;
        outcome.status = DeliveryStatus::Failed;
    }
    return outcome;
}

void DeliverySession::Hold(int attempts, const Envelope& envelope) {
    HoldQueuedMessage(services_, attempts, envelope, holdSequence_);
}

namespace {

void Log(Services& services, const std::string& text, LogPriority priority = LogPriority::Info) {
    if (!text.empty()) {
        WriteLog(services, Stamp(services) + text, priority);
    }
}

// "ann@example.org", or "ann@example.org and 41 more".
std::string RecipientsText(const std::vector<std::string>& recipients) {
    if (recipients.empty()) {
        return "nobody";
    }
    return recipients.front() + (recipients.size() > 1
                                     ? " and " + std::to_string(recipients.size() - 1) + " more"
                                     : std::string());
}

// Queues a message that failed (cause: why), or gives it up past SmtpMaxAttempts; counts it,
// notes it, and returns what was done. The given-up line follows the caller's failed line.
QueueResult QueueOrGiveUp(DeliverySession& session, const Envelope& envelope,
                          const SendOptions& options, const std::string& cause, SendTally& tally) {
    Services& services = session.services();
    const QueueResult result = QueueFailedMessage(services, options.attempt, envelope);
    if (result == QueueResult::Queued) {
        ++tally.queued;
        tally.notes.push_back(OneLineText("msg to " + RecipientsText(envelope.recipients) +
                                              " queued (attempt " +
                                              std::to_string(options.attempt) + "): " + cause,
                                          1000));
    } else {
        ++tally.givenUp;
        tally.notes.push_back(OneLineText(
            "msg from " + envelope.from + " to " + RecipientsText(envelope.recipients) +
                " given up after " + std::to_string(options.attempt) + " attempts: " + cause,
            1000));
    }
    return result;
}

void LogGivenUp(DeliverySession& session, const Envelope& envelope, const SendOptions& options,
                const std::string& cause) {
    const std::string& list =
        options.givenUpList.empty() ? session.listName() : options.givenUpList;
    WriteLog(session.services(),
             Stamp(session.services()) + GivenUpLine(list, envelope.from, options.attempt, cause),
             LogPriority::Error);
}

// Why a message failed: the client's reason and the server's reply.
std::string CauseOf(const SmtpResult& result) {
    const std::string text = result.error.Text();
    return text.empty() ? (result.lastReply.empty() ? "no reply" : result.lastReply) : text;
}

void Settled(const SendOptions& options) {
    if (options.settled) {
        options.settled();
    }
}

// Of a message that went with partial delivery: the recipients the server refused.
void HandleRefusals(DeliverySession& session, const Envelope& envelope,
                    const std::vector<RecipientRefusal>& refusals, const SendOptions& options,
                    SendTally& tally) {
    Services& services = session.services();
    std::vector<std::string> held;
    for (const RecipientRefusal& refusal : refusals) {
        const std::string refusedLine = options.refusedPrefix + refusal.address +
                                        " refused by the SMTP server: " + refusal.reply;
        if (options.everyRefusal) {
            Log(services, refusedLine, LogPriority::Warning);
        }
        if (IsOverLimitReply(refusal.reply)) {
            held.push_back(refusal.address);
        } else if (IsPermanentReply(refusal.reply)) {
            if (!options.everyRefusal) {
                Log(services, refusedLine, LogPriority::Warning);
            }
            if (options.refusedForGood) {
                options.refusedForGood(refusal);
            }
        } else {
            const Envelope alone{envelope.from, {refusal.address}, envelope.message};
            const QueueResult queued = QueueOrGiveUp(session, alone, options, refusal.reply, tally);
            if (!options.requeuedPrefix.empty()) {
                Log(services, options.requeuedPrefix + refusal.address + options.requeuedSuffix,
                    LogPriority::Warning);
            }
            if (queued == QueueResult::GivenUp) {
                LogGivenUp(session, alone, options, refusal.reply);
            }
        }
    }
    if (!held.empty()) {
        session.Hold(options.attempt - 1,
                     Envelope{envelope.from, std::move(held), envelope.message});
        Log(services, options.heldRecipients);
    }
}

}  // namespace

DeliveryStatus SendOrQueue(DeliverySession& session, const Envelope& envelope,
                           const SendOptions& options, SendTally& tally) {
    Services& services = session.services();
    const DeliveryOutcome outcome = session.Deliver(envelope, options.partial);
    switch (outcome.status) {
        case DeliveryStatus::Sent:
            ++tally.sent;
            tally.sentRecipients += envelope.recipients.size();
            HandleRefusals(session, envelope, outcome.refused, options, tally);
            Settled(options);
            Log(services, options.sent);
            break;
        case DeliveryStatus::Held:
            ++tally.held;
            if (!options.alreadyQueued) {
                session.Hold(options.attempt - 1, envelope);
            }
            if (outcome.tried || options.logUntriedHold) {
                Log(services, options.held);
            }
            break;
        case DeliveryStatus::Failed: {
            // The queue file goes to disk before the log line names the failure.
            const std::string cause = CauseOf(outcome.result);
            const QueueResult queued = QueueOrGiveUp(session, envelope, options, cause, tally);
            Settled(options);
            Log(services, options.failed, LogPriority::Warning);
            if (queued == QueueResult::GivenUp) {
                LogGivenUp(session, envelope, options, cause);
            }
            break;
        }
    }
    return outcome.status;
}

SendOptions BccPartOptions(const std::string& listName, const std::string& what) {
    const std::string prefix = listName + ": ";
    SendOptions options;
    options.partial = true;
    options.failed = prefix + what + " - failed (Attempt 1)";
    options.held = prefix + what + " - held (sending cap)";
    options.heldRecipients = options.held;
    options.refusedPrefix = prefix;
    options.requeuedPrefix = prefix + "msg to ";
    options.requeuedSuffix = " - failed (Attempt 1)";
    return options;
}

std::size_t SendInParts(DeliverySession& session, Envelope& part,
                        const std::vector<std::string>& recipients, const SendOptions& options,
                        SendTally& tally) {
    const std::size_t size = session.PartSize();
    session.Expect(size == 0 ? 1 : (recipients.size() + size - 1) / size);
    std::size_t parts = 0;
    std::size_t next = 0;
    do {
        const std::size_t count =
            size == 0 ? recipients.size() : std::min(size, recipients.size() - next);
        const auto first = recipients.begin() + static_cast<std::ptrdiff_t>(next);
        part.recipients.assign(first, first + static_cast<std::ptrdiff_t>(count));
        next += count;
        ++parts;
        SendOrQueue(session, part, options, tally);
    } while (next < recipients.size());
    return parts;
}

DeliveryStatus SendAlone(Services& services, const std::string& listName, const Envelope& envelope,
                         const SendOptions& options, SendTally& tally) {
    DeliverySession session(services, listName, 1, /*mayHold=*/false);
    return SendOrQueue(session, envelope, options, tally);
}

void SendForwarded(ScanContext& context, Services& services, const Envelope& envelope,
                   const std::string& what) {
    SendOptions options;
    options.sent = what + " - forwarded succesfully.";
    options.failed = what + " - failed (Attempt 1)";
    SendTally tally;
    SendAlone(services, context.ListName, envelope, options, tally);
    context.Counts.messagesQueued += static_cast<int>(tally.queued);
}

void SendReply(ScanContext& context, Services& services, const std::string& envelopeSender,
               std::string message) {
    const std::string& to = context.SenderAddress;
    SendOptions options;
    options.sent = context.ListName + ": i sent msg to " + to;
    options.failed = context.ListName + ": i failed msg to " + to + "(Attempt 1)";
    SendTally tally;
    SendAlone(services, context.ListName, Envelope{envelopeSender, {to}, std::move(message)},
              options, tally);
    context.Counts.answersSent += static_cast<int>(tally.sent);
    context.Counts.messagesQueued += static_cast<int>(tally.queued);
}

}  // namespace corvanteer
