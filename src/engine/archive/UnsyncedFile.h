#pragma once

// Files of the archive that can be made again from the mbox files (pages, indexes): replaced
// whole by a rename, so no reader sees half of one, but not synced to disk, which would cost
// more than a lost one.

#include <string>
#include <string_view>

namespace corvanteer::archive {

// Writes path + ".new" and renames it over path. privateFile: the program's private mode
// (0600); else the usual one (0666 less the umask). Raises Failure (Io) on error; the old
// file then stays as it was.
void ReplaceFileUnsynced(const std::string& path, std::string_view bytes, bool privateFile);

}  // namespace corvanteer::archive
