#include "engine/Subscription.h"

#include <cctype>
#include <mutex>
#include <optional>

#include "engine/ActivityLog.h"
#include "engine/DTCalc.h"
#include "engine/Delivery.h"
#include "engine/ListStore.h"
#include "engine/OutgoingHeaders.h"
#include "engine/PostingRules.h"
#include "engine/RequestRules.h"
#include "support/Address.h"
#include "support/DateTime.h"
#include "support/Files.h"
#include "support/HeaderFields.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr int kStampLength = 13;  // "yymmddhhmmss" + "0"

Lines ReadPendingLines(const std::string& path) {
    auto text = ReadFileIfExists(path);
    return text ? TextToLines(*text) : Lines{};
}

void WritePendingLines(const std::string& path, const Lines& lines) {
    WriteFileAtomic(path, LinesToText(lines));
}

void RecordRosterAction(ScanContext& context, Services& services, std::string_view marker,
                        const std::string& address, std::string_view reason) {
    AddLatestAction(services, context.ListDataFile,
                    ShortDateNow(services) + std::string(marker) + address);
    WriteLog(services, Stamp(services) + context.ListName + ":" + std::string(marker) + address +
                           std::string(reason));
}

void RefreshRoster(ScanContext& context, Services& services) {
    services.observer.RosterChanged(HeldListName(context, services));
}

// The member gate for the roads by mail: an address no mail server takes is neither added
// nor sent a code, only logged.
bool RefuseUnusableAddress(ScanContext& context, Services& services, const std::string& address) {
    if (IsUsableMemberAddress(address)) {
        return false;
    }
    LogInvalidAddress(services, context.ListName, address);
    return true;
}

bool AllDigits(std::string_view text) {
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            return false;
        }
    }
    return true;
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

struct PendingCode {
    std::string listName;
    int year = 0;
    int month = 0;
    int day = 0;
};

// The list name and date of a pending line's code, or nullopt when the line does not have
// the form code + " " + address with code "auth" + name + 12 digits + "0".
std::optional<PendingCode> ParsePendingLine(std::string_view line) {
    size_t space = line.find(' ');
    if (space == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view code = line.substr(0, space);
    if (code.size() <= 4 + kStampLength || !StartsWith(code, "auth")) {
        return std::nullopt;
    }
    std::string_view stamp = code.substr(code.size() - kStampLength);
    if (!AllDigits(stamp)) {
        return std::nullopt;
    }
    PendingCode parsed;
    parsed.listName = std::string(code.substr(4, code.size() - 4 - kStampLength));
    parsed.year = 2000 + StrToIntDef(stamp.substr(0, 2), 0);
    parsed.month = StrToIntDef(stamp.substr(2, 2), 0);
    parsed.day = StrToIntDef(stamp.substr(4, 2), 0);
    if (parsed.month < 1 || parsed.month > 12 || parsed.day < 1 ||
        parsed.day > DaysInMonth(parsed.year, parsed.month)) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace

void SendTemplateAnswer(ScanContext& context, Services& services, std::string_view section,
                        const std::string& subject, TemplatePassword password) {
    const std::string listServer = services.console.Globals().ListServerAddress;
    const std::string body = ReadSection(context.ListDataFile, section);
    const std::string text = FillTemplate(body, context, listServer, password);
    // The header: To, From, Subject, the standard block, Auto-Submitted.
    Lines header{kAutoSubmittedLine};
    AddStandardHeaders(header, context, services);
    header.insert(header.begin(),
                  {"To: " + context.SenderAddress, "From: " + listServer, "Subject: " + subject});
    std::string message;
    for (const std::string& line : header) {
        AppendCrLfLine(message, line);
    }
    message += "\r\n";
    AppendCrLfLines(message, text);
    SendReply(context, services, listServer, std::move(message));
}

std::string MakeVerificationCode(std::string_view listName, const LocalTime& now) {
    return "auth" + std::string(listName) + Stamp12(now) + "0";
}

void HandleSubscribeRequest(ScanContext& context, Services& services) {
    if (RefuseUnusableAddress(context, services, context.SenderAddress)) {
        return;
    }
    if (context.AlreadyMember) {
        SendTemplateAnswer(context, services, "Already_A_Member",
                           context.Settings.AlreadyAMemberSubject);
        return;
    }
    if (!context.Settings.VerifySubscribe) {
        AddMember(context, services);
        return;
    }
    const std::string& address = context.SenderAddress;
    WriteLog(services,
             Stamp(services) + context.ListName + ": ? " + address + "(subscribe request)");
    context.VerificationCode = MakeVerificationCode(context.ListName, services.clock.Now());
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        AppendLine(services.paths.VericodeFile(), context.VerificationCode + " " + address);
    }
    SendTemplateAnswer(context, services, "Subscribe_Verify",
                       context.Settings.VerifySubject + " (" + context.VerificationCode + ")");
    AddLatestAction(services, context.ListDataFile, ShortDateNow(services) + " ? " + address);
    RefreshRoster(context, services);
}

void AddMember(ScanContext& context, Services& services) {
    if (RefuseUnusableAddress(context, services, context.SenderAddress)) {
        return;
    }
    context.GeneratedPassword = GeneratePassword(services.random);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
        context.Roster.Add(
            MemberEntry::New(context.SenderAddress, context.GeneratedPassword).Format());
        WriteSection(context.ListDataFile, "MemberList", context.Roster.Items());
    }
    SendTemplateAnswer(context, services, "Subscribe_Confirm",
                       context.Settings.SubscribeConfirmSubject, TemplatePassword::Generated);
    if (context.Settings.RequirePassword && context.Settings.AllowPostBy == 1) {
        SendTemplateAnswer(context, services, "Password_Notify",
                           context.Settings.PasswordNotifySubject, TemplatePassword::Generated);
    }
    RecordRosterAction(context, services, " + ", context.SenderAddress,
                       "(email verified, user added)");
    RefreshRoster(context, services);
}

