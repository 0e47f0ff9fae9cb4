#pragma once

#include <string>

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

// Test helpers for files: whole content, or write bytes as they are.
std::string Slurp(const std::string& path);
void Spit(const std::string& path, const std::string& bytes);

}  // namespace corvanteer::testing
