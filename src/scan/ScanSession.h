#pragma once

#include <mutex>
#include <string>

#include "scan/ScanContext.h"
#include "scan/Services.h"
#include "support/Locks.h"
#include "support/Text.h"

namespace corvanteer {

// Keeps sessions (scans and manual postings) of every thread and process from overlapping:
// a mutex within the process plus an flock on "session.lock".
class SessionLock {
public:
    explicit SessionLock(std::string path);
    void lock();
    bool try_lock();
    void unlock();

private:
    std::mutex mutex_;
    FileLock file_;
};

struct ScanOutcome {
    bool ok = true;
    std::string error;  // why the session ended early, naming the cause
    ScanCounts counts;
};

// Runs one whole scan session: stop the poll timer, flush the pending queue, read the List
// Server mailbox, download every list mailbox into its temp folder, process every temp file,
// and give the poll timer its interval again (also after an error). The caller holds the
// session lock.
ScanOutcome RunScanSession(Services& services, PollTimer& timer);

// Splits a temp file into header lines (up to the first empty line, then one empty line)
// and body lines (everything after). Both are cleared first; a missing file leaves them so.
void SplitMessageFile(const std::string& file, Lines& header, Lines& body);

}  // namespace corvanteer
