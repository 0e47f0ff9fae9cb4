#pragma once

// Exclusive locks that hold across processes (flock on a file in the application directory).

#include <mutex>
#include <string>

namespace corvanteer {

// An flock on one file, taken by this object. The file is created when missing.
class FileLock {
public:
    explicit FileLock(std::string path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool TryLock();  // false when another holder has it (raises when the file cannot be opened)
    void Lock();     // waits until it is ours
    void Unlock();
    bool Held() const { return fd_ >= 0; }

private:
    std::string path_;
    int fd_ = -1;
};

// True when some process (this one included) holds an flock on the file; false when nobody
// does or the file is missing. Takes nothing that a holder-to-be would wait for longer than
// this call, and never creates the file (for readers of a read-only folder).
bool LockFileHeld(const std::string& path);

// A lock that excludes every thread of this process and every other process: a mutex plus an
// flock on a file. One object per lock file and process; usable with std::lock_guard and
// std::unique_lock. lock() waits; try_lock() returns false at once when any thread or
// process holds it. Both raise when the lock file cannot be opened.
class ProcessLock {
public:
    explicit ProcessLock(std::string path);
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;
    void lock();
    bool try_lock();
    void unlock();

private:
    std::mutex mutex_;
    FileLock file_;
};

// Guards every read-modify-write of a list data file, "vericode.dat" or the queue (flock on
// "store.lock"), so a scan and an operator's edit in another thread or process never lose
// each other's changes. Held for one read-modify-write at a time, never across network waits.
using StoreLock = ProcessLock;

// Keeps sessions (scans and manual postings) of every thread and process from overlapping
// (flock on "session.lock"). try_lock() is for a front end that must not start a second
// session (a "Go" click while a scan runs).
using SessionLock = ProcessLock;

}  // namespace corvanteer
