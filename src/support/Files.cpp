#include "support/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "support/Status.h"

namespace corvanteer {

namespace {

constexpr size_t kWriteBufferSize = 64 * 1024;

// Writes all bytes, retrying short writes and interruptions.
bool WriteAll(int fd, std::string_view bytes) {
    const char* data = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string AddBackslash(std::string_view path) {
    if (path.empty() || path.back() == '/') {
        return std::string(path);
    }
    return std::string(path) + "/";
}

std::string MakeUniqueFileName(std::string_view folder, std::string_view extension,
                               RandomSource& random) {
    static constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    const std::string base = AddBackslash(folder);
    while (true) {
        std::string name;
        for (int i = 0; i < 8; ++i) {
            name.push_back(kAlphabet[random.Below(36)]);
        }
        std::string candidate = base + name + "." + std::string(extension);
        struct stat st {};
        if (::lstat(candidate.c_str(), &st) != 0) {
            // Absent, or the folder cannot be searched at all (missing, not a folder, no
            // permission): no draw would ever find a free name then, and the caller's write
            // reports the real reason.
            return candidate;
        }
    }
}

void AppendLine(const std::string& path, std::string_view line) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    std::string buffer;
    buffer.reserve(line.size() + 2);
    buffer.append(line);
    buffer.append("\r\n");
    (void)WriteAll(fd, buffer);
    ::close(fd);
}

void AppendToFile(const std::string& path, std::string_view bytes, unsigned mode) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, mode);
    if (fd < 0) {
        ThrowIoError("Cannot open", path, errno);
    }
    if (!WriteAll(fd, bytes)) {
        int error = errno;
        ::close(fd);
        ThrowIoError("Cannot write", path, error);
    }
    if (::close(fd) != 0) {
        ThrowIoError("Cannot write", path, errno);
    }
}

void WriteTextFile(const std::string& path, std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + 2);
    bytes.append(text);
    bytes.append("\r\n");
    WriteFileAtomic(path, bytes);
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
    AtomicFileWriter writer(path);
    writer.Append(bytes);
    writer.Commit();
}

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
    // mkstemp needs a writable buffer; the temporary name stays in the target's folder so
    // the rename cannot cross file systems.
    std::string pattern = path_ + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ < 0) {
        ThrowIoError("Cannot create a temporary file for", path_, errno);
    }
    tempPath_.assign(name.data());
    // Keep the permissions of the file being replaced.
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        ::fchmod(fd_, st.st_mode & 07777);
    } else {
        ::fchmod(fd_, 0644);
    }
    buffer_.reserve(kWriteBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(tempPath_.c_str());
    }
}

void AtomicFileWriter::Append(std::string_view bytes) {
    if (fd_ < 0) {
        ThrowIoError("Cannot write", path_, EBADF);
    }
    if (buffer_.size() + bytes.size() <= kWriteBufferSize) {
        buffer_.append(bytes);
        return;
    }
    Flush();
    if (bytes.size() >= kWriteBufferSize) {
        if (!WriteAll(fd_, bytes)) {
            Fail("Cannot write", errno);
        }
    } else {
        buffer_.append(bytes);
    }
}

void AtomicFileWriter::Flush() {
    if (!buffer_.empty()) {
        if (!WriteAll(fd_, buffer_)) {
            Fail("Cannot write", errno);
        }
        buffer_.clear();
    }
}

void AtomicFileWriter::Fail(const char* what, int error) {
    ::close(fd_);
    ::unlink(tempPath_.c_str());
    fd_ = -1;
    ThrowIoError(what, path_, error);
}

void AtomicFileWriter::Commit() {
    if (fd_ < 0) {
        ThrowIoError("Cannot write", path_, EBADF);
    }
    Flush();
    if (::fsync(fd_) != 0) {
        Fail("Cannot write", errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(tempPath_.c_str());
        ThrowIoError("Cannot write", path_, error);
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        ::unlink(tempPath_.c_str());
        ThrowIoError("Cannot replace", path_, error);
    }
    SyncFolder(FolderOf(path_));
}

void WriteNewFileSynced(const std::string& path, std::string_view bytes) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        ThrowIoError("Cannot create", path, errno);
    }
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) {
        int error = errno;
        ::close(fd);
        ::unlink(path.c_str());
        ThrowIoError("Cannot write", path, error);
    }
    if (::close(fd) != 0) {
        int error = errno;
        ::unlink(path.c_str());
        ThrowIoError("Cannot write", path, error);
    }
    SyncFolder(FolderOf(path));
}

std::optional<std::string> ReadFileIfExists(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        ThrowIoError("Cannot open", path, errno);
    }
    std::string content;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size > 0) {
        content.reserve(static_cast<size_t>(st.st_size));
    }
    char buffer[65536];
    while (true) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            int error = errno;
            ::close(fd);
            ThrowIoError("Cannot read", path, error);
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return content;
}

std::string ReadFile(const std::string& path) {
    auto content = ReadFileIfExists(path);
    if (!content) {
        ThrowIoError("Cannot open", path, ENOENT);
    }
    return std::move(*content);
}

Lines ReadLines(const std::string& path) {
    return TextToLines(ReadFile(path));
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& path) {
    if (path.empty()) {
        ThrowIoError("Cannot create the folder", path, ENOENT);
    }
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error || !DirectoryExists(path)) {
        ThrowIoError("Cannot create the folder", path, error ? error.value() : ENOTDIR);
    }
}

bool DeleteFileIfExists(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::vector<std::string> ListFiles(const std::string& folder, std::string_view suffix) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == ".." || name.size() < suffix.size() ||
            !SameText(std::string_view(name).substr(name.size() - suffix.size()), suffix)) {
            continue;
        }
        if (FileExists(AddBackslash(folder) + name)) {
            names.push_back(std::move(name));
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace corvanteer
