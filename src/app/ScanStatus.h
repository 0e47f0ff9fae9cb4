#pragma once

// The record of the last scan that `corvanteer-cli status` reads: start, end, outcome (with
// the error), the scan's counts and the next scan due. One small text file in the
// application directory ("scan-status.txt", lines "Name=value" ended by CR LF), replaced
// atomically under the store lock, so readers never see half a record and the window and
// the command line never lose each other's update.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/ScanSession.h"
#include "engine/Services.h"
#include "support/AppPaths.h"
#include "support/Clock.h"

namespace corvanteer {

struct ScanRecord {
    std::string started;  // local time, ISO 8601 with the UTC offset; "" before any scan
    std::string ended;
    bool ok = true;     // the session ran to its end
    std::string error;  // why the scan ended early (one line)
    ScanCounts counts;
    std::string nextScan;     // when the next scan is due, as above; "" when none is scheduled
    int intervalMinutes = 0;  // the interval nextScan was set with; 0: not known
    // Mailboxes that could not be logged into or read to their end (the scan went on).
    std::vector<MailboxFailure> mailboxFailures;
    int mailboxesTried = 0;
    std::string running;  // start of the scan in progress when it began; "" when none is
};

enum class ScanVerdict {
    Ok,       // nothing failed
    Partial,  // a mailbox or a delivery failed; the rest was done
    Failed,   // the scan ended early, or every mailbox it tried failed
};
ScanVerdict VerdictOf(const ScanRecord& record);
const char* VerdictName(ScanVerdict verdict);  // "ok", "partial", "failed"

// True when the next scan is due more than one interval ago (the runner stopped). False
// when no next scan is set or a time cannot be read.
bool NextScanOverdue(const ScanRecord& record, const LocalTime& now);

std::string ScanRecordFile(const AppPaths& paths);

// The record, or nullopt when none was written yet. Unknown or malformed lines are passed
// over (a newer program may add names). Raises Failure when the file cannot be read.
std::optional<ScanRecord> ReadScanRecord(const AppPaths& paths);

// Replaces the record atomically. Raises Failure on I/O errors.
void WriteScanRecord(const AppPaths& paths, const ScanRecord& record);

// "2026-03-09T14:05:00+01:00"
std::string IsoTime(const LocalTime& time);
// Seconds since 1970 (UTC) of an IsoTime text; nullopt for any other text.
std::optional<int64_t> IsoTimeSeconds(std::string_view text);
// The same moment plus minutes, written with the same UTC offset.
std::string IsoTimeAfterMinutes(const LocalTime& time, int minutes);

// Runs one scan session (RunScanSession: the caller holds the session lock) and records it:
// its start as the running scan first, then the whole record at its end.
// nextScanMinutes: the minutes from the scan's end to the next scan the caller has scheduled
// (0: none); nullopt keeps the next scan the record held, as a scan started by hand does not
// move the schedule of a window or service that runs meanwhile. A record that cannot be
// written is told through the observer's status text; the scan's outcome stays as it was.
ScanOutcome RunRecordedScan(Services& services, PollTimer& timer,
                            std::optional<int> nextScanMinutes);

// Sets the record's next scan to now + minutes (0: none scheduled), keeping the rest. For a
// run loop that chooses the next time itself. Failures are told as above.
void RecordNextScan(Services& services, int minutes);

}  // namespace corvanteer
