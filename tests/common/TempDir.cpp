#include "common/TempDir.h"

#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace corvanteer::testing {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/corvanteer-test-XXXXXX";
    std::vector<char> name(base.begin(), base.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = name.data();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

ScopedUmask::ScopedUmask(unsigned mask) : old_(::umask(static_cast<mode_t>(mask))) {}

ScopedUmask::~ScopedUmask() {
    ::umask(static_cast<mode_t>(old_));
}

std::vector<std::string> NotPrivate(const std::string& root) {
    std::vector<std::string> wrong;
    auto check = [&wrong](const std::filesystem::path& path) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) {
            return;
        }
        const unsigned want = S_ISDIR(st.st_mode) ? 0700 : 0600;
        if ((st.st_mode & 07777) != want) {
            char mode[8];
            std::snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
            wrong.push_back(path.string() + " " + mode);
        }
    };
    check(root);
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, error)) {
        check(entry.path());
    }
    return wrong;
}

bool MountTmpfs(const std::string& folder, const std::string& size) {
    const std::string options = "size=" + size + ",mode=0700";
    return ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

bool BindReadOnly(const std::string& folder) {
    if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return false;
    }
    if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        ::umount2(folder.c_str(), MNT_DETACH);
        return false;
    }
    return true;
}

void Unmount(const std::string& folder) {
    ::umount2(folder.c_str(), MNT_DETACH);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace corvanteer::testing
