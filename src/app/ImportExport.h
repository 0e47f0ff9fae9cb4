#pragma once

// "Export list" and "Import list": a roster to and from a plain text file of addresses, one
// a line, lines ended by CR LF.

#include <string>
#include <string_view>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

struct ImportCounts {
    int invalid = 0;    // lines that are not a usable address (blank lines included)
    int duplicate = 0;  // members already, or an address met earlier in the same file
    int added = 0;      // new members, each with a new password
};

// "Invalid names: " + n + CR LF + "Duplicate names: " + n + CR LF + "New names imported: " + n
std::string ImportMessage(const ImportCounts& counts);

// Writes the addresses of the sorted roster to the file, replacing it atomically, and
// records "   exported to " + the file's full path. Refused for an unknown list; raises
// Failure when the file cannot be written (nothing is recorded then).
ActionResult ExportMembers(Services& services, std::string_view list, const std::string& file);

// Reads any file (binary bytes, CR-only or LF-only line ends, very long lines): every line is
// lower-cased and trimmed and is then one candidate. Unusable candidates count invalid,
// members and addresses met earlier in the file count duplicate, the rest are added with new
// passwords and the section is stored sorted. The message is ImportMessage; counts receives
// the numbers when given. Records " + imported " + n. Refused for an unknown list; raises
// Failure when the file cannot be read (nothing is changed then).
ActionResult ImportMembers(Services& services, std::string_view list, const std::string& file,
                           ImportCounts* counts = nullptr);

}  // namespace corvanteer
