#include "engine/ListPosting.h"

#include <string>
#include <unordered_set>
#include <vector>

#include "engine/FileVersion.h"
#include "engine/ListHeaders.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PostingDelivery.h"
#include "engine/PostingFrom.h"
#include "engine/RequestRules.h"
#include "engine/archive/PostingArchive.h"
#include "engine/bounce/BounceHandling.h"
#include "engine/bounce/MemberDelivery.h"
#include "engine/bounce/MemberToken.h"
#include "engine/digest/DigestDelivery.h"
#include "engine/digest/DigestStore.h"
#include "engine/mime/Decoration.h"
#include "engine/mime/HeaderText.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// Every line of the header as it may go out: no raw 8-bit byte, none over 998 octets.
void AppendHeaderLine(std::string& out, std::string_view line) {
    AppendCrLfLine(out, mime::OutgoingHeaderLine(line));
}

// Composes the messages of one posting. The parts every copy shares are built once; a copy
// differs only in its To line and in the standard block (whose Date and Message-ID follow the
// clock, as for a posting composed anew). The body is decorated with the signature once; the
// signature and the extra headers are read again (and the body decorated again) only when the
// list data file has changed since they were read.
class ListPostingComposer final : public PostingComposer {
public:
    // One Message-ID tag for all copies: the copies of one posting composed in the same
    // second carry the same Message-ID. The posting is the incoming message's header lines
    // (the context's) and body. tokenKey and tokenList: the member token of each individual
    // copy (MemberToken.h); an empty key: copies carry none.
    ListPostingComposer(const ScanContext& context, Services& services, std::string_view body,
                        std::string tokenKey, std::string tokenList)
        : context_(context),
          services_(services),
          globals_(services.console.Globals()),
          idTag_(MessageIdTag(services.random)),
          tokenKey_(std::move(tokenKey)),
          tokenList_(std::move(tokenList)) {
        const ListSettings& settings = context.Settings;
        AppendHeaderLine(
            head_, PostingFromLine(
                       context.SenderName,
                       ShownSenderAddress(settings.HideSenderEmail, settings.ChangeSenderEmailTo,
                                          context.SenderAddress, settings.ListPostingAddress)));
        AppendHeaderLine(head_, "Reply-To: " + settings.ListPostingAddress);
        AppendHeaderLine(head_, "Subject: " + context.Subject);
        for (const std::string& line : context.HeaderLines) {
            if (line.empty()) {
                break;
            }
            AppendCrLfLine(posting_, line);
        }
        posting_ += "\r\n";
        AppendCrLfLines(posting_, body);
    }

    void ComposeBcc(std::string& message) override { Compose(message, ListToValue(), false); }

    // The copy's token names the member when a report of its failure comes back from
    // another address (a forwarding one).
    void ComposeCopy(std::string& message, const std::string& address, std::size_t) override {
        memberLine_.clear();
        if (!tokenKey_.empty()) {
            AppendCrLfLine(memberLine_, std::string(bounce::kMemberHeaderName) + ": " +
                                            bounce::MemberToken(tokenKey_, tokenList_, address));
        }
        Compose(message, address, false);
        memberLine_.clear();
    }

    // The posting as the archive keeps it: the Bcc message (To names the list, no line for
    // one member) with the Date and Message-ID of the first message composed, which the
    // Archived-At line of every copy names.
    void ComposeArchiveCopy(std::string& message) { Compose(message, ListToValue(), true); }

private:
    // A To line needs an address: without a ListTo the posting names the list itself.
    std::string ListToValue() const {
        const ListSettings& settings = context_.Settings;
        return Trim(settings.ListTo).empty() ? settings.ListPostingAddress : settings.ListTo;
    }

    // To, From, Reply-To, Subject, the standard block, the allowed extra headers, the list
    // headers, the archive headers, the member token of an individual copy; the empty line,
    // the body and the signature.
    void Compose(std::string& message, const std::string& toValue, bool firstStamp) {
        const FileVersion version = VersionOf(context_.ListDataFile);
        if (!read_ || !(version == version_)) {
            version_ = version;
            ReadListTexts();
            read_ = true;
        }
        Lines block = StandardHeaderBlock(context_, services_.clock, globals_.SMTPHost, idTag_,
                                          decorated_.fields);
        KeepFirstStamp(block, firstStamp);
        message.clear();
        message.reserve(toValue.size() + head_.size() + 512 + headerTail_.size() +
                        archiveLines_.size() + decorated_.body.size() + 2);
        AppendHeaderLine(message, "To: " + toValue);
        message += head_;
        for (const std::string& line : block) {
            AppendHeaderLine(message, line);
        }
        message += headerTail_;
        message += archiveLines_;
        message += memberLine_;
        message += "\r\n";
        message += decorated_.body;
    }

    // The first block composed gives the posting's Date and Message-ID, and so its archive
    // page; with firstStamp the block takes them back.
    void KeepFirstStamp(Lines& block, bool firstStamp) {
        for (std::string& line : block) {
            for (auto [name, kept] :
                 {std::pair{"Date: ", &firstDate_}, std::pair{"Message-ID: ", &firstMessageId_}}) {
                if (!StartsWith(line, name)) {
                    continue;
                }
                if (!stamped_) {
                    *kept = line;
                } else if (firstStamp) {
                    line = *kept;
                }
            }
        }
        if (!stamped_) {
            stamped_ = true;
            archiveLines_.clear();
            const std::string_view id =
                StartsWith(firstMessageId_, "Message-ID: ")
                    ? std::string_view(firstMessageId_).substr(sizeof("Message-ID: ") - 1)
                    : std::string_view();
            for (const std::string& line :
                 archive::ArchiveHeaderLines(context_.Settings.ArchiveBaseURL, id)) {
                AppendHeaderLine(archiveLines_, line);
            }
        }
    }

