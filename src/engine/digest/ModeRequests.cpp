#include "engine/digest/ModeRequests.h"

#include <mutex>

#include "engine/ActivityLog.h"
#include "engine/ListStore.h"
#include "engine/RequestRules.h"
#include "engine/Roster.h"
#include "engine/Subscription.h"
#include "engine/Templates.h"
#include "engine/digest/ModeTexts.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

// Answers that name no list are the List Server's own, in its log lines and {ListName}.
constexpr const char* kListServerName = "List Server";
constexpr char kModeDigits[] = "1234";  // Each, Digest, PlainDigest, NoMail

char ModeDigit(DeliveryMode mode) {
    return kModeDigits[static_cast<int>(mode)];
}

bool IsDigestMode(DeliveryMode mode) {
    return mode == DeliveryMode::Digest || mode == DeliveryMode::PlainDigest;
}

std::string ListServerAddress(Services& services) {
    return services.console.Globals().ListServerAddress;
}

// The roster of a list as the list set holds its name.
Lines RosterOf(Services& services, const std::string& held) {
    return TextToLines(ReadSection(services.paths.ListDataFile(held), "MemberList"));
}

bool InRoster(const Lines& roster, std::string_view lowerAddress) {
    for (const std::string& line : roster) {
        if (LowerCase(MemberEntry::AddressOf(line)) == lowerAddress) {
            return true;
        }
    }
    return false;
}

// A template of the list in hand filled in, {Mode} and {Lists} last.
std::string FillModeTemplate(const ScanContext& context, Services& services,
                             std::string_view section, std::string_view mode,
                             std::string_view lists) {
    std::string text = FillTemplate(ModeTemplate(context.ListDataFile, section), context,
                                    ListServerAddress(services));
    text = ReplaceAll(text, kModeVariable, mode);
    return ReplaceAll(text, kListsVariable, lists);
}

std::string ListLines(const Lines& lines) {
    return lines.empty() ? std::string("  (none)") : JoinLines(lines);
}

// Turns the context to the answers that name no list: texts and subjects of the Default
// List (read without creating its key), the List Server's name.
void SelectListServer(ScanContext& context, Services& services) {
    context.ListName = kListServerName;
    context.ListKey = services.paths.ListKey(kDefaultListName);
    context.ListDataFile = services.paths.ListDataFile(kDefaultListName);
    context.Settings = ListSettings{};
}

void SendListServerAnswer(ScanContext& context, Services& services, std::string_view section,
                          const char* subjectSetting, const Lines& lines) {
    SelectListServer(context, services);
    const std::string subject =
        ListScanReader(services.store, context.ListKey).Text(subjectSetting);
    SendAnswerText(context, services,
                   FillModeTemplate(context, services, section, "", ListLines(lines)), subject);
}

void AnswerLists(ScanContext& context, Services& services) {
    Lines lines;
    for (const std::string& name : services.console.ListNames()) {
        if (ListScanReader(services.store, services.paths.ListKey(name))
                .Boolean("AllowUserSubscribe")) {
            lines.push_back("  " + name);
        }
    }
    SendListServerAnswer(context, services, kListsSection, "ListsSubject", lines);
}

void AnswerWhich(ScanContext& context, Services& services) {
    const std::string& sender = context.SenderAddress;
    Lines lines;
    for (const std::string& name : services.console.ListNames()) {
        if (InRoster(RosterOf(services, name), sender)) {
            const DeliveryMode mode = MemberModes::Read(ModesFile(services.paths, name)).Of(sender);
            lines.push_back("  " + name + " (" + DeliveryModeName(mode) + ")");
        }
    }
    SendListServerAnswer(context, services, kWhichSection, "WhichSubject", lines);
}

// The help answer: the Help text of the list the request names, else the Lists answer.
void AnswerHelp(ScanContext& context, Services& services, const std::string& written) {
    std::optional<std::string> held =
        written.empty() ? std::nullopt : FindList(services.console.ListNames(), written);
    if (!held) {
        AnswerLists(context, services);
        return;
    }
    SelectList(context, services, written, *held);
    SendTemplateAnswer(context, services, "Help",
                       ListScanReader(services.store, context.ListKey).Text("HelpSubject"));
}

void AnswerModeChanged(ScanContext& context, Services& services, DeliveryMode mode) {
    SendAnswerText(
        context, services,
        FillModeTemplate(context, services, kModeChangedSection, DeliveryModeName(mode), ""),
        ListScanReader(services.store, context.ListKey).Text("ModeChangedSubject"));
}

// Sets the mode now; the list is selected. False when the sender is not a member.
bool ApplyChange(ScanContext& context, Services& services, DeliveryMode mode) {
    const std::string held = HeldListName(context, services);
    const ModeChange change =
        ChangeMemberMode(services.paths, services.storeLock, held, context.SenderAddress, mode);
    if (change == ModeChange::NotMember) {
        return false;
    }
    if (change == ModeChange::Changed) {
        LogModeChange(services, context.ListName, context.SenderAddress, mode, "member request");
        services.observer.RosterChanged(held);
    }
    AnswerModeChanged(context, services, mode);
    return true;
}

