#include "support/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

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

// Files the program writes hold member passwords and addresses: they are the user's alone,
// whatever the umask says (an exact mode, also for a file an earlier version left wider).
void MakePrivate(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && (st.st_mode & 07777) != kPrivateFileMode) {
        ::fchmod(fd, kPrivateFileMode);
    }
}

// Opens for appending, creating the file 0600 when missing; -1 with errno on failure.
int OpenForAppend(const std::string& path) {
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kPrivateFileMode);
    if (fd >= 0) {
        MakePrivate(fd);
    }
    return fd;
}

bool IsAlphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace

void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

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
    AppendLine(path, {line});
}

void AppendLine(const std::string& path, std::initializer_list<std::string_view> pieces) {
    int fd = OpenForAppend(path);
    if (fd < 0) {
        return;
    }
    // One writev: the line lands whole (an append is one write), and a long line is not
    // copied to get its line break.
    std::vector<iovec> parts;
    std::size_t total = 2;
    for (std::string_view piece : pieces) {
        parts.push_back({const_cast<char*>(piece.data()), piece.size()});
        total += piece.size();
    }
    parts.push_back({const_cast<char*>("\r\n"), 2});
    ssize_t written = -1;
    do {
        written = ::writev(fd, parts.data(), static_cast<int>(parts.size()));
    } while (written < 0 && errno == EINTR);
    // What a short write left goes after it, piece by piece.
    std::size_t done = written < 0 ? total : static_cast<std::size_t>(written);
    for (const iovec& part : parts) {
        if (done >= part.iov_len) {
            done -= part.iov_len;
            continue;
        }
        const std::string_view rest(static_cast<const char*>(part.iov_base) + done,
                                    part.iov_len - done);
        done = 0;
        if (!WriteAll(fd, rest)) {
            break;
        }
    }
    ::close(fd);
}

void AppendToFile(const std::string& path, std::string_view bytes) {
    int fd = OpenForAppend(path);
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
    ::fchmod(fd_, kPrivateFileMode);
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

void WriteNewFileSynced(const std::string& path, std::string_view bytes, bool syncFolder) {
    WriteNewFileSynced(path, std::initializer_list<std::string_view>{bytes}, syncFolder);
}

void WriteNewFileSynced(const std::string& path, std::initializer_list<std::string_view> pieces,
                        bool syncFolder) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kPrivateFileMode);
    if (fd < 0) {
        ThrowIoError("Cannot create", path, errno);
    }
    MakePrivate(fd);
    bool written = true;
    for (std::string_view bytes : pieces) {
        written = written && WriteAll(fd, bytes);
    }
    if (!written || ::fsync(fd) != 0) {
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
    if (syncFolder) {
        SyncFolder(FolderOf(path));
    }
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
    if (DirectoryExists(path)) {
        return;
    }
    // Each missing folder from the top down, created by us with our mode; a folder that
    // appears meanwhile (another process) is fine.
    std::string prefix;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        const size_t end = slash == std::string::npos ? path.size() : slash;
        prefix = path.substr(0, end);
        start = end + 1;
        if (prefix.empty() || DirectoryExists(prefix)) {
            continue;
        }
        if (::mkdir(prefix.c_str(), kPrivateFolderMode) == 0) {
            ::chmod(prefix.c_str(), kPrivateFolderMode);
        } else if (errno != EEXIST) {
            ThrowIoError("Cannot create the folder", path, errno);
        }
    }
    if (!DirectoryExists(path)) {
        ThrowIoError("Cannot create the folder", path, ENOTDIR);
    }
}

bool DeleteFileIfExists(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool IsAtomicTempName(std::string_view name, std::string_view* base) {
    // The name of the file being replaced, "." and six letters or digits (mkstemp's "XXXXXX").
    constexpr size_t kSuffix = 7;
    if (name.size() <= kSuffix || name[name.size() - kSuffix] != '.') {
        return false;
    }
    for (char c : name.substr(name.size() - kSuffix + 1)) {
        if (!IsAlphanumeric(c)) {
            return false;
        }
    }
    if (base != nullptr) {
        *base = name.substr(0, name.size() - kSuffix);
    }
    return true;
}

int RemoveStaleFiles(const std::string& folder, std::time_t olderThan,
                     const std::function<bool(std::string_view)>& matches) {
    int removed = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return 0;
    }
    const std::string prefix = AddBackslash(folder);
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || !matches(name)) {
            continue;
        }
        struct stat st {};
        const std::string path = prefix + name;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < olderThan &&
            ::unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    ::closedir(dir);
    return removed;
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
