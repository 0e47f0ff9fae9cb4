#include "engine/ManualPosting.h"

#include <utility>

#include "engine/ListHeaders.h"
#include "engine/MailConnections.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PostingDelivery.h"
#include "engine/PostingFrom.h"
#include "engine/archive/PostingArchive.h"
#include "engine/bounce/BounceHandling.h"
#include "engine/bounce/MemberToken.h"
#include "engine/digest/DigestDelivery.h"
#include "engine/digest/DigestStore.h"
#include "engine/mime/Decoration.h"
#include "engine/mime/HeaderText.h"
#include "support/DateTime.h"
#include "support/HeaderFields.h"

namespace corvanteer {

namespace {

// Every line of the header as it may go out: no raw 8-bit byte, none over 998 octets.
void AppendHeaderLine(std::string& out, std::string_view line) {
    AppendCrLfLine(out, mime::OutgoingHeaderLine(line));
}

// The parts of a manual posting every copy shares, built once; a copy adds its To line, Date
// and Message-ID.
class ManualParts {
public:
    ManualParts(const ManualPosting& posting, const std::string& listServerAddress)
        : posting_(posting) {
        AppendHeaderLine(head_,
                         ManualFromLine(posting.from, posting.hideSenderEmail,
                                        posting.changeSenderEmailTo, posting.listPostingAddress));
        AppendHeaderLine(head_, "Reply-To: " + posting.listPostingAddress);
        AppendHeaderLine(head_, "Subject: " + posting.subject);

        // The text as the operator wrote it, with the signature where mail programs show it:
        // 7-bit text keeps the described layout (no MIME lines).
        std::string text = "\r\n";
        for (const std::string& line : posting.messageLines) {
            AppendCrLfLine(text, line);
        }
        const mime::DecoratedBody body = mime::DecorateBody(text, posting.signature);

        AppendCrLfLine(tail_, "X-Mailer: " + MailerName());
        const mime::BodyFields& fields = body.fields;
        for (const auto& [name, value] :
             {std::pair{"MIME-Version: ", &fields.mimeVersion},
              std::pair{"Content-Type: ", &fields.contentType},
              std::pair{"Content-Transfer-Encoding: ", &fields.contentTransferEncoding}}) {
            if (!value->empty()) {
                AppendHeaderLine(tail_, name + *value);
            }
        }
        Lines extraHeaders;
        for (const std::string& line : posting.extraHeaders) {
            if (IsAllowedExtraHeader(line)) {
                extraHeaders.push_back(line);
                AppendHeaderLine(tail_, line);
            }
        }
        if (posting.listHeaders) {
            const Lines listHeaders = ListHeaderLines(
                ListHeaderValues{posting.listName, posting.listPostingAddress, listServerAddress,
                                 posting.allowPostBy, posting.allowUserSubscribe},
                extraHeaders);
            for (const std::string& line : listHeaders) {
                AppendHeaderLine(tail_, line);
            }
        }
        body_ = "\r\n";
        body_ += body.body;
    }

    // archiveStamp: the stamp of the message the archive keeps (the Bcc form), whose page the
    // Archived-At line names.
    void Compose(std::string& message, const std::string& recipientText,
                 std::optional<size_t> memberIndex, const ManualPostingStamp& stamp,
                 const ManualPostingStamp& archiveStamp) const {
        message.clear();
        message.reserve(recipientText.size() + head_.size() + 256 + tail_.size() + body_.size());
        // A To line needs an address: without one the posting names the list itself.
        AppendHeaderLine(
            message,
            "To: " + (Trim(recipientText).empty() ? posting_.listPostingAddress : recipientText));
        message += head_;
        AppendCrLfLine(message, "Date: " + Rfc822Date(stamp.now));
        AppendCrLfLine(message, "Message-ID: " + MessageId(memberIndex, stamp));
        message += tail_;
        for (const std::string& line : archive::ArchiveHeaderLines(
                 posting_.archiveBaseUrl, MessageId(std::nullopt, archiveStamp))) {
            AppendHeaderLine(message, line);
        }
        message += body_;
    }

private:
    // The member index follows the time stamp, so copies of one second differ.
    std::string MessageId(std::optional<size_t> memberIndex,
                          const ManualPostingStamp& stamp) const {
        std::string id = "<Corvanteer-" + posting_.pop3Host + "-" + Stamp14(stamp.now);
        if (memberIndex) {
            id += std::to_string(*memberIndex);
        }
        return id + stamp.idTag + "@" + stamp.smtpHost + ">";
    }

    const ManualPosting& posting_;
    std::string head_;  // From, Reply-To, Subject
    std::string tail_;  // X-Mailer, MIME lines, extra and list headers
    std::string body_;  // the empty line, body and signature
};

class ManualComposer final : public PostingComposer {
public:
    ManualComposer(Services& services, const ManualPosting& posting, const GlobalSettings& globals,
                   std::string idTag)
        : services_(services),
          posting_(posting),
          globals_(globals),
          idTag_(std::move(idTag)),
          parts_(posting, globals.ListServerAddress) {}

