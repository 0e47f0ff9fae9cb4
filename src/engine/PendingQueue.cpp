#include "engine/PendingQueue.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>

#include <algorithm>

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/GivenUpMail.h"
#include "support/Files.h"
#include "support/SettingTables.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kHeldPrefix = "held-";

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

namespace {

std::string QueueFileText(int attempts, const std::string& from, const Lines& sendTo,
                          std::string_view message) {
    std::size_t size = 32 + from.size() + message.size();
    for (const auto& line : sendTo) {
        size += line.size() + 2;
    }
    std::string text;
    text.reserve(size);
    text += std::to_string(attempts);
    text += kCrLf;
    text += from;
    text += kCrLf;
    for (const auto& recipient : sendTo) {
        text += recipient;
        text += kCrLf;
    }
    text += kCrLf;
    AppendCrLfLines(text, message);
    // The final line break after the message's own: read back, it becomes one more
    // (empty) message line, which stored files rely on.
    text += kCrLf;
    return text;
}

}  // namespace

std::string FormatQueueFile(const QueuedMessage& message) {
    return QueueFileText(message.attempts, message.from, message.sendTo, message.message);
}

std::string FormatQueueFile(int attempts, const Envelope& envelope) {
    return QueueFileText(attempts, envelope.from, envelope.recipients, envelope.message);
}

bool ParseQueueFile(std::string_view text, QueuedMessage& message) {
    // The first line, the sender, then recipients up to the first line that is empty after
    // trimming; an empty third line means the message had no recipients (it never swallows
    // the message's header). Lines are cut as TextToLines cuts them.
    std::vector<std::string_view> head;
    std::size_t at = 0;
    bool separated = false;
    while (at < text.size()) {
        const std::size_t cut = text.find_first_of("\r\n", at);
        const std::size_t end = cut == std::string_view::npos ? text.size() : cut;
        const std::string_view line = text.substr(at, end - at);
        at = end;
        if (cut != std::string_view::npos) {
            at = cut + 1;
            if (text[cut] == '\r' && at < text.size() && text[at] == '\n') {
                ++at;
            }
        }
        if (head.size() >= 2 && Trim(line).empty()) {
            separated = true;
            break;
        }
        head.push_back(line);
    }
    if (head.size() < 2 || !separated) {
        return false;
    }
    int attempts = 0;
    // A count of attempts is a whole number from 0; INT_MAX could not be counted further.
    if (!TryParseInt(head[0], attempts) || attempts < 0 || attempts == INT_MAX) {
        return false;
    }
    message.attempts = attempts;
    message.from = std::string(head[1]);
    message.sendTo.assign(head.begin() + 2, head.end());
    message.message.clear();
    AppendCrLfLines(message.message, text.substr(at));
    return true;
}

QueueResult QueueFailedMessage(Services& services, int attempts, const Envelope& envelope) {
    const std::string folder = services.paths.OutFolder();
    ForceDirectories(folder);
    const int limit = services.console.Globals().SmtpMaxAttempts;
    if (limit > 0 && attempts >= limit) {
        // Out of attempts: kept apart for the operator, never dropped.
        GiveUpMessage(services, attempts, envelope);
        return QueueResult::GivenUp;
    }
    const std::string text = FormatQueueFile(attempts, envelope);
    std::lock_guard<StoreLock> guard(services.storeLock);
    const std::string path = MakeUniqueFileName(folder, "dat", services.random);
    // Written under another name and renamed into place, so a crash never leaves a partial
    // message that a later retry would send cut short.
    WriteFileAtomic(path, text);
    return QueueResult::Queued;
}

bool IsHeldQueueFile(std::string_view name) {
    return name.size() > 5 && SameText(name.substr(0, 5), kHeldPrefix);
}

