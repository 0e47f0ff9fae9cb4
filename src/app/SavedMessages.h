#pragma once

// Messages saved by name per list, for the manual posting page: Lists/<list>/posts/<name>.txt
// holding "From: " + From field, "Subject: " + Subject field, an empty line and the message
// lines, every line ended by CR LF. list is always a name as ResolveList gives it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ActionResult.h"
#include "support/AppPaths.h"
#include "support/Text.h"

namespace corvanteer {

struct SavedMessage {
    std::string from;
    std::string subject;
    Lines lines;
};

// The names of the saved messages (file names without ".txt") in directory order; none when
// the folder does not exist.
std::vector<std::string> ListSavedMessages(const AppPaths& paths, const std::string& list);

// "" when the name may name a saved message, else the refusal: empty after trimming, or
// holding "/", "\", ".." or a control character (it names a file in the posts folder).
std::string CheckMessageName(std::string_view name);

// The message, or nullopt when the name is refused or no such file exists. From is the first
// line without its first five characters (the whole line when it is shorter), trimmed; Subject
// the second line without its first eight characters, trimmed; the third line (the empty
// one) is dropped and the rest are the message lines. Missing lines count as empty.
std::optional<SavedMessage> LoadSavedMessage(const AppPaths& paths, const std::string& list,
                                             std::string_view name);

// Writes <name>.txt (the name as given, untrimmed), creating the posts folder and replacing
// a file of that name atomically. Refused for a name CheckMessageName refuses; raises
// Failure when the file cannot be written.
ActionResult SaveMessage(const AppPaths& paths, const std::string& list, std::string_view name,
                         const SavedMessage& message);

// Deletes <name>.txt. Refused for a refused name or when there is no such message.
ActionResult DeleteSavedMessage(const AppPaths& paths, const std::string& list,
                                std::string_view name);

}  // namespace corvanteer
