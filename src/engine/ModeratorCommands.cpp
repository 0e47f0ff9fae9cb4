#include "engine/ModeratorCommands.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/ListStore.h"
#include "engine/PostingRules.h"
#include "engine/RequestRules.h"
#include "engine/Roster.h"
#include "engine/bounce/BounceState.h"
#include "engine/digest/DeliveryModes.h"
#include "support/Address.h"
#include "support/HeaderFields.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

// One change the block made to a list's roster, replayed on the section as it stands when
// the roster is written, so that an operator's edit made meanwhile is not overwritten.
struct RosterChange {
    bool add = false;
    std::string address;  // lower case
    std::string entry;    // the new entry, for an addition
};

void WriteRosterChanges(Services& services, ScanContext& context,
                        const std::vector<RosterChange>& changes) {
    std::unique_lock<StoreLock> guard(services.storeLock);
    SortedRoster roster;
    roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
    for (const auto& change : changes) {
        size_t index = roster.FindAddress(change.address);
        if (change.add && index == SortedRoster::npos) {
            roster.Add(change.entry);
        } else if (!change.add && index != SortedRoster::npos) {
            roster.Delete(index);
            if (roster.FindAddress(change.address) == SortedRoster::npos) {
                ForgetMemberMode(services.paths, HeldListName(context, services), change.address);
            }
        }
    }
    WriteSection(context.ListDataFile, "MemberList", roster.Items());
    context.Roster = std::move(roster);
    guard.unlock();
    // A member removed and added again starts from a bounce score of zero.
    for (const auto& change : changes) {
        if (!change.add) {
            bounce::ForgetMember(services, HeldListName(context, services), change.address);
        }
    }
}

}  // namespace

void ProcessModeratorCommands(ScanContext& context, Services& services) {
    services.pop3.Retrieve(context.MessageNumber);
    // Kept apart from the addresses of "addu"/"remo" lines: authority is always the sender's.
    const std::string sender =
        LowerCase(ExtractEmail(GetHeaderValue("From", services.pop3.Header)));
    // The body is walked line by line in place: a long one costs no string per line.
    const std::string body = std::move(services.pop3.Body);

    std::string password;
    bool inBlock = false;
    bool authorised = false;
    std::optional<std::string> held;  // the selected list, as the list set holds it
    std::vector<RosterChange> changes;
    auto writeChanges = [&] {
        if (held && !changes.empty()) {
            WriteRosterChanges(services, context, changes);
        }
        changes.clear();
    };

    for (std::string_view rest = body; !rest.empty();) {
        const std::string line = Trim(CollapseSpaces(TakeLine(rest)));
        const SplitResult words = SplitString(line, " ");
        const std::string command = LowerCase(line.substr(0, 4));
        const std::string& argument = words.Part(2);

        if (command == "comm" && words.count == 2) {
            const std::string which = LowerCase(argument);
            if (which == "begin") {
                inBlock = true;
                continue;
            }
            if (which == "end") {
                break;
            }
        }
        if (inBlock && command == "list") {
            writeChanges();  // nothing done for the list selected before is lost
            context.ListName = argument;
            held = FindList(services.console.ListNames(), argument);
            if (!held) {
                break;
            }
            SelectList(context, services, argument, *held);
            context.Roster.AssignText(ReadSection(context.ListDataFile, "MemberList"));
            authorised =
                IsModerator(services, *held, sender, password, context.Settings.RequirePassword);
            continue;
        }
        if (inBlock && command == "pass") {
            password = argument;
            if (!held) {
                authorised = false;  // no list selected yet: the password grants nothing
                continue;
            }
            if (!FindList(services.console.ListNames(), *held)) {
                break;
            }
            authorised =
                IsModerator(services, *held, sender, password, context.Settings.RequirePassword);
            continue;
        }
        if (!authorised || (command != "addu" && command != "remo") || !IsValidEmail(argument)) {
            continue;
        }
        const std::string member = LowerCase(ExtractEmail(argument));
        if (member.empty()) {
            continue;
        }
        const size_t index = context.Roster.FindAddress(member);
        if (command == "addu") {
            if (!IsUsableMemberAddress(member)) {
                LogInvalidAddress(services, context.ListName, member);
                continue;
            }
            if (index != SortedRoster::npos) {
                continue;
            }
            std::string entry =
                MemberEntry::New(member, GeneratePassword(services.random)).Format();
            context.Roster.Add(entry);
            changes.push_back({true, member, std::move(entry)});
            AddLatestAction(services, context.ListDataFile,
                            ShortDateNow(services) + " + " + member);
            WriteLog(services,
                     Stamp(services) + context.ListName + ": + " + member + "(added by moderator)");
        } else {
            if (index == SortedRoster::npos) {
                continue;
            }
            context.Roster.Delete(index);
            changes.push_back({false, member, ""});
            AddLatestAction(services, context.ListDataFile,
                            ShortDateNow(services) + " - " + member);
            WriteLog(services, Stamp(services) + context.ListName + ": - " + member +
                                   "(removed by moderator)");
        }
        services.observer.RosterChanged(*held);
    }
    writeChanges();
    services.observer.RosterChanged(held ? *held : context.ListName);
}

}  // namespace corvanteer
