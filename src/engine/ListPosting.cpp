#include "engine/ListPosting.h"

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/FileVersion.h"
#include "engine/ListHeaders.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PendingQueue.h"
#include "engine/ThreadArchive.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// Composes the copies of one posting. The parts every copy shares are built once; a copy
// differs only in its To line and in the standard block (whose Date and Message-ID follow the
// clock, as for a posting composed anew). The signature and the extra headers are read again
// only when the list data file has changed since they were read.
class PostingComposer {
public:
    // One Message-ID tag for all copies: the copies of one posting composed in the same
    // second carry the same Message-ID.
    PostingComposer(const ScanContext& context, Services& services, const Lines& body)
        : context_(context),
          services_(services),
          body_(body),
          globals_(services.console.Globals()),
          idTag_(MessageIdTag(services.random)) {}

    // The posting with "To: " + toValue, in message (which may hold the previous copy).
    void Compose(Lines& message, const std::string& toValue) {
        const FileVersion version = VersionOf(context_.ListDataFile);
        if (!composed_ || !(version == version_)) {
            version_ = version;
            ReadListTexts();
            BuildMessage(message);
            composed_ = true;
        } else {
            Lines block = StandardHeaderBlock(context_, services_.clock, globals_.SMTPHost, idTag_);
            for (size_t i = 0; i < block.size(); ++i) {
                if (message[kBlockStart + i] != block[i]) {
                    message[kBlockStart + i] = std::move(block[i]);
                }
            }
        }
        message[0] = "To: " + toValue;
    }

private:
    static constexpr size_t kBlockStart = 4;  // after To, From, Reply-To, Subject

    void ReadListTexts() {
        signature_ = ReadSection(context_.ListDataFile, "Signature");
        extraHeaders_.clear();
        for (auto& line : TextToLines(ReadSection(context_.ListDataFile, "ExtraHeaders"))) {
            if (IsAllowedExtraHeader(line)) {
                extraHeaders_.push_back(std::move(line));
            }
        }
        listHeaders_.clear();
        if (context_.Settings.ListHeaders) {
            const ListSettings& settings = context_.Settings;
            listHeaders_ =
                ListHeaderLines(ListHeaderValues{context_.ListName, settings.ListPostingAddress,
                                                 globals_.ListServerAddress, settings.AllowPostBy,
                                                 settings.AllowUserSubscribe},
                                extraHeaders_);
        }
    }

    void BuildMessage(Lines& message) const {
        const ListSettings& settings = context_.Settings;
        message.clear();
        message.reserve(kBlockStart + 6 + extraHeaders_.size() + listHeaders_.size() + 1 +
                        body_.size() + 1);
        message.push_back("To: ");
        if (settings.HideSenderEmail) {
            message.push_back("From: " + context_.SenderName + " <" +
                              Trim(settings.ChangeSenderEmailTo) + ">");
        } else {
            message.push_back("From: " + context_.SenderName + " <" + context_.SenderAddress + ">");
        }
        message.push_back("Reply-To: " + settings.ListPostingAddress);
        message.push_back("Subject: " + context_.Subject);
        Lines block = StandardHeaderBlock(context_, services_.clock, globals_.SMTPHost, idTag_);
        message.insert(message.end(), std::make_move_iterator(block.begin()),
                       std::make_move_iterator(block.end()));
        message.insert(message.end(), extraHeaders_.begin(), extraHeaders_.end());
        // After everything the posting carried before, so that block stays as it was.
        message.insert(message.end(), listHeaders_.begin(), listHeaders_.end());
        message.push_back("");
        message.insert(message.end(), body_.begin(), body_.end());
        // One entry, however many lines the signature has.
        message.push_back(signature_);
    }

    const ScanContext& context_;
    Services& services_;
    const Lines& body_;
    const GlobalSettings globals_;
    const std::string idTag_;
    bool composed_ = false;
    FileVersion version_;
    std::string signature_;
    Lines extraHeaders_;
    Lines listHeaders_;
};

