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

// Guards every read-modify-write of a list data file, "vericode.dat" or the queue: a mutex
// within the process plus an flock on the store lock file, so a scan and an operator's edit
// in another thread or process never lose each other's changes. Held for one
// read-modify-write at a time, never across network waits. Usable with std::lock_guard.
class StoreLock {
public:
    explicit StoreLock(std::string path);
    void lock();
    void unlock();

private:
    std::mutex mutex_;
    FileLock file_;
};

}  // namespace corvanteer