    void ComposeBcc(std::string& message) override {
        const ManualPostingStamp stamp = Stamp();
        parts_.Compose(message, posting_.listTo, std::nullopt, stamp, ArchiveStamp(stamp));
    }
    void ComposeCopy(std::string& message, const std::string& address, std::size_t index) override {
        const ManualPostingStamp stamp = Stamp();
        parts_.Compose(message, address, index, stamp, ArchiveStamp(stamp));
        if (!posting_.memberTokenKey.empty()) {
            // The member's own line ends the header.
            const size_t end = message.find("\r\n\r\n");
            if (end != std::string::npos) {
                message.insert(end + 2, std::string(bounce::kMemberHeaderName) + ": " +
                                            bounce::MemberToken(posting_.memberTokenKey,
                                                                posting_.listName, address) +
                                            "\r\n");
            }
        }
    }
    // The posting as the archive keeps it: the Bcc form at the moment of the first message
    // composed, whose page every copy's Archived-At line names.
    void ComposeArchiveCopy(std::string& message) {
        const ManualPostingStamp stamp = ArchiveStamp(Stamp());
        parts_.Compose(message, posting_.listTo, std::nullopt, stamp, stamp);
    }

private:
    const ManualPostingStamp& ArchiveStamp(const ManualPostingStamp& now) {
        if (!archiveStamp_) {
            archiveStamp_ = now;
        }
        return *archiveStamp_;
    }

    ManualPostingStamp Stamp() const {
        return ManualPostingStamp{services_.clock.Now(), globals_.SMTPHost,
                                  globals_.ListServerAddress, idTag_};
    }

    Services& services_;
    const ManualPosting& posting_;
    const GlobalSettings& globals_;
    const std::string idTag_;
    ManualParts parts_;
    std::optional<ManualPostingStamp> archiveStamp_;  // of the first message composed
};

}  // namespace

std::string ComposeManualPosting(const ManualPosting& posting, const std::string& recipientText,
                                 std::optional<size_t> memberIndex,
                                 const ManualPostingStamp& stamp) {
    std::string message;
    ManualParts(posting, stamp.listServerAddress)
        .Compose(message, recipientText, memberIndex, stamp, stamp);
    return message;
}

ManualPostingOutcome PostManualMessage(Services& services, const ManualPosting& posting,
                                       std::atomic<bool>& abort) {
    abort.store(false);
    const GlobalSettings globals = services.console.Globals();
    ManualPostingOutcome outcome;
    bool archived = false;
    outcome.members = posting.members.size();
    // One tag for the run: its copies differ by the member index, as they always did.
    const std::string idTag = MessageIdTag(services.random);
    if (posting.postingMethod == 0 && posting.members.empty()) {
        // A message without recipients could only fail and wait in the queue.
        services.observer.StatusText("Posting via Bcc");
    } else if (posting.postingMethod == 0 || posting.postingMethod == 1) {
        services.smtp.Server = SmtpServerFromSettings(globals);
        ManualComposer composer(services, posting, globals, idTag);
        PostingPlan plan;
        plan.listName = posting.listName;
        plan.method = posting.postingMethod;
        plan.from = posting.listPostingAddress;
        // Members who take digests or no mail get no copy of their own, as for a list posting.
        const PostingShare share = SharePosting(services, posting.listName, posting.members);
        plan.recipients = share.each;
        plan.leftOut = share.leftOut;
        plan.abort = &abort;
        std::vector<RecipientRefusal> refused;
        PostingHooks hooks;
        if (!posting.memberTokenKey.empty()) {
            hooks.refusedForGood = [&](const RecipientRefusal& refusal) {
                refused.push_back(refusal);
            };
        }
        std::string archiveCopy;
        hooks.distributed = [&](const std::string& message) {
            // Of individual copies, the archive keeps the posting without a member's lines.
            if (posting.postingMethod == 1) {
                composer.ComposeArchiveCopy(archiveCopy);
            }
            if (archive::KeepDistributedPosting(services, posting.listName,
                                                posting.postingMethod == 1 ? archiveCopy : message,
                                                plan.from)) {
                archived = true;
            }
        };
        const PostingOutcome delivered = DeliverPosting(services, plan, composer, hooks);
        if (!refused.empty()) {
            bounce::ChargeRefusedRecipients(
                services,
                bounce::ListInHand{
                    posting.listName, posting.listName,
                    services.paths.ListDataFile(posting.listName),
                    LoadListSettings(services.store, services.paths.ListKey(posting.listName))},
                refused);
        }
        outcome.members = share.each.size();
        if (share.digest && !delivered.aborted) {
            std::string message;
            composer.ComposeBcc(message);
            DigestStore(services.paths, posting.listName).Collect(message);
        }
        outcome.handled = delivered.handled;
        outcome.queued = delivered.queued;
        outcome.held = delivered.held;
        outcome.aborted = delivered.aborted;
        outcome.notes = delivered.notes;
    }
    abort.store(false);
    if (archived) {
        archive::BuildPostedArchives(services, {posting.listName});
    }
    services.observer.StatusText("Finished posting");
    return outcome;
}

}  // namespace corvanteer
