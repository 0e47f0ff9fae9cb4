#pragma once

// What identifies one version of a file: a changed size, modification time (nanoseconds) or
// inode means the file was written since (every writer replaces files by renaming a new one
// into place, so even a rewrite of the same size within one clock tick gets a new inode).

#include <sys/types.h>

#include <string>

namespace corvanteer {

struct FileVersion {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long seconds = 0;
    long nanoseconds = 0;

    bool operator==(const FileVersion&) const = default;
};

// The version of the file at path now; exists is false when it cannot be examined.
FileVersion VersionOf(const std::string& path);

}  // namespace corvanteer
