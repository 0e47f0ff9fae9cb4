#pragma once

// Builds the static HTML archive of one list from its mbox files, and brings it up to date
// by writing only the pages that changed.

#include <cstddef>
#include <string>

#include "engine/archive/ArchivePages.h"
#include "engine/archive/MboxStore.h"

namespace corvanteer::archive {

struct BuildReport {
    std::size_t messages = 0;
    std::size_t months = 0;
    std::size_t pagesWritten = 0;  // pages written because they are new or changed
    std::size_t pagesRemoved = 0;  // pages of messages no longer in the archive
};

// The name of the record of pages in the output folder: one line per page, what the page
// was made of (a digest), its size and its path. Digests only: it names no person.
inline constexpr const char* kPageRecordName = ".corvanteer-pages";

// Writes into outDir (created when missing): index.html, YYYY-MM/threads.html and
// YYYY-MM/date.html for every month with a file, and msg/<name>.html for every message,
// its attachments in msg/<name>/. Messages are shown in the order of their dates (then of
// their place in the files); each one's page name comes from its Message-ID (MessagePageOf;
// a second message with the same identifier gets "-2" before ".html", and so on). A page is
// written only when what it is made of differs from the record of the last build, or when
// its file is missing or has another size; pages of the last build that are no longer made
// are removed. The same mbox files and settings give the same bytes. Builds of one store
// wait for each other (flock on ".build.lock" in the mbox folder). Raises Failure (Io) when
// a file cannot be read or written. privateFiles: files and folders get the program's
// private modes (as in the application directory); else the usual ones (umask), so a web
// server can read a folder made for publishing.
BuildReport BuildSite(const MboxStore& store, const std::string& outDir, const SiteInfo& info,
                      bool privateFiles = true);

}  // namespace corvanteer::archive
