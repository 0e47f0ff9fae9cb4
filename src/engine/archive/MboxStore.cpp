#include "engine/archive/MboxStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "support/Files.h"
#include "support/Sha256.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

constexpr std::string_view kMboxSuffix = ".mbox";
constexpr std::string_view kPendingSuffix = ".pending";
constexpr std::string_view kPendingMagic = "corvanteer-mbox-append 1";

// An open mbox file with an flock, both let go by the destructor.
class LockedFile {
public:
    LockedFile(const std::string& path, bool write) : path_(path) {
        fd_ = ::open(path.c_str(), write ? (O_RDWR | O_CREAT | O_CLOEXEC) : (O_RDONLY | O_CLOEXEC),
                     kPrivateFileMode);
        if (fd_ < 0) {
            if (!write && errno == ENOENT) {
                return;
            }
            ThrowIoError("Cannot open", path, errno);
        }
        while (::flock(fd_, write ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) {
                const int error = errno;
                ::close(fd_);
                fd_ = -1;
                ThrowIoError("Cannot lock", path, error);
            }
        }
    }
    ~LockedFile() {
        if (fd_ >= 0) {
            ::close(fd_);  // also lets go of the flock
        }
    }
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    int fd() const { return fd_; }
    bool open() const { return fd_ >= 0; }

    uint64_t Size() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) {
            ThrowIoError("Cannot read", path_, errno);
        }
        return static_cast<uint64_t>(st.st_size);
    }

    // length bytes from offset; raises on a read error.
    std::string Read(uint64_t offset, uint64_t length) const {
        std::string bytes(length, '\0');
        uint64_t done = 0;
        while (done < length) {
            const ssize_t got =
                ::pread(fd_, bytes.data() + done, length - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                ThrowIoError("Cannot read", path_, errno);
            }
            if (got == 0) {
                bytes.resize(done);  // the file is shorter than thought
                break;
            }
            done += static_cast<uint64_t>(got);
        }
        return bytes;
    }

    // Writes all bytes at offset; false (errno set) when the system refuses.
    bool Write(uint64_t offset, std::string_view bytes) const {
        uint64_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                         static_cast<off_t>(offset + done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false;
            }
            done += static_cast<uint64_t>(put);
        }
        return true;
    }

private:
    std::string path_;
    int fd_ = -1;
};

// What a pending file says of the append it stands for.
struct PendingAppend {
    uint64_t start = 0;
    uint64_t length = 0;
    std::string sha256;
};

std::string PendingText(const PendingAppend& pending) {
    return std::string(kPendingMagic) + "\nstart=" + std::to_string(pending.start) +
           "\nlength=" + std::to_string(pending.length) + "\nsha256=" + pending.sha256 + "\n";
}

std::optional<uint64_t> ParseCount(std::string_view text) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

std::optional<PendingAppend> ParsePending(std::string_view text) {
    const Lines lines = TextToLines(text);
    if (lines.size() != 4 || lines[0] != kPendingMagic || !StartsWith(lines[1], "start=") ||
        !StartsWith(lines[2], "length=") || !StartsWith(lines[3], "sha256=")) {
        return std::nullopt;
    }
    const std::optional<uint64_t> start = ParseCount(std::string_view(lines[1]).substr(6));
    const std::optional<uint64_t> length = ParseCount(std::string_view(lines[2]).substr(7));
    if (!start || !length) {
        return std::nullopt;
    }
    return PendingAppend{*start, *length, lines[3].substr(7)};
}

// Where the file's last whole record ends, given what the pending file (when there is one)
// says: the end of the pending record when it is all there with its digest, else its start.
// A pending file that cannot be read leaves the file as it is.
uint64_t CommittedEnd(const LockedFile& file, const std::string& pendingPath) {
    const uint64_t size = file.Size();
    const std::optional<std::string> text = ReadFileIfExists(pendingPath);
    if (!text) {
        return size;
    }
    const std::optional<PendingAppend> pending = ParsePending(*text);
    if (!pending || pending->start > size) {
        return size;
    }
    if (size >= pending->start + pending->length &&
        Sha256Hex(file.Read(pending->start, pending->length)) == pending->sha256) {
        return pending->start + pending->length;
    }
    return pending->start;
}

