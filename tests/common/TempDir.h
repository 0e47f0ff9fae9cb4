#pragma once

#include <string>
#include <vector>

namespace corvanteer::testing {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes away. Path() ends without "/".
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Sets the process's umask for the object's life (tests of file modes run under 000).
class ScopedUmask {
public:
    explicit ScopedUmask(unsigned mask);
    ~ScopedUmask();
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;

private:
    unsigned old_;
};

// Every file below root (root included for a folder) whose mode is not 0600 (folders: 0700),
// as "path mode" lines; empty when all are private. Links are not followed.
std::vector<std::string> NotPrivate(const std::string& root);

// Mounts a tmpfs of the given size at the folder (which must exist); false when this process
// may not mount (not root, no namespace rights). Unmount unmounts it (lazily).
bool MountTmpfs(const std::string& folder, const std::string& size);
// Makes the folder a read-only bind mount of itself; false when that is not allowed.
bool BindReadOnly(const std::string& folder);
void Unmount(const std::string& folder);

// Test helpers for files: whole content, or write bytes as they are.
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace corvanteer::testing
