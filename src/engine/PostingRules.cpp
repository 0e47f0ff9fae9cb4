#include "engine/PostingRules.h"

#include "engine/ActivityLog.h"
#include "engine/AutoMail.h"
#include "engine/Delivery.h"
#include "engine/ListPosting.h"
#include "engine/ListStore.h"
#include "engine/Moderation.h"
#include "engine/Roster.h"
#include "engine/bounce/BounceHandling.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// Calls visit(line) for every line of a section text (lines joined by CR LF) without
// copying the text; visit returns true to stop.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find("\r\n", start);
        std::string_view line = text.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (visit(line)) {
            return;
        }
        if (end == std::string_view::npos) {
            return;
        }
        start = end + 2;
    }
}

// Part number index (1-based) of a line cut at single blanks, as SplitString gives it.
std::string_view Field(std::string_view line, int index) {
    size_t start = 0;
    for (int i = 1; i < index; ++i) {
        size_t blank = line.find(' ', start);
        if (blank == std::string_view::npos) {
            return {};
        }
        start = blank + 1;
    }
    size_t blank = line.find(' ', start);
    return line.substr(start,
                       blank == std::string_view::npos ? std::string_view::npos : blank - start);
}

// "posted" only for a posting that went to a member or waits for a sending cap; one that went
// to nobody (every copy refused or failed, no members, no posting method) "failed". One that
// needed no copy because every member takes a digest or no mail was "posted". Texts from the
// mail are cut to one short line: a subject may be a megabyte long.
void LogPosting(ScanContext& context, Services& services, const PostingOutcome& outcome) {
    const bool went =
        outcome.sent + outcome.held > 0 || (outcome.members == 0 && outcome.leftOut > 0);
    WriteLog(services, Stamp(services) + context.ListName +
                           (went ? ": i posted msg by " : ": i failed to post msg by ") +
                           OneLineText(context.SenderAddress) + " (" +
                           OneLineText(context.Subject) +
                           ") - PostMethod = " + std::to_string(context.Settings.PostingMethod));
}

void Post(ScanContext& context, Services& services) {
    const PostingOutcome outcome =
        PostToList(context, services, context.Body(), context.Settings.PostingMethod);
    LogPosting(context, services, outcome);
}

// Posted at once, or sent to the moderators first on a moderated list.
void PostOrRequestApproval(ScanContext& context, Services& services) {
    if (context.Settings.ModerateList) {
        RequestApproval(context, services);
    } else {
        Post(context, services);
    }
}

// A refused posting goes, whole as downloaded, to the list's error address.
void ForwardRefused(ScanContext& context, Services& services) {
    const ListSettings& settings = context.Settings;
    Envelope forward{settings.ListPostingAddress, {settings.ErrorsTo}, {}};
    if (auto text = ReadFileIfExists(context.MessageFile)) {
        AppendCrLfLines(forward.message, *text);
    }
    SendForwarded(context, services, forward,
                  context.ListName + ": error msg from " + context.SenderAddress);
}

// The posting password is the last word of the subject; the subject keeps what is before it.
void TakePasswordFromSubject(ScanContext& context) {
    const std::string& subject = context.Subject;
    const size_t blank = subject.rfind(' ');
    if (blank == std::string::npos) {
        context.PostingPassword = subject;
        context.Subject.clear();
        return;
    }
    context.PostingPassword = subject.substr(blank + 1);
    context.Subject = Trim(std::string_view(subject).substr(0, blank));
}

// Loops and automatic mail never reach the rules: a loop is deleted, an automatic message
// goes to ErrorsTo (where the operator sees bounces) or is dropped. True when the message was
// one of them.
bool SetAsideAutomaticMail(ScanContext& context, Services& services) {
    const ListSettings& settings = context.Settings;
    const ListOwnAddresses own{
        settings.ListPostingAddress, settings.HideSenderEmail ? settings.ChangeSenderEmailTo : "",
        context.ListServerAddress ? *context.ListServerAddress
                                  : services.console.Globals().ListServerAddress};
    const MailVerdict verdict = JudgeListMail(context.HeaderLines, context.SenderAddress, own);
    if (verdict.kind == MailKind::Personal) {
        return false;
    }
    const bool loop = verdict.kind == MailKind::Loop;
    // A failure report is scored instead; one that names nobody, or a refusal by policy,
    // goes on as any automatic message.
    if (!loop && bounce::HandleListBounce(context, services) == bounce::BounceOutcome::Handled) {
        return true;
    }
    const std::string what = loop ? "looping msg" : "automatic msg";
    const std::string sender = OneLineText(context.SenderAddress);
    WriteLog(services, Stamp(services) + context.ListName + ": " + what + " from " + sender + " (" +
                           OneLineText(verdict.reason) + ") - not posted");
    AddLatestAction(services, context.ListDataFile,
                    ShortDateNow(services) + " x " + sender + "(" + what + ", " +
                        OneLineText(verdict.reason) + ")");
    if (!loop && settings.ForwardErrorMsgs) {
        ForwardRefused(context, services);
    }
    return true;
}

}  // namespace

