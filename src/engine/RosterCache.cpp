#include "engine/RosterCache.h"

#include "engine/Roster.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

const std::string_view* RosterCache::PosterPassword(const std::string& dataFile,
                                                    std::string_view lowerAddress) {
    const FileVersion version = VersionOf(dataFile);
    Roster& roster = rosters_[dataFile];
    if (!version.exists || !(roster.version == version) || !roster.posters) {
        roster.posters.reset();
        roster.text = ReadSection(dataFile, "MemberList");
        roster.arena = std::make_unique<std::pmr::monotonic_buffer_resource>();
        roster.posters =
            std::make_unique<std::pmr::unordered_map<std::string_view, std::string_view>>(
                roster.arena.get());
        roster.posters->reserve(roster.text.size() / 32);
        char* at = roster.text.data();
        char* const end = at + roster.text.size();
        while (at < end) {
            char* lineEnd = at;
            while (lineEnd < end && *lineEnd != '\r') {
                ++lineEnd;
            }
            // The fields of MemberEntry::Parse: address, ban flag, password.
            const std::string_view line(at, static_cast<std::size_t>(lineEnd - at));
            const std::size_t blank = line.find(' ');
            const std::string_view address = line.substr(0, blank);
            const std::string_view rest =
                blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
            const std::size_t flagEnd = rest.find(' ');
            if (rest.substr(0, flagEnd) == "0") {
                for (std::size_t i = 0; i < address.size(); ++i) {
                    if (at[i] >= 'A' && at[i] <= 'Z') {
                        at[i] = static_cast<char>(at[i] + ('a' - 'A'));
                    }
                }
                const std::string_view password =
                    flagEnd == std::string_view::npos
                        ? std::string_view()
                        : rest.substr(flagEnd + 1, rest.find(' ', flagEnd + 1) - flagEnd - 1);
                // The first entry of an address decides; later ones are passed over.
                roster.posters->try_emplace(address, password);
            }
            at = lineEnd + (lineEnd + 1 < end && lineEnd[1] == '\n' ? 2 : 1);
        }
        // A file that cannot be examined is read again next time.
        roster.version = version;
    }
    const auto found = roster.posters->find(lowerAddress);
    return found == roster.posters->end() ? nullptr : &found->second;
}

const std::string* RosterCache::DataFileOf(std::string_view listName) const {
    const auto found = files_.find(std::string(listName));
    return found == files_.end() ? nullptr : &found->second;
}

void RosterCache::Remember(std::string_view listName, std::string dataFile) {
    files_[std::string(listName)] = std::move(dataFile);
}

}  // namespace corvanteer
