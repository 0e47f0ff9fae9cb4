#include "app/RosterOperations.h"

#include <mutex>
#include <optional>

#include "app/BounceOperations.h"
#include "app/ConsoleRecords.h"
#include "app/ListOperations.h"
#include "engine/Roster.h"
#include "engine/bounce/BounceState.h"
#include "engine/bounce/MemberDelivery.h"
#include "engine/digest/DeliveryModes.h"
#include "support/Address.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

constexpr const char* kMemberList = "MemberList";

bool HasControlCharacter(std::string_view text) {
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            return true;
        }
    }
    return false;
}

SortedRoster ReadRoster(const std::string& dataFile) {
    SortedRoster roster;
    roster.AssignText(ReadSection(dataFile, kMemberList));
    return roster;
}

ActionResult NotAMember(std::string_view address) {
    return ActionResult::Refused(std::string(address) + " is not a member.");
}

}  // namespace

RosterView FillRoster(Services& services, const std::string& list) {
    SortedRoster roster = ReadRoster(services.paths.ListDataFile(list));
    const MemberModes modes = MemberModes::Read(ModesFile(services.paths, list));
    RosterView view;
    view.entries.reserve(roster.size());
    for (const std::string& line : roster.Items()) {
        const MemberEntry member = MemberEntry::Parse(line);
        RosterEntry entry{line, member.address, member.Banned(), modes.Of(member.address), false,
                          {}};
        view.banned += entry.banned ? 1 : 0;
        view.entries.push_back(std::move(entry));
    }
    view.total = view.entries.size();
    std::vector<std::string> addresses;
    addresses.reserve(view.entries.size());
    for (const RosterEntry& entry : view.entries) {
        addresses.push_back(LowerCase(entry.address));
    }
    const std::vector<bounce::MemberStanding> standings = bounce::StandingsOf(
        bounce::ReadBounceState(services.paths, list), addresses, services.clock.Now(),
        BounceSettingsOf(services.store, services.paths.ListKey(list)));
    for (size_t i = 0; i < view.entries.size(); ++i) {
        view.entries[i].disabled = standings[i].disabled;
        view.entries[i].score = standings[i].score;
        view.disabled += standings[i].disabled ? 1 : 0;
    }
    return view;
}

ActionResult AddMember(Services& services, std::string_view listName, std::string_view typed) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    if (typed.empty()) {
        return ActionResult::Refused("Please enter user email.");
    }
    if (!IsUsableMemberAddress(typed)) {
        return ActionResult::Refused(std::string(typed) + " is not a valid email address");
    }
    const std::string address = LowerCase(typed);
    const std::string dataFile = services.paths.ListDataFile(*list);
    const std::string password = GeneratePassword(services.random);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        Lines lines = TextToLines(ReadSection(dataFile, kMemberList));
        for (const std::string& line : lines) {
            if (LowerCase(MemberEntry::AddressOf(line)) == address) {
                return ActionResult::Refused(address + " is aready a member.");
            }
        }
        // Appended; the section is sorted by the next operation that rewrites it by position.
        lines.push_back(MemberEntry::New(address, password).Format());
        WriteSection(dataFile, kMemberList, lines);
    }

    const std::string key = services.paths.ListKey(*list);
    std::string message;
    const SettingReader settings = ListScanReader(services.store, key);
    if (settings.Boolean("RequirePassword") && settings.Integer("AllowPostBy") == 1) {
        message = "Password for " + address + " is \r\n" + password;
    }
    RecordConsoleAction(services, *list, " + " + address, ": + " + address + "(manual add)");
    services.observer.RosterChanged(*list);
    return ActionResult::Done(message);
}

ActionResult RemoveMember(Services& services, std::string_view listName, std::string_view address) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    const std::string dataFile = services.paths.ListDataFile(*list);
    std::string removed;
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        SortedRoster roster = ReadRoster(dataFile);
        size_t index = SortedRoster::npos;
        for (size_t i = 0; i < roster.size() && index == SortedRoster::npos; ++i) {
            if (MemberEntry::AddressOf(roster[i]) == address) {
                index = i;
            }
        }
        if (index == SortedRoster::npos) {
            index = roster.FindAddress(LowerCase(address));
        }
        if (index == SortedRoster::npos) {
            return NotAMember(address);
        }
        removed = MemberEntry::AddressOf(roster[index]);
        roster.Delete(index);
        WriteSection(dataFile, kMemberList, roster.Items());
        if (roster.FindAddress(LowerCase(removed)) == SortedRoster::npos) {
            ForgetMemberMode(services.paths, *list, removed);
        }
    }
    bounce::ForgetMember(services, *list, removed);
    RecordConsoleAction(services, *list, " - " + removed,
                        ": - " + removed + "(manual remove by moderator)");
    services.observer.RosterChanged(*list);
    return ActionResult::Done();
}

ActionResult SetBanned(Services& services, std::string_view listName, std::string_view address,
                       bool banned) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    const std::string dataFile = services.paths.ListDataFile(*list);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        SortedRoster roster = ReadRoster(dataFile);
        const size_t target = roster.FindAddress(LowerCase(address));
        if (target == SortedRoster::npos) {
            return NotAMember(address);
        }
        Lines lines;
        lines.reserve(roster.size());
        for (size_t i = 0; i < roster.size(); ++i) {
            MemberEntry entry = MemberEntry::Parse(roster[i]);
            // Flags other than "1" are written back as "0".
            entry.flag = (i == target ? banned : entry.Banned()) ? "1" : "0";
            lines.push_back(entry.Format());
        }
        WriteSection(dataFile, kMemberList, lines);
    }
    services.observer.RosterChanged(*list);
    return ActionResult::Done();
}

ActionResult ChangePassword(Services& services, std::string_view listName, std::string_view address,
                            std::string_view password) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    if (password.find(' ') != std::string_view::npos || HasControlCharacter(password)) {
        return ActionResult::Refused(
            "A password cannot contain blanks or control characters: only the text before the "
            "first blank would be read back.");
    }
    const std::string dataFile = services.paths.ListDataFile(*list);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        SortedRoster roster = ReadRoster(dataFile);
        Lines lines = roster.Items();
        size_t index = 0;
        while (index < lines.size() && !SameText(MemberEntry::AddressOf(lines[index]), address)) {
            ++index;
        }
        if (index == lines.size()) {
            return NotAMember(address);
        }
        MemberEntry entry = MemberEntry::Parse(lines[index]);
        entry.password = password;
        lines[index] = entry.Format();
        WriteSection(dataFile, kMemberList, lines);
    }
    services.observer.RosterChanged(*list);
    return ActionResult::Done();
}

}  // namespace corvanteer
