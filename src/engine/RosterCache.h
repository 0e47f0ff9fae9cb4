#pragma once

// The posting rules' view of list rosters, kept for one scan session: a list data file's
// MemberList is read and parsed once and used again for every later message while the file
// is unchanged (FileVersion), so a session's messages to a large list do not each read and
// scan the whole member section again. A file written since is read again.

#include <memory>
#include <memory_resource>
#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/FileVersion.h"

namespace corvanteer {

class RosterCache {
public:
    RosterCache() = default;
    // A copy starts empty (a cache fills again on demand); a move takes the rosters along.
    RosterCache(const RosterCache& /*other*/) {}
    RosterCache& operator=(const RosterCache& other) {
        if (this != &other) {
            rosters_.clear();
            files_.clear();
        }
        return *this;
    }
    RosterCache(RosterCache&&) = default;
    RosterCache& operator=(RosterCache&&) = default;
    ~RosterCache() = default;

    // The password of the first entry of lowerAddress (lower-cased) whose ban flag is
    // exactly "0", in the data file's MemberList; nullptr when it has none. The pointer
    // holds until the next call.
    const std::string_view* PosterPassword(const std::string& dataFile,
                                           std::string_view lowerAddress);

    // The data file the session found for a list name (its spelling in the list set may
    // differ in case); nullptr until Remember.
    const std::string* DataFileOf(std::string_view listName) const;
    void Remember(std::string_view listName, std::string dataFile);

private:
    struct Roster {
        FileVersion version;
        // The section as read, its addresses lower-cased in place; the map's views point
        // into it, so a roster of 100,000 members is two allocations and a table, not a
        // string per member.
        std::string text;
        // The table's nodes come from one arena, given back at once.
        std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;
        // Lower-cased address -> password of its first entry that may post.
        std::unique_ptr<std::pmr::unordered_map<std::string_view, std::string_view>> posters;
    };
    std::unordered_map<std::string, Roster> rosters_;
    std::unordered_map<std::string, std::string> files_;
};

}  // namespace corvanteer
