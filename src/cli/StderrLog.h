#pragma once

// The lines the command line writes on standard error while it scans or runs. On a terminal
// or in a file they read as they always did; when standard error is the journal (the service
// under systemd), each line begins with its syslog priority ("<3>" error, "<4>" warning,
// "<6>" information) and carries no time stamp of its own, since the journal stamps every
// line itself.

#include <iosfwd>
#include <string>
#include <string_view>

#include "engine/Services.h"

namespace corvanteer::cli {

// True when $JOURNAL_STREAM ("device:inode", set by systemd) names the file that fd is open
// on: a child that redirected its standard error keeps the variable but writes elsewhere.
bool IsJournalStream(const char* journalStream, int fd);

// The line without the log stamp in front of it ("Tue,08Dec26 05:40:30 "): a first word
// holding a comma, a blank and "hh:mm:ss ", within the first 40 bytes; the line unchanged
// when it has none.
std::string_view WithoutLogStamp(std::string_view line);

class StderrLog {
public:
    StderrLog(std::ostream& err, bool journal) : err_(err), journal_(journal) {}

    bool Journal() const { return journal_; }
    // A line without a stamp (progress, a mailbox opened, the end of a run).
    void Line(std::string_view text, LogPriority priority);
    // A line whose stamp is given apart: written with it, or with the priority instead.
    void Stamped(std::string_view stamp, std::string_view text, LogPriority priority);
    // A line of the activity log, stamp included.
    void LogLine(std::string_view line, LogPriority priority);

private:
    std::ostream& err_;
    bool journal_;
};

}  // namespace corvanteer::cli
