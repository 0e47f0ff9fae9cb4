#pragma once

// The answers of the delivery-mode requests by mail: their template sections, the variables
// only they know, and the texts a list starts with.

#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {

// Template sections. Mode_Verify asks for the code (subject VerifySubject + " (" + code +
// ")"), Mode_Changed confirms a change (ModeChangedSubject); Which and Lists answer the
// requests of those names and are read from "Default List.dat" (WhichSubject and
// ListsSubject of the Default List), as they name no list.
inline constexpr const char* kModeVerifySection = "Mode_Verify";
inline constexpr const char* kModeChangedSection = "Mode_Changed";
inline constexpr const char* kWhichSection = "Which";
inline constexpr const char* kListsSection = "Lists";

// "{Mode}": the mode asked for (Mode_Verify, Mode_Changed). "{Lists}": one line per list,
// "  " + name (Lists), "  " + name + " (" + mode + ")" (Which), or "  (none)".
inline constexpr const char* kModeVariable = "{Mode}";
inline constexpr const char* kListsVariable = "{Lists}";

struct ModeText {
    const char* section;
    std::string text;  // lines joined by CR LF
};

// The four sections' texts for a new "Default List.dat", in file order.
const std::vector<ModeText>& DefaultModeTexts();

// The text of one of the four sections as the list file holds it, or the default text when
// the file holds none (lists made before these answers existed still answer usefully).
std::string ModeTemplate(const std::string& listDataFile, std::string_view section);

}  // namespace corvanteer
