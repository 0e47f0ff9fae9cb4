#include "engine/RequestRules.h"

#include <cctype>
#include <mutex>

#include "engine/ActivityLog.h"
#include "engine/AutoMail.h"
#include "engine/ListStore.h"
#include "engine/ModeratorCommands.h"
#include "engine/PostingRules.h"
#include "engine/Subscription.h"
#include "engine/bounce/BounceHandling.h"
#include "engine/digest/ModeRequests.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr const char* kAuthMarker = "(auth";
// Where a log line names the list, one about the List Server mailbox names that mailbox.
constexpr const char* kListServerLogName = "List Server";
constexpr size_t kCodeTail = 14;  // "yymmddhhmmss" + "0" + ")"

std::string Keyword(std::string_view subject) {
    return LowerCase(subject.substr(0, 4));
}

// Rule 1: "subs"/"unsu" + blank + list name.
void SubscriptionRule(ScanContext& context, Services& services) {
    const SplitResult fields = SplitString(context.Subject, " ");
    const std::string& written = fields.Part(2);
    auto held = FindList(services.console.ListNames(), written);
    if (!held) {
        return;
    }
    const std::string command = Keyword(fields.Part(1));
    SelectList(context, services, written, *held);
    context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
    context.AlreadyMember = context.Roster.FindAddress(context.SenderAddress) != SortedRoster::npos;
    if (!context.Settings.AllowUserSubscribe) {
        return;
    }
    const std::string& sender = context.SenderAddress;
    if (command == "unsu") {
        HandleUnsubscribeRequest(context, services);
    } else if (!IsBlacklisted(sender, context.ListDataFile)) {
        HandleSubscribeRequest(context, services);
    } else {
        AddLatestAction(services, context.ListDataFile,
                        ShortDateNow(services) + " x " + sender + "(blacklisted)");
        WriteLog(services, Stamp(services) + context.ListName + ": x " + sender + "(blacklisted)");
        services.observer.RosterChanged(*held);
    }
}

// Rule 2: a verification reply.
void VerificationRule(ScanContext& context, Services& services) {
    size_t at = context.Subject.find(kAuthMarker);
    context.VerificationText = context.Subject.substr(at);
    const std::string list =
        ListOfVerificationText(context.VerificationText, services.console.ListNames());
    if (list.empty()) {
        return;
    }
    SelectList(context, services, list, list);
    if (ModeOfVerificationText(context.VerificationText)) {
        HandleModeVerificationReply(context, services);
        return;
    }
    HandleVerificationReply(context, services);
}

// Rule 3: "help" + blank + list name, answered with the list's Help text. A bare "help"
// names no list and is not answered.
void HelpRule(ScanContext& context, Services& services) {
    const SplitResult fields = SplitString(context.Subject, " ");
    const std::string& written = fields.Part(2);
    auto held = FindList(services.console.ListNames(), written);
    if (!held) {
        return;
    }
    SelectList(context, services, written, *held);
    const std::string subject = ListScanReader(services.store, context.ListKey).Text("HelpSubject");
    SendTemplateAnswer(context, services, "Help", subject);
}

bool IsCodeTail(std::string_view rest) {
    if (rest.size() != kCodeTail || rest.back() != ')') {
        return false;
    }
    for (char c : rest.substr(0, kCodeTail - 1)) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

}  // namespace

void SelectList(ScanContext& context, Services& services, std::string_view written,
                const std::string& held) {
    context.ListName = std::string(written);
    context.ListKey = services.paths.ListKey(held);
    context.ListDataFile = services.paths.ListDataFile(held);
    context.Settings = LoadListSettings(services.store, context.ListKey);
    LogRefusedValues(context, services, held, context.Settings.refused);
}

std::string HeldListName(const ScanContext& context, Services& services) {
    return FindList(services.console.ListNames(), context.ListName).value_or(context.ListName);
}

std::string ListOfVerificationText(std::string_view verificationText,
                                   const std::vector<std::string>& lists) {
    if (!StartsWith(verificationText, kAuthMarker)) {
        return "";
    }
    const std::string_view afterMarker = verificationText.substr(5);
    auto names = [&](const std::string& name) {
        return !name.empty() && SameText(afterMarker.substr(0, name.size()), name);
    };
    // A code of list "abc" never fills the text of a code of list "abcd" exactly, so the
    // exact fit decides between lists whose names begin alike.
    for (const auto& name : lists) {
        if (names(name) &&
            IsCodeTail(afterMarker.substr(std::min(name.size(), afterMarker.size())))) {
            return name;
        }
    }
    for (const auto& name : lists) {
        if (names(name)) {
            return name;
        }
    }
    return "";
}

void ApplyRequestRules(ScanContext& context, Services& services) {
    // Responders and bounces get no answer: answering them could start a loop with another
    // program, and they ask for nothing.
    const MailVerdict verdict = JudgeAutomatic(services.pop3.Header, context.SenderAddress);
    if (verdict.kind != MailKind::Personal) {
        WriteLog(services, Stamp(services) + kListServerLogName + ": automatic msg from " +
                               OneLineText(context.SenderAddress) + " (" +
                               OneLineText(verdict.reason) + ") - not answered");
        return;
    }
    // A member's reply to the notice that their delivery was disabled.
    if (bounce::HandleEnableReply(context, services)) {
        return;
    }
    const std::string keyword = Keyword(context.Subject);
    const bool verification = context.Subject.find(kAuthMarker) != std::string::npos;
    if (keyword == "subs" || keyword == "unsu") {
        SubscriptionRule(context, services);
    }
    if (verification) {
        VerificationRule(context, services);
    }
    if (keyword == "help") {
        HelpRule(context, services);
    }
    if (keyword == "comm") {
        ProcessModeratorCommands(context, services);
    }
    // What none of the rules above took: the delivery-mode requests, or the help answer.
    if (!verification && keyword != "subs" && keyword != "unsu" && keyword != "help" &&
        keyword != "comm") {
        ApplyModeRequest(context, services);
    }
}

}  // namespace corvanteer