void HandleUnsubscribeRequest(ScanContext& context, Services& services) {
    if (!context.AlreadyMember) {
        SendTemplateAnswer(context, services, "Not_Member", context.Settings.NotMemberSubject);
        return;
    }
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
        size_t index = context.Roster.FindAddress(context.SenderAddress);
        if (index != SortedRoster::npos) {
            context.Roster.Delete(index);
            WriteSection(context.ListDataFile, "MemberList", context.Roster.Items());
        }
    }
    AddLatestAction(services, context.ListDataFile,
                    ShortDateNow(services) + " - " + context.SenderAddress);
    SendTemplateAnswer(context, services, "Unsubscribe_Confirm",
                       context.Settings.UnSubscribeConfirmSubject);
    WriteLog(services, Stamp(services) + context.ListName + ": - " + context.SenderAddress +
                           "(user removed, unsubscribe request)");
    RefreshRoster(context, services);
}

void HandleVerificationReply(ScanContext& context, Services& services) {
    context.SenderAddress = LowerCase(ExtractEmail(Trim(context.FromValue)));
    const std::string& address = context.SenderAddress;
    if (RefuseUnusableAddress(context, services, address)) {
        return;
    }
    if (IsMember(services, HeldListName(context, services), address, "", false)) {
        return;
    }
    const std::string& text = context.VerificationText;
    const std::string code = text.size() >= 2 ? text.substr(1, text.size() - 2) : std::string();
    const std::string wanted = code + " " + address;
    const std::string path = services.paths.VericodeFile();

    bool pending = false;
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        for (const auto& line : ReadPendingLines(path)) {
            if (SameText(line, wanted)) {
                pending = true;
                break;
            }
        }
    }
    if (pending) {
        AddMember(context, services);
        std::lock_guard<StoreLock> guard(services.storeLock);
        Lines lines = ReadPendingLines(path);
        for (auto it = lines.begin(); it != lines.end(); ++it) {
            if (SameText(*it, wanted)) {
                lines.erase(it);
                WritePendingLines(path, lines);
                break;
            }
        }
        return;
    }
    SendTemplateAnswer(context, services, "Verify_Error", context.Settings.VerifyErrSubject);
    RecordRosterAction(context, services, " x ", address, "(verification fail)");
    RefreshRoster(context, services);
}

ExpiryCounts ExpirePendingVerifications(Services& services) {
    ExpiryCounts counts;
    const std::string path = services.paths.VericodeFile();
    const std::vector<std::string> lists = services.console.ListNames();
    const LocalTime now = services.clock.Now();

    std::lock_guard<StoreLock> guard(services.storeLock);
    auto text = ReadFileIfExists(path);
    if (!text) {
        return counts;
    }
    Lines lines = TextToLines(*text);
    TDTCalc dateDiff;
    dateDiff.SetEndTime(ToDayCount(now.year, now.month, now.day));
    Lines kept;
    kept.reserve(lines.size());
    for (auto& line : lines) {
        std::optional<PendingCode> code = ParsePendingLine(line);
        std::optional<std::string> list = code ? FindList(lists, code->listName) : std::nullopt;
        if (!list) {
            ++counts.malformed;
            kept.push_back(std::move(line));
            continue;
        }
        dateDiff.SetStartTime(ToDayCount(code->year, code->month, code->day));
        const long long limit =
            static_cast<long long>(ListScanReader(services.store, services.paths.ListKey(*list))
                                       .Integer("VerifyDays")) +
            2;
        if (dateDiff.Days() > limit) {
            ++counts.removed;
        } else {
            ++counts.kept;
            kept.push_back(std::move(line));
        }
    }
    WritePendingLines(path, kept);
    return counts;
}

}  // namespace corvanteer