    void ReadListTexts() {
        // The signature goes where mail programs show it; without MIME lines the body lines
        // and the signature as one entry (an empty one is one empty line), as always.
        decorated_ = mime::DecorateBody(posting_, ReadSection(context_.ListDataFile, "Signature"));
        Lines extraHeaders;
        for (auto& line : TextToLines(ReadSection(context_.ListDataFile, "ExtraHeaders"))) {
            if (IsAllowedExtraHeader(line)) {
                extraHeaders.push_back(std::move(line));
            }
        }
        headerTail_.clear();
        for (const std::string& line : extraHeaders) {
            AppendHeaderLine(headerTail_, line);
        }
        // After everything the posting carried before, so that block stays as it was.
        if (context_.Settings.ListHeaders) {
            const ListSettings& settings = context_.Settings;
            const Lines listHeaders =
                ListHeaderLines(ListHeaderValues{context_.ListName, settings.ListPostingAddress,
                                                 globals_.ListServerAddress, settings.AllowPostBy,
                                                 settings.AllowUserSubscribe},
                                extraHeaders);
            for (const std::string& line : listHeaders) {
                AppendHeaderLine(headerTail_, line);
            }
        }
    }

    const ScanContext& context_;
    Services& services_;
    const GlobalSettings globals_;
    const std::string idTag_;
    std::string head_;               // From, Reply-To, Subject
    std::string posting_;            // the incoming header lines, the empty line and the body
    bool read_ = false;              // the list texts below were read
    FileVersion version_;            // of the list data file when they were read
    std::string headerTail_;         // the allowed extra headers and the list headers
    mime::DecoratedBody decorated_;  // the body with the signature, and its MIME fields
    bool stamped_ = false;           // the first message was composed
    std::string firstDate_;          // its Date and Message-ID lines
    std::string firstMessageId_;
    std::string archiveLines_;  // List-Archive and Archived-At, when the archive is published
    const std::string tokenKey_;
    const std::string tokenList_;
    std::string memberLine_;  // the token line of the copy being composed
};

}  // namespace

PostingOutcome PostToList(ScanContext& context, Services& services, std::string_view body,
                          int method) {
    PostingOutcome outcome;
    if (method == 0 || method == 1) {
        const bounce::ListInHand hand = bounce::ListInHandOf(context, services);
        const bool bounces = context.Settings.BounceProcessing;
        std::string tokenKey;
        if (bounces && method == 1) {
            tokenKey = bounce::MemberTokenKey(services.store, services.paths.SettingsKey());
        }
        ListPostingComposer composer(context, services, body, tokenKey, hand.list);
        context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
        // Members whose delivery is disabled (their mail kept coming back) are left out.
        const std::unordered_set<std::string> disabled =
            bounce::DisabledAddresses(services.paths, hand.list);
        PostingPlan plan;
        plan.listName = context.ListName;
        plan.method = method;
        plan.from = context.Settings.ListPostingAddress;
        // Members who take digests or no mail get no copy of their own, nor do members whose
        // delivery is disabled (their mail kept coming back).
        // (An approved posting's list name is as the moderator wrote it.)
        const std::string held = HeldListName(context, services);
        const PostingShare share = SharePosting(services, held, context.Roster.Items());
        std::vector<std::string> shown;  // the whole member entry
        shown.reserve(share.each.size());
        plan.recipients.reserve(share.each.size());
        for (const auto& entry : share.each) {
            std::string address(MemberEntry::AddressOf(entry));
            if (!disabled.empty() && disabled.count(LowerCase(address)) > 0) {
                continue;
            }
            plan.recipients.push_back(std::move(address));
            shown.push_back(entry);
        }
        plan.shown = &shown;
        plan.leftOut = share.leftOut;
        plan.copyFailedSuffix = " - failed (Ateempt 1)";
        // A member refused for good at RCPT counts as a hard bounce at once.
        std::vector<RecipientRefusal> refused;
        PostingHooks hooks;
        if (bounces) {
            hooks.refusedForGood = [&](const RecipientRefusal& refusal) {
                refused.push_back(refusal);
            };
        }
        std::string archiveCopy;
        hooks.distributed = [&](const std::string& message) {
            // A Bcc posting is one message; of individual copies, the archive keeps the
            // posting without its last member's lines.
            if (method == 1) {
                composer.ComposeArchiveCopy(archiveCopy);
            }
            if (archive::KeepDistributedPosting(services, context.ListName,
                                                method == 1 ? archiveCopy : message, plan.from)) {
                context.ArchivedLists.push_back(context.ListName);
            }
        };
        outcome = DeliverPosting(services, plan, composer, hooks);
        bounce::ChargeRefusedRecipients(services, hand, refused);
        context.Counts.postingsSent += static_cast<int>(outcome.sent);
        context.Counts.messagesQueued += static_cast<int>(outcome.queued);
        context.Counts.messagesHeld += static_cast<int>(outcome.held);
        if (share.digest) {
            // The posting as the list distributes it (its Bcc form, which names no member),
            // whatever became of the copies: a queued one still reaches its members later.
            std::string posting;
            composer.ComposeBcc(posting);
            DigestStore(services.paths, held).Collect(posting);
        }
    }
    services.observer.StatusText("Finished posting.");
    return outcome;
}

}  // namespace corvanteer
