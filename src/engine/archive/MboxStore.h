#pragma once

// The monthly mbox files of one list, "Lists/<list>/mbox/YYYY-MM.mbox", and their safe
// append.
//
// An append never leaves half a message that a later append builds on: before the record is
// written, "YYYY-MM.mbox.pending" is put in place (atomically, synced) naming where the record
// starts, its length and its SHA-256; then the record is written and synced, and the pending
// file removed. Whoever opens the file next and finds a pending file keeps the record only
// when it is all there with that digest, and cuts the file back to where it began otherwise.
// Writers hold an exclusive flock on the mbox file, readers a shared one.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer::archive {

class MboxStore {
public:
    // folder: the list's mbox folder (AppPaths::MboxFolder); created on the first append.
    explicit MboxStore(std::string folder);

    const std::string& folder() const { return folder_; }
    // folder + month + ".mbox"
    std::string MonthFile(std::string_view month) const;

    // Appends the records (MboxRecord, one or several) to the month's file as one unit:
    // after a crash either all of them are there or none. Raises Failure (Io) when the file
    // cannot be written; the file then stays as it was.
    void Append(std::string_view month, std::string_view records);

    // The months that have a file ("YYYY-MM.mbox"), oldest first.
    std::vector<std::string> Months() const;

    // The month file's bytes from offset up to the end of its last whole record (an
    // unfinished append is left out); "" when there is no such file or nothing after offset.
    // Raises Failure (Io) on a read error.
    std::string ReadMonth(std::string_view month, uint64_t offset = 0) const;

    // For tests: called after the pending file is in place and the given number of the
    // record's bytes are written, before the rest; a test throws from it to stand for a crash.
    void SetCrashHook(void (*hook)(std::size_t written)) { crashHook_ = hook; }

private:
    std::string folder_;
    void (*crashHook_)(std::size_t) = nullptr;
};

// "YYYY-MM" of a date, and true when text has that form with a month from 01 to 12.
std::string MonthOf(int year, int month);
bool IsMonthText(std::string_view text);

}  // namespace corvanteer::archive
