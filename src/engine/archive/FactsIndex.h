#pragma once

// The facts of every archived message, kept beside the mbox files (".index") so that a
// build after a scan reads only the records appended since the last one.

#include <string>
#include <vector>

#include "engine/archive/MboxStore.h"
#include "engine/archive/MessageFacts.h"

namespace corvanteer::archive {

// The facts of every message of the store, month by month in file order. A month file that
// only grew since the index was written is read from where it ended before; one that
// changed otherwise (or any file when the index is missing or of another version) is read
// whole. The index is written back (atomically) when anything changed; a failure to write it
// only costs time at the next build. Raises Failure when a month file cannot be read.
std::vector<MessageFacts> UpdateFactsIndex(const MboxStore& store);

// The facts of every record of one month file's bytes from offset on (a record boundary).
std::vector<MessageFacts> ReadFactsOfMonth(std::string_view month, std::string_view bytes,
                                           std::size_t offset = 0);

// The index file of a store.
std::string FactsIndexFile(const MboxStore& store);

}  // namespace corvanteer::archive
