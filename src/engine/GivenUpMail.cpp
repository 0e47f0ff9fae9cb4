#include "engine/GivenUpMail.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>

#include "support/Files.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

// A name of out/given-up/ as ListFiles gives them: no path of its own.
bool IsPlainName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

}  // namespace

std::string GiveUpMessage(Services& services, int attempts, const Envelope& envelope) {
    const std::string folder = services.paths.GivenUpFolder();
    ForceDirectories(folder);
    const std::string text = FormatQueueFile(attempts, envelope);
    std::lock_guard<StoreLock> guard(services.storeLock);
    const std::string path = MakeUniqueFileName(folder, "dat", services.random);
    WriteFileAtomic(path, text);
    return path.substr(path.rfind('/') + 1);
}

std::string GivenUpLine(const std::string& list, const std::string& sender, int attempts,
                        const std::string& cause) {
    return OneLineText(list + ": msg from " + sender + " - given up after " +
                           std::to_string(attempts) + " attempts: " + cause,
                       1000);
}

std::vector<GivenUpEntry> ListGivenUp(const AppPaths& paths) {
    const std::string folder = paths.GivenUpFolder();
    std::vector<std::string> names = ListFiles(folder, ".dat");
    std::sort(names.begin(), names.end());
    std::vector<GivenUpEntry> entries;
    for (const std::string& name : names) {
        // A file retried or removed meanwhile is simply left out.
        std::optional<std::string> text = ReadFileIfExists(folder + name);
        if (!text) {
            continue;
        }
        GivenUpEntry entry;
        entry.name = name;
        entry.readable = ParseQueueFile(*text, entry.message);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void RetryGivenUp(Services& services, const std::string& name) {
    const std::string path = services.paths.GivenUpFolder() + name;
    std::lock_guard<StoreLock> guard(services.storeLock);
    std::optional<std::string> text =
        IsPlainName(name) ? ReadFileIfExists(path) : std::optional<std::string>();
    if (!text) {
        throw Failure(ErrorKind::Refused,
                      "No given-up message \"" + name + "\" (`queue` lists them).");
    }
    QueuedMessage message;
    if (!ParseQueueFile(*text, message)) {
        throw Failure(ErrorKind::Refused,
                      "The given-up message \"" + name + "\" is not a queue file.");
    }
    const std::string folder = services.paths.OutFolder();
    ForceDirectories(folder);
    // The queue file is whole on disk before the given-up one goes: never both lost.
    WriteFileAtomic(MakeUniqueFileName(folder, "dat", services.random),
                    FormatQueueFile(1, Envelope{message.from, message.sendTo, message.message}));
    DeleteFileIfExists(path);
}

int RetryAllGivenUp(Services& services) {
    int retried = 0;
    for (const GivenUpEntry& entry : ListGivenUp(services.paths)) {
        if (entry.readable) {
            RetryGivenUp(services, entry.name);
            ++retried;
        }
    }
    return retried;
}

std::vector<std::string> RemoveExpiredGivenUp(const AppPaths& paths, int64_t nowSeconds) {
    std::vector<std::string> removed;
    const std::string folder = paths.GivenUpFolder();
    for (const std::string& name : ListFiles(folder, ".dat")) {
        const std::string path = folder + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 ||
            int64_t{st.st_mtime} >= nowSeconds - kGivenUpKeptSeconds) {
            continue;
        }
        QueuedMessage message;
        std::optional<std::string> text = ReadFileIfExists(path);
        const bool readable = text && ParseQueueFile(*text, message);
        if (::unlink(path.c_str()) != 0) {
            continue;
        }
        removed.push_back(OneLineText("given-up msg " + name +
                                      (readable ? " from " + message.from : std::string()) +
                                      " removed after 30 days"));
    }
    return removed;
}

}  // namespace corvanteer