// Cuts off what an unfinished append left and removes its pending file.
void Recover(const LockedFile& file, const std::string& path, const std::string& pendingPath) {
    if (!FileExists(pendingPath)) {
        return;
    }
    const uint64_t end = CommittedEnd(file, pendingPath);
    if (end < file.Size()) {
        if (::ftruncate(file.fd(), static_cast<off_t>(end)) != 0 || ::fsync(file.fd()) != 0) {
            ThrowIoError("Cannot repair", path, errno);
        }
    }
    DeleteFileIfExists(pendingPath);
}

}  // namespace

MboxStore::MboxStore(std::string folder) : folder_(AddBackslash(folder)) {}

std::string MboxStore::MonthFile(std::string_view month) const {
    return folder_ + std::string(month) + std::string(kMboxSuffix);
}

void MboxStore::Append(std::string_view month, std::string_view records) {
    if (!IsMonthText(month)) {
        throw Failure(ErrorKind::Refused, "Not a month: \"" + std::string(month) + "\"");
    }
    if (records.empty()) {
        return;
    }
    ForceDirectories(folder_);
    const std::string path = MonthFile(month);
    const std::string pendingPath = path + std::string(kPendingSuffix);
    LockedFile file(path, true);
    Recover(file, path, pendingPath);

    uint64_t start = file.Size();
    std::string bytes;
    // A record begins after an empty line: a file that ends otherwise (written by hand) gets
    // the line ends it lacks first.
    if (start > 0) {
        const std::string tail = file.Read(start >= 2 ? start - 2 : 0, start >= 2 ? 2 : 1);
        if (tail.empty() || tail.back() != '\n') {
            bytes = "\n\n";
        } else if (tail.size() == 2 && tail[0] != '\n') {
            bytes = "\n";
        }
    }
    bytes.append(records);

    WriteFileAtomic(pendingPath, PendingText({start, bytes.size(), Sha256Hex(bytes)}));
    const std::size_t half = bytes.size() / 2;
    bool written = file.Write(start, std::string_view(bytes).substr(0, half));
    if (written && crashHook_ != nullptr) {
        crashHook_(half);
    }
    written = written && file.Write(start + half, std::string_view(bytes).substr(half)) &&
              ::fdatasync(file.fd()) == 0;
    if (!written) {
        const int error = errno;
        // Put the file back as it was; should that fail too, the pending file stays and
        // the next opener cuts the file back.
        if (::ftruncate(file.fd(), static_cast<off_t>(start)) == 0 && ::fsync(file.fd()) == 0) {
            DeleteFileIfExists(pendingPath);
        }
        ThrowIoError("Cannot write", path, error);
    }
    if (crashHook_ != nullptr) {
        crashHook_(bytes.size());
    }
    DeleteFileIfExists(pendingPath);
}

std::vector<std::string> MboxStore::Months() const {
    std::vector<std::string> months;
    for (const std::string& name : ListFiles(folder_, kMboxSuffix)) {
        const std::string_view stem = std::string_view(name).substr(0, name.size() - 5);
        if (EndsWith(name, kMboxSuffix) && IsMonthText(stem)) {
            months.emplace_back(stem);
        }
    }
    std::sort(months.begin(), months.end());
    return months;
}

std::string MboxStore::ReadMonth(std::string_view month, uint64_t offset) const {
    const std::string path = MonthFile(month);
    LockedFile file(path, false);
    if (!file.open()) {
        return {};
    }
    const uint64_t end = CommittedEnd(file, path + std::string(kPendingSuffix));
    return end > offset ? file.Read(offset, end - offset) : std::string();
}

std::string MonthOf(int year, int month) {
    return ZeroPad(year, 4) + "-" + ZeroPad(month, 2);
}

bool IsMonthText(std::string_view text) {
    if (text.size() != 7 || text[4] != '-') {
        return false;
    }
    for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u}) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    const int month = (text[5] - '0') * 10 + (text[6] - '0');
    return month >= 1 && month <= 12;
}

}  // namespace corvanteer::archive
