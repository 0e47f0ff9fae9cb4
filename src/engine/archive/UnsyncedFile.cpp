#include "engine/archive/UnsyncedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::archive {

void ReplaceFileUnsynced(const std::string& path, std::string_view bytes, bool privateFile) {
    const std::string temp = path + ".new";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                          privateFile ? kPrivateFileMode : 0666);
    if (fd < 0) {
        ThrowIoError("Cannot write", temp, errno);
    }
    if (privateFile) {
        ::fchmod(fd, kPrivateFileMode);
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            ThrowIoError("Cannot write", temp, error);
        }
        done += static_cast<std::size_t>(put);
    }
    if (::close(fd) != 0 || ::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        ThrowIoError("Cannot write", path, error);
    }
}

}  // namespace corvanteer::archive