void HandleSetMode(ScanContext& context, Services& services, const ModeRequest& request) {
    std::optional<std::string> held = FindList(services.console.ListNames(), request.list);
    std::optional<DeliveryMode> mode = ParseDeliveryMode(request.mode);
    if (!held || !mode) {
        AnswerHelp(context, services, request.list);
        return;
    }
    SelectList(context, services, request.list, *held);
    if (IsDigestMode(*mode) &&
        !ListScanReader(services.store, context.ListKey).Boolean("DigestEnabled")) {
        AnswerHelp(context, services, request.list);
        return;
    }
    const std::string& sender = context.SenderAddress;
    if (!InRoster(RosterOf(services, *held), sender)) {
        SendTemplateAnswer(context, services, "Not_Member", context.Settings.NotMemberSubject);
        return;
    }
    if (!context.Settings.VerifySubscribe) {
        ApplyChange(context, services, *mode);
        return;
    }
    WriteLog(services, Stamp(services) + context.ListName + ": ? " + sender + "(mode " +
                           DeliveryModeName(*mode) + " request)");
    context.VerificationCode = MakeModeCode(context.ListName, services.clock.Now(), *mode);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        AppendLine(services.paths.VericodeFile(), context.VerificationCode + " " + sender);
    }
    SendAnswerText(
        context, services,
        FillModeTemplate(context, services, kModeVerifySection, DeliveryModeName(*mode), ""),
        context.Settings.VerifySubject + " (" + context.VerificationCode + ")");
}

}  // namespace

ModeRequest ParseModeRequest(std::string_view subject) {
    const SplitResult words = SplitString(subject, " ");
    const std::string first = LowerCase(words.Part(1));
    ModeRequest request;
    request.list = words.Part(2);
    if (first == "set") {
        if (words.count == 3 && !words.Part(2).empty() && !words.Part(3).empty()) {
            request.kind = ModeRequestKind::SetMode;
            request.mode = words.Part(3);
        } else {
            request.kind = ModeRequestKind::Malformed;
        }
    } else if (first == "which") {
        request.kind = ModeRequestKind::Which;
    } else if (first == "lists") {
        request.kind = ModeRequestKind::Lists;
    }
    return request;
}

void ApplyModeRequest(ScanContext& context, Services& services) {
    const ModeRequest request = ParseModeRequest(context.Subject);
    switch (request.kind) {
        case ModeRequestKind::SetMode:
            HandleSetMode(context, services, request);
            return;
        case ModeRequestKind::Which:
            AnswerWhich(context, services);
            return;
        case ModeRequestKind::Lists:
            AnswerLists(context, services);
            return;
        case ModeRequestKind::Malformed:
        case ModeRequestKind::Unknown:
            AnswerHelp(context, services, request.list);
            return;
    }
}

std::string MakeModeCode(std::string_view listName, const LocalTime& now, DeliveryMode mode) {
    std::string code = MakeVerificationCode(listName, now);
    code.back() = ModeDigit(mode);
    return code;
}

std::optional<DeliveryMode> ModeOfVerificationText(std::string_view verificationText) {
    if (verificationText.size() < 2 || verificationText.back() != ')') {
        return std::nullopt;
    }
    const char digit = verificationText[verificationText.size() - 2];
    for (DeliveryMode mode : kAllDeliveryModes) {
        if (digit == ModeDigit(mode)) {
            return mode;
        }
    }
    return std::nullopt;
}

void HandleModeVerificationReply(ScanContext& context, Services& services) {
    std::optional<DeliveryMode> mode = ModeOfVerificationText(context.VerificationText);
    if (!mode) {
        return;
    }
    context.SenderAddress = LowerCase(ExtractEmail(Trim(context.FromValue)));
    const std::string& address = context.SenderAddress;
    const std::string& text = context.VerificationText;
    const std::string wanted = text.substr(1, text.size() - 2) + " " + address;
    const std::string path = services.paths.VericodeFile();

    auto pendingLines = [&path] {
        std::optional<std::string> bytes = ReadFileIfExists(path);
        return bytes ? TextToLines(*bytes) : Lines{};
    };
    bool pending = false;
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        for (const std::string& line : pendingLines()) {
            pending = pending || SameText(line, wanted);
        }
    }
    if (!pending) {
        SendTemplateAnswer(context, services, "Verify_Error", context.Settings.VerifyErrSubject);
        AddLatestAction(services, context.ListDataFile, ShortDateNow(services) + " x " + address);
        WriteLog(services,
                 Stamp(services) + context.ListName + ": x " + address + "(verification fail)");
        services.observer.RosterChanged(HeldListName(context, services));
        return;
    }
    // The line goes only once the change is made: a scan that stops in between meets the same
    // reply again and makes the same change.
    if (!ApplyChange(context, services, *mode)) {
        SendTemplateAnswer(context, services, "Not_Member", context.Settings.NotMemberSubject);
    }
    std::lock_guard<StoreLock> guard(services.storeLock);
    Lines lines = pendingLines();
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        if (SameText(*it, wanted)) {
            lines.erase(it);
            WriteFileAtomic(path, LinesToText(lines));
            break;
        }
    }
}

void LogModeChange(Services& services, std::string_view listName, std::string_view address,
                   DeliveryMode mode, std::string_view how) {
    WriteLog(services, Stamp(services) + std::string(listName) + ": ~ " + std::string(address) +
                           "(mode " + DeliveryModeName(mode) + ", " + std::string(how) + ")");
}

}  // namespace corvanteer
