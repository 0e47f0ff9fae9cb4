#include "app/RosterOperations.h"

#include <mutex>
#include <optional>

#include "app/ConsoleRecords.h"
#include "app/ListOperations.h"
#include "engine/Roster.h"
#include "support/Address.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

constexpr size_t kMaxAddressLength = 254;
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

// Rewrites the entry's flag: address + " 1 " or " 0 " + password.
std::string WithFlag(const std::string& entry, bool banned) {
    SplitResult parts = SplitString(entry, " ");
    return parts.Part(1) + (banned ? " 1 " : " 0 ") + parts.Part(3);
}

}  // namespace

RosterView FillRoster(Services& services, const std::string& list) {
    SortedRoster roster = ReadRoster(services.paths.ListDataFile(list));
    RosterView view;
    view.entries.reserve(roster.size());
    for (const std::string& line : roster.Items()) {
        SplitResult parts = SplitString(line, " ");
        RosterEntry entry{line, parts.Part(1), parts.Part(2) == "1"};
        view.banned += entry.banned ? 1 : 0;
        view.entries.push_back(std::move(entry));
    }
    view.total = view.entries.size();
    return view;
}

bool IsUsableMemberAddress(std::string_view address) {
    return address.size() <= kMaxAddressLength && IsValidEmail(address) &&
           !HasControlCharacter(address);
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
            if (LowerCase(EntryAddress(line)) == address) {
                return ActionResult::Refused(address + " is aready a member.");
            }
        }
        // Appended; the section is sorted by the next operation that rewrites it by position.
        lines.push_back(NewMemberEntry(address, password));
        WriteSection(dataFile, kMemberList, lines);
    }

    const std::string key = services.paths.ListKey(*list);
    std::string message;
    if (services.store.ReadRegBool(key, "RequirePassword", false) &&
        services.store.ReadRegInteger(key, "AllowPostBy", 0) == 1) {
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
            if (EntryAddress(roster[i]) == address) {
                index = i;
            }
        }
        if (index == SortedRoster::npos) {
            index = roster.FindAddress(LowerCase(address));
        }
        if (index == SortedRoster::npos) {
            return NotAMember(address);
        }
        removed = EntryAddress(roster[index]);
        roster.Delete(index);
        WriteSection(dataFile, kMemberList, roster.Items());
    }
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
            const bool flag = i == target ? banned : SplitString(roster[i], " ").Part(2) == "1";
            lines.push_back(WithFlag(roster[i], flag));
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
        while (index < lines.size() && !SameText(EntryAddress(lines[index]), address)) {
            ++index;
        }
        if (index == lines.size()) {
            return NotAMember(address);
        }
        SplitResult parts = SplitString(lines[index], " ");
        lines[index] = parts.Part(1) + " " + parts.Part(2) + " " + std::string(password);
        WriteSection(dataFile, kMemberList, lines);
    }
    services.observer.RosterChanged(*list);
    return ActionResult::Done();
}

}  // namespace corvanteer
