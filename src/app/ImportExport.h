#pragma once

// "Export list" and "Import list": a roster to and from a plain text file of addresses, one
// a line, lines ended by CR LF.

#include <string>
#include <string_view>
#include <vector>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

// A line of an import file that added nobody, and why.
struct RefusedLine {
    int number = 0;      // 1-based
    std::string text;    // the line as read, fit for a terminal (OneLineText)
    std::string reason;  // "not a valid email address", "already a member", ...
};

struct ImportCounts {
    int invalid = 0;    // lines that are not a usable address (blank lines included)
    int duplicate = 0;  // members already, or an address met earlier in the same file
    int added = 0;      // new members, each with a new password
    std::vector<RefusedLine> refused;  // every invalid and duplicate line, in file order
};

// The address one line of an import file offers, lower-cased and trimmed: the part in angle
// brackets of "Name <address>", else the first field of a line separated by commas or
// semicolons (a column of a spreadsheet's export), else the whole line; double quotes
// around it are dropped.
std::string ImportedAddress(std::string_view line);

// "Invalid names: " + n + CR LF + "Duplicate names: " + n + CR LF + "New names imported: " + n
std::string ImportMessage(const ImportCounts& counts);

// Writes the addresses of the sorted roster to the file, replacing it atomically, and
// records "   exported to " + the file's full path. Refused for an unknown list; raises
// Failure when the file cannot be written (nothing is recorded then).
ActionResult ExportMembers(Services& services, std::string_view list, const std::string& file);

// Reads any file (binary bytes, CR-only or LF-only line ends, very long lines): every line
// offers one candidate (ImportedAddress). Unusable candidates count invalid,
// members and addresses met earlier in the file count duplicate, the rest are added with new
// passwords and the section is stored sorted. The message is ImportMessage; counts receives
// the numbers when given. Records " + imported " + n. Refused for an unknown list; raises
// Failure when the file cannot be read (nothing is changed then).
ActionResult ImportMembers(Services& services, std::string_view list, const std::string& file,
                           ImportCounts* counts = nullptr);

}  // namespace corvanteer
