#pragma once

// What every front end does with the application directory at start-up, before anything
// else uses it: warn when other users can read it, remove what killed writes left and
// given-up mail past its 30 days.

#include <ctime>
#include <optional>
#include <ostream>
#include <string>

#include "support/AppPaths.h"
#include "support/Clock.h"

namespace corvanteer {

// The warning for an application directory that users other than its owner may read, write
// or enter (the data files hold member addresses and passwords); nullopt when it is private.
std::optional<std::string> AppDirectoryWarning(const AppPaths& paths);

// Removes temporary files of atomic replacements ("<name>.XXXXXX" beside a "*.dat" or "*.txt"
// file or the thread index) whose last change is before olderThan, in the application
// directory, the queue folders and every list's archive and saved-message folders. Files
// that cannot be removed (a read-only folder) stay. The result is the number removed.
int RemoveLeftoverTempFiles(const AppPaths& paths, std::time_t olderThan);

// At start-up: the warning goes to err and, after LogStamp(clock.Now()), to the activity
// log; temporary files older than an hour are removed, and given-up mail older than 30 days
// (RemoveExpiredGivenUp), each with a log line.
void CheckApplicationDirectory(const AppPaths& paths, const Clock& clock, std::ostream& err);

}  // namespace corvanteer
