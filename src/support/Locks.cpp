#include "support/Locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

int OpenLockFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) {
        ThrowIoError("Cannot open the lock file", path, errno);
    }
    ::fchmod(fd, kPrivateFileMode);  // exact, whatever the umask
    return fd;
}

}  // namespace

FileLock::FileLock(std::string path) : path_(std::move(path)) {}

FileLock::~FileLock() {
    Unlock();
}

bool FileLock::TryLock() {
    if (fd_ >= 0) {
        return true;
    }
    // Each attempt opens its own description: flock locks belong to the open file
    // description, so two FileLock objects exclude each other even within one process.
    int fd = OpenLockFile(path_);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            return false;
        }
        ThrowIoError("Cannot lock", path_, error);
    }
    fd_ = fd;
    return true;
}

void FileLock::Lock() {
    if (fd_ >= 0) {
        return;
    }
    int fd = OpenLockFile(path_);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) {
            continue;
        }
        int error = errno;
        ::close(fd);
        ThrowIoError("Cannot lock", path_, error);
    }
    fd_ = fd;
}

void FileLock::Unlock() {
    if (fd_ < 0) {
        return;
    }
    // Closing the only descriptor of the description releases the lock.
    ::close(fd_);
    fd_ = -1;
}

ProcessLock::ProcessLock(std::string path) : file_(std::move(path)) {}

void ProcessLock::lock() {
    mutex_.lock();
    try {
        file_.Lock();
    } catch (...) {
        mutex_.unlock();
        throw;
    }
}

bool ProcessLock::try_lock() {
    if (!mutex_.try_lock()) {
        return false;
    }
    bool taken = false;
    try {
        taken = file_.TryLock();
    } catch (...) {
        mutex_.unlock();
        throw;
    }
    if (!taken) {
        mutex_.unlock();
    }
    return taken;
}

void ProcessLock::unlock() {
    file_.Unlock();
    mutex_.unlock();
}

}  // namespace corvanteer

namespace corvanteer {

bool LockFileHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // also lets go of the shared lock, if it was had
    return held;
}

}  // namespace corvanteer
