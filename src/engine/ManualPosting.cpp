#include "engine/ManualPosting.h"

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/ListHeaders.h"
#include "engine/MailConnections.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PendingQueue.h"
#include "engine/ThreadArchive.h"
#include "support/DateTime.h"
#include "support/HeaderFields.h"

namespace corvanteer {

namespace {

void PrepareClient(SmtpClient& smtp, const ManualPosting& posting, const GlobalSettings& globals) {
    smtp.HostAddress = globals.SMTPHost;
    smtp.Port = globals.SMTPPort;
    smtp.Security = SmtpSecurity(globals);
    smtp.From = posting.listPostingAddress;
}

ManualPostingStamp PostingStamp(Services& services, const GlobalSettings& globals,
                                const std::string& idTag) {
    return ManualPostingStamp{services.clock.Now(), globals.SMTPHost, globals.ListServerAddress,
                              idTag};
}

void PostViaBcc(Services& services, const ManualPosting& posting, const GlobalSettings& globals,
                const std::string& idTag, ManualPostingOutcome& outcome) {
    SmtpClient& smtp = services.smtp;
    services.observer.StatusText("Posting via Bcc");
    if (posting.members.empty()) {
        return;  // a message without recipients could only fail and wait in the queue
    }
    PrepareClient(smtp, posting, globals);
    smtp.OutMessage = ComposeManualPosting(posting, posting.listTo, std::nullopt,
                                           PostingStamp(services, globals, idTag));
    DeliverySession session(services, posting.listName, 1);
    const BccOutcome parts = DeliverBccParts(session, posting.listName, posting.members);
    outcome.queued += parts.queued;
    outcome.held += parts.held;
    outcome.handled = parts.sentRecipients;
    if (parts.sent + parts.held > 0) {
        ArchiveThread(services, posting.listName, smtp.OutMessage);
    }
    if (parts.sent == parts.parts) {
        WriteLog(services, Stamp(services) + posting.listName + ": msg from " + smtp.From +
                               " - sent succesfully.");
    }
}

void PostIndividually(Services& services, const ManualPosting& posting,
                      const GlobalSettings& globals, const std::string& idTag,
                      std::atomic<bool>& abort, ManualPostingOutcome& outcome) {
    SmtpClient& smtp = services.smtp;
    const size_t count = posting.members.size();
    const std::string countText = std::to_string(count);
    PrepareClient(smtp, posting, globals);
    DeliverySession session(services, posting.listName, count);
    bool heldLogged = false;

    size_t handled = 0;
    while (handled < count) {
        const std::string& address = posting.members[handled];
        smtp.OutMessage =
            ComposeManualPosting(posting, address, handled, PostingStamp(services, globals, idTag));
        PrepareClient(smtp, posting, globals);
        smtp.SendTo.assign(1, address);
        services.observer.StatusText("Posting to " + address + " (" + std::to_string(handled + 1) +
                                     "/" + countText + ")");
        const DeliveryOutcome copy = session.Deliver(false);
        if (copy.status == DeliveryStatus::Held) {
            session.Hold(0, smtp.From, smtp.SendTo, smtp.OutMessage);
            ++outcome.held;
            if (!heldLogged) {
                WriteLog(services, Stamp(services) + posting.listName + ": msg from " + smtp.From +
                                       " - held (sending cap)");
                heldLogged = true;
            }
        } else if (copy.status == DeliveryStatus::Failed) {
            if (QueueFailedMessage(services, 1, smtp.From, smtp.SendTo, smtp.OutMessage)) {
                ++outcome.queued;
            }
            WriteLog(services, Stamp(services) + posting.listName + ": msg to " + address +
                                   " - failed (Attempt 1)");
        }
        ++handled;
        if (abort.load()) {
            outcome.aborted = true;
            break;
        }
    }
    outcome.handled = handled;

    // The last member's copy stands for the posting; an aborted or empty run archives nothing.
    if (!outcome.aborted && count > 0) {
        ArchiveThread(services, posting.listName, smtp.OutMessage);
    }
    WriteLog(services, Stamp(services) + posting.listName + ": msg from " + smtp.From +
                           " - sent to " + std::to_string(handled) + " of " + countText +
                           " members.");
}

}  // namespace

Lines ComposeManualPosting(const ManualPosting& posting, const std::string& recipientText,
                           std::optional<size_t> memberIndex, const ManualPostingStamp& stamp) {
    const LocalTime& now = stamp.now;
    Lines message;
    message.reserve(14 + posting.extraHeaders.size() + posting.messageLines.size() + 2);
    // A To line needs an address: without one the posting names the list itself.
    message.push_back("To: " +
                      (Trim(recipientText).empty() ? posting.listPostingAddress : recipientText));
    if (posting.hideSenderEmail) {
        message.push_back("From: " + ExtractDisplayName(posting.from) + " <" +
                          Trim(posting.changeSenderEmailTo) + ">");
    } else {
        message.push_back("From: " + Trim(posting.from));
    }
    message.push_back("Reply-To: " + posting.listPostingAddress);
    message.push_back("Subject: " + posting.subject);
    message.push_back("Date: " + Rfc822Date(now));
    // The member index follows the time stamp, so copies of one second differ.
    std::string id = "Message-ID: <Corvanteer-" + posting.pop3Host + "-" + Stamp14(now);
    if (memberIndex) {
        id += std::to_string(*memberIndex);
    }
    id += stamp.idTag + "@" + stamp.smtpHost + ">";
    message.push_back(std::move(id));
    message.push_back("X-Mailer: " + MailerName());
    Lines extraHeaders;
    for (const std::string& line : posting.extraHeaders) {
        if (IsAllowedExtraHeader(line)) {
            extraHeaders.push_back(line);
        }
    }
    message.insert(message.end(), extraHeaders.begin(), extraHeaders.end());
    if (posting.listHeaders) {
        const Lines listHeaders = ListHeaderLines(
            ListHeaderValues{posting.listName, posting.listPostingAddress, stamp.listServerAddress,
                             posting.allowPostBy, posting.allowUserSubscribe},
            extraHeaders);
        message.insert(message.end(), listHeaders.begin(), listHeaders.end());
    }
    message.push_back("");
    message.insert(message.end(), posting.messageLines.begin(), posting.messageLines.end());
    message.push_back(posting.signature);
    return message;
}

ManualPostingOutcome PostManualMessage(Services& services, const ManualPosting& posting,
                                       std::atomic<bool>& abort) {
    abort.store(false);
    const GlobalSettings globals = services.console.Globals();
    ManualPostingOutcome outcome;
    outcome.members = posting.members.size();
    // One tag for the run: its copies differ by the member index, as they always did.
    const std::string idTag = MessageIdTag(services.random);
    if (posting.postingMethod == 0) {
        PostViaBcc(services, posting, globals, idTag, outcome);
    } else if (posting.postingMethod == 1) {
        PostIndividually(services, posting, globals, idTag, abort, outcome);
    }
    abort.store(false);
    services.observer.StatusText("Finished posting");
    return outcome;
}

}  // namespace corvanteer
