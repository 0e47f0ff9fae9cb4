#pragma once

// The posting rules' view of list rosters, kept for one scan session: a list data file's
// MemberList is read and parsed once and used again for every later message while the file
// is unchanged (FileVersion), so a session's messages to a large list do not each read and
// scan the whole member section again. A file written since is read again.

#include <string>
#include <string_view>
#include <unordered_map>

#include "engine/FileVersion.h"

namespace corvanteer {

class RosterCache {
public:
    // The password of the first entry of lowerAddress (lower-cased) whose ban flag is
    // exactly "0", in the data file's MemberList; nullptr when it has none. The pointer
    // holds until the next call.
    const std::string* PosterPassword(const std::string& dataFile, std::string_view lowerAddress);

private:
    struct Roster {
        FileVersion version;
        // Lower-cased address -> password of its first entry that may post.
        std::unordered_map<std::string, std::string> posters;
    };
    std::unordered_map<std::string, Roster> rosters_;
};

}  // namespace corvanteer