void PostViaBcc(ScanContext& context, Services& services, const Lines& body) {
    SmtpClient& smtp = services.smtp;
    PostingComposer composer(context, services, body);
    Lines message;
    // A To line needs an address: without a ListTo the posting names the list itself.
    const ListSettings& settings = context.Settings;
    composer.Compose(message,
                     Trim(settings.ListTo).empty() ? settings.ListPostingAddress : settings.ListTo);

    context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
    smtp.From = context.Settings.ListPostingAddress;
    Lines recipients;
    recipients.reserve(context.Roster.size());
    for (const auto& entry : context.Roster.Items()) {
        recipients.emplace_back(MemberEntry::AddressOf(entry));
    }
    smtp.OutMessage = std::move(message);
    services.observer.StatusText("Posting via Bcc");

    // Every part is the same message; only the envelope differs.
    DeliverySession session(services, context.ListName, 1);
    const BccOutcome outcome = DeliverBccParts(session, context.ListName, recipients);
    outcome.last.DescribeReply(context.LastSmtpReply);
    context.Counts.postingsSent += static_cast<int>(outcome.sent);
    context.Counts.messagesQueued += static_cast<int>(outcome.queued);
    // The posting is archived once when it went out, or is held to go out later.
    if (outcome.sent + outcome.held > 0) {
        ArchiveThread(services, context.ListName, smtp.OutMessage);
    }
    if (outcome.sent == outcome.parts) {
        WriteLog(services, Stamp(services) + context.ListName + ": msg from " + smtp.From +
                               " - sent succesfully.");
    }
}

void PostIndividually(ScanContext& context, Services& services, const Lines& body) {
    SmtpClient& smtp = services.smtp;
    context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
    const size_t count = context.Roster.size();
    const std::string countText = std::to_string(count);
    // Set before the loop so the summary names the list's address even for no members.
    smtp.From = context.Settings.ListPostingAddress;

    PostingComposer composer(context, services, body);
    Lines message;
    DeliverySession session(services, context.ListName, count);
    bool heldLogged = false;
    size_t handled = 0;
    for (; handled < count; ++handled) {
        const std::string& entry = context.Roster[handled];
        const std::string address(MemberEntry::AddressOf(entry));
        composer.Compose(message, address);

        smtp.From = context.Settings.ListPostingAddress;
        smtp.SendTo.assign(1, address);
        smtp.OutMessage = message;  // reuses the previous copy's buffers
        services.observer.StatusText("Posting to " + entry + " (" + std::to_string(handled + 1) +
                                     "/" + countText + ")");
        const DeliveryOutcome outcome = session.Deliver(false);
        outcome.DescribeReply(context.LastSmtpReply);
        if (outcome.status == DeliveryStatus::Sent) {
            ++context.Counts.postingsSent;
            continue;
        }
        if (outcome.status == DeliveryStatus::Held) {
            session.Hold(0, smtp.From, smtp.SendTo, smtp.OutMessage);
            // The line names no member, so one says it for all the copies held.
            if (!heldLogged) {
                WriteLog(services, Stamp(services) + context.ListName + ": msg from " + smtp.From +
                                       " - held (sending cap)");
                heldLogged = true;
            }
            continue;
        }
        if (QueueFailedMessage(services, 1, smtp.From, smtp.SendTo, smtp.OutMessage)) {
            ++context.Counts.messagesQueued;
        }
        WriteLog(services, Stamp(services) + context.ListName + ": msg to " + address +
                               " - failed (Ateempt 1)");
    }

    // The last member's copy stands for the posting; with no members nothing was composed.
    if (count > 0) {
        ArchiveThread(services, context.ListName, smtp.OutMessage);
    }
    WriteLog(services, Stamp(services) + context.ListName + ": msg from " + smtp.From +
                           " - sent to " + std::to_string(handled) + " of " + countText +
                           " members.");
}

}  // namespace

void PostToList(ScanContext& context, Services& services, const Lines& body, int method) {
    if (method == 0) {
        PostViaBcc(context, services, body);
    } else if (method == 1) {
        PostIndividually(context, services, body);
    }
    services.observer.StatusText("Finished posting.");
}

}  // namespace corvanteer
