#include "engine/ManualPosting.h"

#include "engine/ActivityLog.h"
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
    ApplyLogin(smtp, SmtpLogin(globals));
    smtp.From = posting.listPostingAddress;
}

void PostViaBcc(Services& services, const ManualPosting& posting, const GlobalSettings& globals,
                ManualPostingOutcome& outcome) {
    SmtpClient& smtp = services.smtp;
    services.observer.StatusText("Posting via Bcc");
    if (posting.members.empty()) {
        return;  // a message without recipients could only fail and wait in the queue
    }
    PrepareClient(smtp, posting, globals);
    smtp.SendTo = posting.members;
    smtp.OutMessage = ComposeManualPosting(posting, posting.listTo, std::nullopt,
                                           services.clock.Now(), globals.SMTPHost);
    std::string reply;
    const bool sent = SubmitMessage(services, posting.listName, reply);
    const std::string prefix = Stamp(services) + posting.listName + ": msg from " + smtp.From;
    if (sent) {
        outcome.handled = outcome.members;
        ArchiveThread(services, posting.listName, smtp.OutMessage);
        WriteLog(services, prefix + " - sent succesfully.");
        return;
    }
    if (QueueFailedMessage(services, 1, smtp.From, smtp.SendTo, smtp.OutMessage)) {
        ++outcome.queued;
    }
    WriteLog(services, prefix + " - failed (Attempt 1)");
}

void PostIndividually(Services& services, const ManualPosting& posting,
                      const GlobalSettings& globals, std::atomic<bool>& abort,
                      ManualPostingOutcome& outcome) {
    SmtpClient& smtp = services.smtp;
    const size_t count = posting.members.size();
    const std::string countText = std::to_string(count);
    PrepareClient(smtp, posting, globals);

    size_t handled = 0;
    while (handled < count) {
        const std::string& address = posting.members[handled];
        smtp.OutMessage =
            ComposeManualPosting(posting, address, handled, services.clock.Now(), globals.SMTPHost);
        PrepareClient(smtp, posting, globals);
        smtp.SendTo.assign(1, address);
        services.observer.StatusText("Posting to " + address + " (" + std::to_string(handled + 1) +
                                     "/" + countText + ")");
        std::string reply;
        if (!SubmitMessage(services, posting.listName, reply)) {
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
                           std::optional<size_t> memberIndex, const LocalTime& now,
                           const std::string& smtpHost) {
    Lines message;
    message.reserve(8 + posting.extraHeaders.size() + posting.messageLines.size() + 2);
    message.push_back("To: " + recipientText);
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
    id += "@" + smtpHost + ">";
    message.push_back(std::move(id));
    message.push_back("X-Mailer: " + MailerName());
    for (const std::string& line : posting.extraHeaders) {
        if (IsAllowedExtraHeader(line)) {
            message.push_back(line);
        }
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
    if (posting.postingMethod == 0) {
        PostViaBcc(services, posting, globals, outcome);
    } else if (posting.postingMethod == 1) {
        PostIndividually(services, posting, globals, abort, outcome);
    }
    abort.store(false);
    services.observer.StatusText("Finished posting");
    return outcome;
}

}  // namespace corvanteer
