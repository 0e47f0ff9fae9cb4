#pragma once

// What a new installation starts with: "Default List.dat", the model every new list's data
// file is copied from, holds short answers for the seven responses, the help text and the
// four delivery-mode answers (Mode_Verify, Mode_Changed, Which, Lists) and the notice to a
// member whose delivery was disabled (Bounce_Disabled), so a list answers helpfully before the
// operator writes their own.

#include <string>
#include <vector>

#include "support/AppPaths.h"

namespace corvanteer {

struct DefaultText {
    std::string section;
    std::string text;  // lines joined by CR LF, written with the template variables
};

// The sections and texts of a new "Default List.dat", in file order.
const std::vector<DefaultText>& DefaultListTexts();

// True when the application directory holds no settings database yet. Ask before the
// store is opened (opening creates it).
bool IsNewInstallation(const AppPaths& paths);

// Creates "Default List.dat" with DefaultListTexts() unless the file exists; an existing file
// is never touched. The file appears whole or not at all. Raises Failure on I/O errors.
void WriteDefaultListTexts(const AppPaths& paths);

}  // namespace corvanteer
