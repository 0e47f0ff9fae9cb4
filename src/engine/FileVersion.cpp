#include "engine/FileVersion.h"

#include <sys/stat.h>

namespace corvanteer {

FileVersion VersionOf(const std::string& path) {
    FileVersion version;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        version.exists = true;
        version.device = st.st_dev;
        version.inode = st.st_ino;
        version.size = st.st_size;
        version.seconds = static_cast<long long>(st.st_mtim.tv_sec);
        version.nanoseconds = st.st_mtim.tv_nsec;
    }
    return version;
}

}  // namespace corvanteer
