#include "engine/PendingQueue.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>

#include "engine/ActivityLog.h"
#include "engine/MailConnections.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

constexpr const char* kCrLf = "\r\n";

// Moves a queue file that cannot be read as one into out/bad/, keeping its name unless a
// file of that name is there already. Runs under the store lock.
std::string MoveToBadFolder(Services& services, const std::string& path, const std::string& name) {
    const std::string badFolder = services.paths.BadQueueFolder();
    ForceDirectories(badFolder);
    std::string target = AddBackslash(badFolder) + name;
    if (FileExists(target)) {
        target = MakeUniqueFileName(badFolder, "dat", services.random);
    }
    if (std::rename(path.c_str(), target.c_str()) != 0) {
        ThrowIoError("Cannot move the malformed queue file", path, errno);
    }
    return target;
}

// Tells the observer the queue is being worked on, and always tells it when that ends.
class BusyIndicator {
public:
    explicit BusyIndicator(ScanObserver& observer) : observer_(observer) {
        observer_.TrayImage(1);
        observer_.StatusText("Pending mail...");
    }
    ~BusyIndicator() {
        observer_.TrayImage(0);
        observer_.StatusText("");
    }
    BusyIndicator(const BusyIndicator&) = delete;
    BusyIndicator& operator=(const BusyIndicator&) = delete;

private:
    ScanObserver& observer_;
};

}  // namespace

std::string FormatQueueFile(const QueuedMessage& message) {
    size_t size = 32 + message.from.size();
    for (const auto& line : message.sendTo) {
        size += line.size() + 2;
    }
    for (const auto& line : message.message) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    text += std::to_string(message.attempts);
    text += kCrLf;
    text += message.from;
    text += kCrLf;
    for (const auto& recipient : message.sendTo) {
        text += recipient;
        text += kCrLf;
    }
    text += kCrLf;
    for (const auto& line : message.message) {
        text += line;
        text += kCrLf;
    }
    // The final line break after the message's own: read back, it becomes one more
    // (empty) message line, which stored files rely on.
    text += kCrLf;
    return text;
}

bool ParseQueueFile(std::string_view text, QueuedMessage& message) {
    Lines lines = TextToLines(text);
    if (lines.size() < 2) {
        return false;
    }
    int attempts = 0;
    // A count of attempts is a whole number from 0; INT_MAX could not be counted further.
    if (!TryParseInt(lines[0], attempts) || attempts < 0 || attempts == INT_MAX) {
        return false;
    }
    // Recipients run up to the first line that is empty after trimming; an empty third line
    // means the message had no recipients (it never swallows the message's header).
    size_t separator = 2;
    while (separator < lines.size() && !Trim(lines[separator]).empty()) {
        ++separator;
    }
    if (separator >= lines.size()) {
        return false;
    }
    message.attempts = attempts;
    message.from = lines[1];
    message.sendTo.assign(
        std::make_move_iterator(lines.begin() + 2),
        std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(separator)));
    message.message.assign(
        std::make_move_iterator(lines.begin() + static_cast<std::ptrdiff_t>(separator) + 1),
        std::make_move_iterator(lines.end()));
    return true;
}

bool QueueFailedMessage(Services& services, int attempts, const std::string& from,
                        const Lines& sendTo, const Lines& message) {
    const std::string folder = services.paths.OutFolder();
    ForceDirectories(folder);
    const int limit = services.console.Globals().SmtpMaxAttempts;
    if (limit > 0 && attempts >= limit) {
        return false;  // out of attempts: the caller's log line is the last record
    }
    const std::string text = FormatQueueFile(QueuedMessage{attempts, from, sendTo, message});
    std::lock_guard<StoreLock> guard(services.storeLock);
    const std::string path = MakeUniqueFileName(folder, "dat", services.random);
    // Written under another name and renamed into place, so a crash never leaves a partial
    // message that a later retry would send cut short.
    WriteFileAtomic(path, text);
    return true;
}

QueueRunCounts SendPendingMail(Services& services) {
    QueueRunCounts counts;
    const std::string folder = AddBackslash(services.paths.OutFolder());
    if (!DirectoryExists(folder)) {
        return counts;
    }
    const std::vector<std::string> names = ListFiles(folder, ".dat");
    if (names.empty()) {
        return counts;
    }
    BusyIndicator busy(services.observer);
    SmtpClient& smtp = services.smtp;

    for (const std::string& name : names) {
        const std::string path = folder + name;
        QueuedMessage queued;
        {
            std::lock_guard<StoreLock> guard(services.storeLock);
            auto text = ReadFileIfExists(path);
            if (!text) {
                continue;  // taken away meanwhile
            }
            if (!ParseQueueFile(*text, queued)) {
                const std::string target = MoveToBadFolder(services, path, name);
                ++counts.malformed;
                WriteLog(services, Stamp(services) + "pending msg file " + name +
                                       ": not a queue file - moved to out/bad/" +
                                       target.substr(target.rfind('/') + 1));
                continue;
            }
        }

        const int attempt = queued.attempts + 1;
        smtp.From = queued.from;
        smtp.SendTo = std::move(queued.sendTo);
        smtp.OutMessage = std::move(queued.message);
        std::string reply;
        // The file stays in place while the message is on its way: a crash now means the
        // message goes out again later, never that it is lost.
        const bool sent = SubmitMessage(services, "", reply);

        if (sent) {
            {
                std::lock_guard<StoreLock> guard(services.storeLock);
                DeleteFileIfExists(path);
            }
            ++counts.sent;
            WriteLog(services, Stamp(services) + "pending msg from " + smtp.From +
                                   ": sent successfully (Attempt " + std::to_string(attempt) + ")");
        } else {
            // The new file (higher count) is on disk before the old one goes.
            QueueFailedMessage(services, attempt, smtp.From, smtp.SendTo, smtp.OutMessage);
            {
                std::lock_guard<StoreLock> guard(services.storeLock);
                DeleteFileIfExists(path);
            }
            ++counts.failed;
            WriteLog(services, Stamp(services) + "pending msg from " + smtp.From +
                                   ": failed (Attempt " + std::to_string(attempt) + ")");
        }
    }
    return counts;
}

}  // namespace corvanteer
