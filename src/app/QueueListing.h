#pragma once

// The messages waiting in the Out folder, as `queue` prints them: failed ones first, then the
// held ones, each group oldest first; then the given-up ones (out/given-up/), which no scan
// retries, by name.

#include <string>
#include <vector>

#include "support/AppPaths.h"

namespace corvanteer {

struct QueueEntry {
    std::string file;        // the file's name in the Out folder
    bool malformed = false;  // the file does not follow the queue format; the rest stays empty
    bool held = false;       // held by a sending cap or a server's limit
    bool givenUp = false;    // past SmtpMaxAttempts, in out/given-up/ (`queue retry`)
    int attempts = 0;
    std::string from;  // the envelope sender as stored (may be empty)
    size_t recipients = 0;
};

// Reads every queue file; a file a running scan sent and removed meanwhile is left out.
std::vector<QueueEntry> ListQueue(const AppPaths& paths);

}  // namespace corvanteer