void HoldQueuedMessage(Services& services, int attempts, const Envelope& envelope,
                       unsigned& sequence) {
    const std::string folder = AddBackslash(services.paths.OutFolder());
    ForceDirectories(folder);
    // UTC, so the names keep their order across a change of the clock to or from summer time.
    const std::time_t seconds = static_cast<std::time_t>(UnixSeconds(services.clock.Now()));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &utc);
    const std::string text = FormatQueueFile(attempts, envelope);
    std::lock_guard<StoreLock> guard(services.storeLock);
    if (sequence == 0) {
        // A session's first hold goes after what another one held in the same second.
        const std::string prefix = std::string(kHeldPrefix) + stamp + "-";
        for (const std::string& name : ListFiles(folder, ".dat")) {
            unsigned number = 0;
            if (StartsWith(name, prefix) &&
                std::sscanf(name.c_str() + prefix.size(), "%u", &number) == 1 &&
                number >= sequence) {
                sequence = number + 1;
            }
        }
    }
    for (;; ++sequence) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%s-%06u.dat", kHeldPrefix, stamp, sequence);
        const std::string path = folder + name;
        if (!FileExists(path)) {
            WriteFileAtomic(path, text);
            ++sequence;
            return;
        }
    }
}

QueueRunCounts SendPendingMail(Services& services) {
    QueueRunCounts counts;
    const std::string folder = AddBackslash(services.paths.OutFolder());
    if (!DirectoryExists(folder)) {
        return counts;
    }
    std::vector<std::string> names = ListFiles(folder, ".dat");
    if (names.empty()) {
        return counts;
    }
    const auto others = std::stable_partition(names.begin(), names.end(), IsHeldQueueFile);
    std::sort(names.begin(), others);
    BusyIndicator busy(services.observer);
    DeliverySession session(services, "", names.size());
    // The list whose posting address sends a message names it in a given-up line.
    std::map<std::string, std::string> listOf;
    for (const std::string& list : services.console.ListNames()) {
        const std::string address =
            ListScanReader(services.store, services.paths.ListKey(list)).Text("ListPostingAddress");
        if (!address.empty()) {
            listOf.emplace(LowerCase(address), list);
        }
    }

    for (std::size_t index = 0; index < names.size(); ++index) {
        const std::string& name = names[index];
        const std::string path = folder + name;
        if (session.Holding()) {
            // Held back: the rest keeps its place and its count for a later session.
            counts.held += static_cast<int>(names.size() - index);
            break;
        }
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
                WriteLog(services,
                         Stamp(services) + "pending msg file " + name +
                             ": not a queue file - moved to out/bad/" +
                             target.substr(target.rfind('/') + 1),
                         LogPriority::Warning);
                continue;
            }
        }

        const int attempt = queued.attempts + 1;
        const Envelope envelope{std::move(queued.from), std::move(queued.sendTo),
                                std::move(queued.message)};
        const std::string prefix = "pending msg from " + envelope.from + ": ";
        SendOptions options;
        options.attempt = attempt;
        options.partial = true;
        options.alreadyQueued = true;
        options.sent = prefix + "sent successfully (Attempt " + std::to_string(attempt) + ")";
        options.failed = prefix + "failed (Attempt " + std::to_string(attempt) + ")";
        options.held = prefix + "held (sending cap)";
        options.logUntriedHold = false;
        options.refusedPrefix = prefix;
        options.everyRefusal = true;
        const auto list = listOf.find(LowerCase(envelope.from));
        options.givenUpList = list != listOf.end() ? list->second : "pending";
        // The file stays in place while the message is on its way: a crash now means the
        // message goes out again later, never that it is lost. Once it went, or failed and
        // the new file (higher count) is on disk, the old one goes.
        options.settled = [&] {
            std::lock_guard<StoreLock> guard(services.storeLock);
            DeleteFileIfExists(path);
        };
        SendTally tally;
        switch (SendOrQueue(session, envelope, options, tally)) {
            case DeliveryStatus::Sent:
                ++counts.sent;
                break;
            case DeliveryStatus::Held:
                ++counts.held;
                break;
            case DeliveryStatus::Failed:
                ++counts.failed;
                break;
        }
        counts.givenUp += static_cast<int>(tally.givenUp);
        counts.notes.insert(counts.notes.end(), tally.notes.begin(), tally.notes.end());
    }
    return counts;
}

}  // namespace corvanteer
