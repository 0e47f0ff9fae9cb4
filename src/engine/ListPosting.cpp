#include "engine/ListPosting.h"

#include "engine/FileVersion.h"
#include "engine/ListHeaders.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PostingDelivery.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// True when every line of text ends with CR LF and no CR or LF stands alone.
bool IsCrLfText(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    if (!EndsWith(text, "\r\n")) {
        return false;
    }
    for (std::size_t at = text.find_first_of("\r\n"); at != std::string_view::npos;
         at = text.find_first_of("\r\n", at + 2)) {
        if (text[at] != '\r' || at + 1 >= text.size() || text[at + 1] != '\n') {
            return false;
        }
    }
    return true;
}

// Composes the messages of one posting. The parts every copy shares are built once; a copy
// differs only in its To line and in the standard block (whose Date and Message-ID follow the
// clock, as for a posting composed anew). The signature and the extra headers are read again
// only when the list data file has changed since they were read.
class ListPostingComposer final : public PostingComposer {
public:
    // One Message-ID tag for all copies: the copies of one posting composed in the same
    // second carry the same Message-ID.
    ListPostingComposer(const ScanContext& context, Services& services, std::string_view body)
        : context_(context),
          services_(services),
          globals_(services.console.Globals()),
          idTag_(MessageIdTag(services.random)) {
        const ListSettings& settings = context.Settings;
        if (settings.HideSenderEmail) {
            AppendCrLfLine(head_, "From: " + context.SenderName + " <" +
                                      Trim(settings.ChangeSenderEmailTo) + ">");
        } else {
            AppendCrLfLine(head_,
                           "From: " + context.SenderName + " <" + context.SenderAddress + ">");
        }
        AppendCrLfLine(head_, "Reply-To: " + settings.ListPostingAddress);
        AppendCrLfLine(head_, "Subject: " + context.Subject);
        // A body whose lines all end with CR LF (a temp file's) goes out as it is, without a
        // copy of its own; any other is made so once.
        if (IsCrLfText(body)) {
            body_ = body;
        } else {
            AppendCrLfLines(ownBody_, body);
            body_ = ownBody_;
        }
    }

    void ComposeBcc(std::string& message) override {
        // A To line needs an address: without a ListTo the posting names the list itself.
        const ListSettings& settings = context_.Settings;
        Compose(message,
                Trim(settings.ListTo).empty() ? settings.ListPostingAddress : settings.ListTo);
    }

    void ComposeCopy(std::string& message, const std::string& address, std::size_t) override {
        Compose(message, address);
    }

private:
    // To, From, Reply-To, Subject, the standard block, the allowed extra headers, the list
    // headers; the empty line, the body and the signature.
    void Compose(std::string& message, const std::string& toValue) {
        const FileVersion version = VersionOf(context_.ListDataFile);
        if (!read_ || !(version == version_)) {
            version_ = version;
            ReadListTexts();
            read_ = true;
        }
        message.clear();
        message.reserve(toValue.size() + head_.size() + 512 + headerTail_.size() + body_.size() +
                        signature_.size());
        AppendCrLfLine(message, "To: " + toValue);
        message += head_;
        for (const std::string& line :
             StandardHeaderBlock(context_, services_.clock, globals_.SMTPHost, idTag_)) {
            AppendCrLfLine(message, line);
        }
        message += headerTail_;
        message += "\r\n";
        message += body_;
        message += signature_;
    }

    void ReadListTexts() {
        // One entry, however many lines the signature has (an empty one is one empty line).
        signature_.clear();
        AppendCrLfLine(signature_, ReadSection(context_.ListDataFile, "Signature"));
        Lines extraHeaders;
        for (auto& line : TextToLines(ReadSection(context_.ListDataFile, "ExtraHeaders"))) {
            if (IsAllowedExtraHeader(line)) {
                extraHeaders.push_back(std::move(line));
            }
        }
        headerTail_.clear();
        for (const std::string& line : extraHeaders) {
            AppendCrLfLine(headerTail_, line);
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
                AppendCrLfLine(headerTail_, line);
            }
        }
    }

    const ScanContext& context_;
    Services& services_;
    const GlobalSettings globals_;
    const std::string idTag_;
    std::string head_;        // From, Reply-To, Subject
    std::string_view body_;   // the body, lines ended by CR LF
    std::string ownBody_;     // the body made so, when it was not
    bool read_ = false;       // the list texts below were read
    FileVersion version_;     // of the list data file when they were read
    std::string headerTail_;  // the allowed extra headers and the list headers
    std::string signature_;
};

}  // namespace

void PostToList(ScanContext& context, Services& services, std::string_view body, int method) {
    if (method == 0 || method == 1) {
        ListPostingComposer composer(context, services, body);
        context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
        PostingPlan plan;
        plan.listName = context.ListName;
        plan.method = method;
        plan.from = context.Settings.ListPostingAddress;
        plan.recipients.reserve(context.Roster.size());
        for (const auto& entry : context.Roster.Items()) {
            plan.recipients.emplace_back(MemberEntry::AddressOf(entry));
        }
        plan.shown = &context.Roster.Items();  // the whole member entry
        plan.copyFailedSuffix = " - failed (Ateempt 1)";
        const PostingOutcome outcome = DeliverPosting(services, plan, composer);
        context.Counts.postingsSent += static_cast<int>(outcome.sent);
        context.Counts.messagesQueued += static_cast<int>(outcome.queued);
        context.Counts.messagesHeld += static_cast<int>(outcome.held);
    }
    services.observer.StatusText("Finished posting.");
}

}  // namespace corvanteer
