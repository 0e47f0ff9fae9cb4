#include "engine/Delivery.h"

#include <utility>

#include "engine/ActivityLog.h"
#include "engine/MailConnections.h"
#include "engine/PendingQueue.h"
#include "transport/SmtpReplies.h"

namespace corvanteer {

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
        const bool fresh = !smtp.SessionOpen();
        if (fresh) {
            if (connections_ > 0) {
                // A server that drops every connection at once is not asked again and again.
                if (reconnections_ > 0 && sentOnConnection_ == 0) {
                    dead_ = true;
                    deadResult_.error = Fail(MailFailure::Connection,
                                             "the SMTP server ended the connection "
                                             "again without taking a message");
                    return NotTried(DeliveryStatus::Failed);
                }
                ++reconnections_;
            }
            ++connections_;
            sentOnConnection_ = 0;
        }
        SmtpTransaction tx = smtp.Transact(envelope, partial);
        ReportProtectionFailure(tx.result.error);
        DeliveryOutcome outcome;
        if (tx.ok()) {
            ++sentOnConnection_;
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
        const bool retry = !fresh && !overLimit && !smtp.SessionOpen() && !tx.dataSent &&
                           !tx.connectionPhase && tx.result.error.kind != MailFailure::Input;
        if (retry) {
            continue;  // the connection had ended before this message: once more on a new one
        }
        outcome.result = std::move(tx.result);
        if (overLimit) {
            holding_ = true;
            outcome.status = DeliveryStatus::Held;
            return outcome;
        }
        if (tx.connectionPhase) {
            dead_ = true;
            deadResult_ = outcome.result;
        }
        outcome.status = DeliveryStatus::Failed;
        return outcome;
    }
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
            if (QueueFailedMessage(services, options.attempt,
                                   Envelope{envelope.from, {refusal.address}, envelope.message})) {
                ++tally.queued;
            }
            if (!options.requeuedPrefix.empty()) {
                Log(services, options.requeuedPrefix + refusal.address + options.requeuedSuffix,
                    LogPriority::Warning);
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
        case DeliveryStatus::Failed:
            // The queue file goes to disk before the log line names the failure.
            if (QueueFailedMessage(services, options.attempt, envelope)) {
                ++tally.queued;
            }
            Settled(options);
            Log(services, options.failed, LogPriority::Warning);
            break;
    }
    return outcome.status;
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
