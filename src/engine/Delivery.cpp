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

void DeliveryOutcome::DescribeReply(std::string& reply) const {
    if (tried || status != DeliveryStatus::Held) {
        TakeDescribedReply(SmtpResult(result), reply);
    }
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
    WriteLog(services_, Stamp(services_) + (listName_.empty() ? "" : listName_ + ": ") + text);
    services_.observer.StatusText(text);
}

DeliveryOutcome DeliverySession::Deliver(bool partial) {
    SmtpClient& smtp = services_.smtp;
    if (mayHold_ && (holding_ || !caps_.Allows(smtp.SendTo.size()))) {
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
        SmtpTransaction tx = smtp.Transact(partial);
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
            caps_.Count(smtp.SendTo.size() - outcome.refused.size());
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

void DeliverySession::Hold(int attempts, const std::string& from, const Lines& sendTo,
                           const Lines& message) {
    HoldQueuedMessage(services_, QueuedMessage{attempts, from, sendTo, message}, holdSequence_);
}

BccOutcome DeliverBccParts(DeliverySession& session, const std::string& listName,
                           const Lines& recipients) {
    Services& services = session.services();
    SmtpClient& smtp = services.smtp;
    const std::size_t size = session.PartSize();
    session.Expect(size == 0 ? 1 : (recipients.size() + size - 1) / size);
    BccOutcome outcome;
    const std::string prefix = listName + ": ";
    std::size_t next = 0;
    do {
        const std::size_t count =
            size == 0 ? recipients.size() : std::min(size, recipients.size() - next);
        const auto first = recipients.begin() + static_cast<std::ptrdiff_t>(next);
        smtp.SendTo.assign(first, first + static_cast<std::ptrdiff_t>(count));
        next += count;
        ++outcome.parts;

        outcome.last = session.Deliver(true);
        const DeliveryOutcome& part = outcome.last;
        const std::string from = prefix + "msg from " + smtp.From;
        if (part.status == DeliveryStatus::Failed) {
            if (QueueFailedMessage(services, 1, smtp.From, smtp.SendTo, smtp.OutMessage)) {
                ++outcome.queued;
            }
            WriteLog(services, Stamp(services) + from + " - failed (Attempt 1)");
            continue;
        }
        if (part.status == DeliveryStatus::Held) {
            session.Hold(0, smtp.From, smtp.SendTo, smtp.OutMessage);
            ++outcome.held;
            WriteLog(services, Stamp(services) + from + " - held (sending cap)");
            continue;
        }
        ++outcome.sent;
        outcome.sentRecipients += smtp.SendTo.size();
        Lines heldRecipients;
        for (const RecipientRefusal& refusal : part.refused) {
            if (IsOverLimitReply(refusal.reply)) {
                heldRecipients.push_back(refusal.address);
            } else if (IsPermanentReply(refusal.reply)) {
                WriteLog(services, Stamp(services) + prefix + refusal.address +
                                       " refused by the SMTP server: " + refusal.reply);
            } else {
                if (QueueFailedMessage(services, 1, smtp.From, {refusal.address},
                                       smtp.OutMessage)) {
                    ++outcome.queued;
                }
                WriteLog(services, Stamp(services) + prefix + "msg to " + refusal.address +
                                       " - failed (Attempt 1)");
            }
        }
        if (!heldRecipients.empty()) {
            session.Hold(0, smtp.From, heldRecipients, smtp.OutMessage);
            WriteLog(services, Stamp(services) + from + " - held (sending cap)");
        }
    } while (next < recipients.size());
    return outcome;
}

}  // namespace corvanteer
