#pragma once

// A list's archive as the program uses it: the monthly mbox files under Lists/<list>/mbox/
// and the HTML archive built from them (Lists/<list>/html/ unless another folder is given).

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/Services.h"
#include "engine/archive/ArchiveSite.h"

namespace corvanteer::archive {

// What the list's pages say of it, read from its settings, its data file, the console's
// List Server address, its roster and the activity log.
SiteInfo ListSiteInfo(Services& services, const std::string& listName);

// Builds the list's HTML archive into outDir: "" for the list's own folder, whose files are
// private; the files of a folder given get the usual modes (umask), for publishing.
BuildReport BuildListArchive(Services& services, const std::string& listName,
                             const std::string& outDir = "");

// Appends a distributed posting (the bytes as they went to the members, CR LF or LF line
// ends) to the mbox file of the current month, with envelopeSender in its separator line.
// Raises Failure (Io) when the file cannot be written.
void ArchivePosting(Services& services, const std::string& listName, std::string_view message,
                    const std::string& envelopeSender);

struct ExportReport {
    std::size_t messages = 0;
    std::size_t months = 0;
};

// Writes the messages of the months from..to (both "YYYY-MM", "" for no bound) into one
// mbox file, replacing it atomically. Raises Failure (Refused) for a bound that is no month
// or a range that is empty, (Io) when a file cannot be read or written.
ExportReport ExportArchive(Services& services, const std::string& listName, const std::string& from,
                           const std::string& to, const std::string& file);

struct ImportReport {
    std::size_t read = 0;     // messages in the file
    std::size_t added = 0;    // appended to the archive
    std::size_t skipped = 0;  // their Message-ID (or, without one, the same bytes) was there
};

// Adds the messages of an mbox file (mboxrd or mboxo, LF or CR LF) to the archive, each to
// the file of the month of its Date (local time; the separator line's date, else now, when
// it has none), skipping a message whose Message-ID the archive (or the file before it)
// holds already. Nothing is sent. Raises Failure (Io) when a file cannot be read or written,
// (Refused) when the file holds no mbox records.
ImportReport ImportArchive(Services& services, const std::string& listName,
                           const std::string& file);

}  // namespace corvanteer::archive
