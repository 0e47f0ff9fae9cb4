#include "app/ImportExport.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <unordered_set>

#include "app/ConsoleRecords.h"
#include "app/ListOperations.h"
#include "app/RosterOperations.h"
#include "engine/Roster.h"
#include "support/Address.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

std::string FullPath(const std::string& file) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(file, error);
    return error ? file : full.lexically_normal().string();
}

}  // namespace

std::string ImportedAddress(std::string_view line) {
    std::string_view part = line;
    const std::size_t open = line.rfind('<');
    const std::size_t close = open == std::string_view::npos ? open : line.find('>', open);
    if (close != std::string_view::npos) {
        part = line.substr(open + 1, close - open - 1);
    } else {
        part = part.substr(0, part.find_first_of(",;"));
    }
    std::string address = Trim(LowerCase(part));
    if (address.size() >= 2 && address.front() == '"' && address.back() == '"') {
        address = Trim(address.substr(1, address.size() - 2));
    }
    return address;
}

std::string ImportMessage(const ImportCounts& counts) {
    return "Invalid names: " + std::to_string(counts.invalid) + "\r\n" +
           "Duplicate names: " + std::to_string(counts.duplicate) + "\r\n" +
           "New names imported: " + std::to_string(counts.added);
}

ActionResult ExportMembers(Services& services, std::string_view listName, const std::string& file) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    RosterView roster = FillRoster(services, *list);
    std::string text;
    for (const RosterEntry& entry : roster.entries) {
        text += entry.address;
        text += "\r\n";
    }
    WriteFileAtomic(file, text);

    const std::string path = FullPath(file);
    RecordConsoleAction(services, *list, "   exported to " + path, ":   exported to " + path);
    services.observer.RosterChanged(*list);
    return ActionResult::Done();
}

ActionResult ImportMembers(Services& services, std::string_view listName, const std::string& file,
                           ImportCounts* countsOut) {
    std::optional<std::string> list = ResolveList(services, listName);
    if (!list) {
        return UnknownList(listName);
    }
    const Lines candidates = TextToLines(ReadFile(file));
    const std::string dataFile = services.paths.ListDataFile(*list);

    ImportCounts counts;
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        SortedRoster roster;
        roster.AssignText(ReadSection(dataFile, "MemberList"));
        // Members as the roster stood, then every address taken from the file: an address
        // that occurs twice in the file is added once and counted duplicate the second time.
        std::unordered_set<std::string> known;
        known.reserve(roster.size() + candidates.size());
        for (const std::string& entry : roster.Items()) {
            known.insert(LowerCase(MemberEntry::AddressOf(entry)));
        }
        // Where in the file each new address came from, for a later line that repeats it.
        std::unordered_map<std::string, int> importedAt;
        Lines lines = roster.Items();
        int number = 0;
        for (const std::string& line : candidates) {
            ++number;
            std::string address = ImportedAddress(line);
            auto refuse = [&](std::string reason) {
                counts.refused.push_back({number, OneLineText(line, 100), std::move(reason)});
            };
            if (!IsUsableMemberAddress(address)) {
                ++counts.invalid;
                refuse(Trim(line).empty() ? "empty" : "not a valid email address");
            } else if (!known.insert(address).second) {
                ++counts.duplicate;
                auto earlier = importedAt.find(address);
                refuse(earlier == importedAt.end()
                           ? "already a member"
                           : "repeats line " + std::to_string(earlier->second));
            } else {
                importedAt.emplace(address, number);
                lines.push_back(
                    MemberEntry::New(address, GeneratePassword(services.random)).Format());
                ++counts.added;
            }
        }
        roster.Assign(lines);  // one sort for the whole import
        WriteSection(dataFile, "MemberList", roster.Items());
    }

    const std::string number = std::to_string(counts.added);
    RecordConsoleAction(services, *list, " + imported " + number, ":   imported " + number);
    services.observer.RosterChanged(*list);
    if (countsOut != nullptr) {
        *countsOut = counts;
    }
    return ActionResult::Done(ImportMessage(counts));
}

}  // namespace corvanteer
