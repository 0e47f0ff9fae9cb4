#include "engine/RosterCache.h"

#include "engine/Roster.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer {

const std::string* RosterCache::PosterPassword(const std::string& dataFile,
                                               std::string_view lowerAddress) {
    const FileVersion version = VersionOf(dataFile);
    Roster& roster = rosters_[dataFile];
    if (!version.exists || !(roster.version == version)) {
        roster.posters.clear();
        const std::string text = ReadSection(dataFile, "MemberList");
        std::string_view rest(text);
        while (!rest.empty()) {
            const size_t end = rest.find("\r\n");
            const std::string_view line = rest.substr(0, end);
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
            MemberEntry entry = MemberEntry::Parse(line);
            if (entry.MayPost()) {
                // The first entry of an address decides; later ones are passed over.
                roster.posters.try_emplace(LowerCase(entry.address), std::move(entry.password));
            }
        }
        // A file that cannot be examined is read again next time.
        roster.version = version;
    }
    const auto found = roster.posters.find(std::string(lowerAddress));
    return found == roster.posters.end() ? nullptr : &found->second;
}

}  // namespace corvanteer