bool IsModerator(Services& services, std::string_view listName, std::string_view sender,
                 std::string_view password, bool passwordRequired) {
    if (listName.empty() || sender.empty()) {
        return false;
    }
    const std::string moderators =
        ListScanReader(services.store, services.paths.ListKey(listName)).Text("Moderators");
    // The window joins the lines with CR LF; a value set by other means may use LF alone.
    for (const auto& raw : TextToLines(moderators)) {
        const std::string line = Trim(CollapseSpaces(raw));
        if (SameText(Field(line, 1), sender)) {
            // The first line of the address decides.
            return !passwordRequired || Field(line, 2) == password;
        }
    }
    return false;
}

bool IsMember(Services& services, std::string_view listName, std::string_view sender,
              std::string_view password, bool passwordRequired, RosterCache* cache) {
    if (listName.empty() || sender.empty()) {
        return false;
    }
    const std::string* known = cache != nullptr ? cache->DataFileOf(listName) : nullptr;
    const std::string file = known != nullptr ? *known
                                              : services.paths.ListDataFile(ListNameForPaths(
                                                    services.store, services.paths, listName));
    if (cache != nullptr) {
        if (known == nullptr) {
            cache->Remember(listName, file);
        }
        const std::string_view* entryPassword = cache->PosterPassword(file, LowerCase(sender));
        return entryPassword != nullptr && (!passwordRequired || *entryPassword == password);
    }
    const std::string roster = ReadSection(file, "MemberList");
    bool result = false;
    ForEachLine(roster, [&](std::string_view line) {
        if (!SameText(MemberEntry::AddressOf(line), sender)) {
            return false;
        }
        const MemberEntry entry = MemberEntry::Parse(line);
        if (!entry.MayPost()) {
            return false;  // entries of the address with another ban flag are passed over
        }
        result = !passwordRequired || entry.password == password;
        return true;
    });
    return result;
}

bool IsBlacklisted(std::string_view sender, const std::string& listDataFile) {
    const std::string address = LowerCase(sender);
    bool found = false;
    ForEachLine(ReadSection(listDataFile, "BlackList"), [&](std::string_view line) {
        const std::string entry = LowerCase(Trim(line));
        found = !entry.empty() && Contains(address, entry);
        return found;
    });
    return found;
}

void ApplyPostingRules(ScanContext& context, Services& services) {
    if (SetAsideAutomaticMail(context, services)) {
        return;
    }
    ListSettings& settings = context.Settings;
    if (settings.AllowPostBy >= 2) {
        // Anybody may post: no moderator or member test, no password, no approval replies.
        if (settings.AllowPostBy == 2) {
            PostOrRequestApproval(context, services);
        }
        return;
    }
    if (settings.ModerateList) {
        settings.RequirePassword = false;  // the moderators check every posting instead
    }
    if (settings.RequirePassword) {
        TakePasswordFromSubject(context);
    }
    if (IsModerator(services, context.ListName, context.SenderAddress, context.PostingPassword,
                    settings.RequirePassword)) {
        if (Contains(context.Subject, "requesting approval")) {
            HandleApprovalReply(context, services);
        } else {
            Post(context, services);
        }
        return;
    }
    if (settings.AllowPostBy == 1 &&
        IsMember(services, context.ListName, context.SenderAddress, context.PostingPassword,
                 settings.RequirePassword, &context.Rosters)) {
        PostOrRequestApproval(context, services);
        return;
    }
    if (settings.ForwardErrorMsgs) {
        ForwardRefused(context, services);
    }
}

}  // namespace corvanteer
