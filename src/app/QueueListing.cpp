#include "app/QueueListing.h"

#include <algorithm>
#include <optional>

#include "engine/GivenUpMail.h"
#include "engine/PendingQueue.h"
#include "support/Files.h"

namespace corvanteer {

std::vector<QueueEntry> ListQueue(const AppPaths& paths) {
    const std::string folder = paths.OutFolder();
    std::vector<std::string> names = ListFiles(folder, ".dat");
    const auto held = std::stable_partition(
        names.begin(), names.end(), [](const std::string& n) { return !IsHeldQueueFile(n); });
    std::sort(names.begin(), held);
    std::sort(held, names.end());
    std::vector<QueueEntry> entries;
    for (const std::string& name : names) {
        std::optional<std::string> text = ReadFileIfExists(folder + name);
        if (!text) {
            continue;
        }
        QueueEntry entry;
        entry.file = name;
        QueuedMessage message;
        if (!ParseQueueFile(*text, message)) {
            entry.malformed = true;
        } else {
            entry.held = IsHeldQueueFile(name);
            entry.attempts = message.attempts;
            entry.from = message.from;
            entry.recipients = message.sendTo.size();
        }
        entries.push_back(std::move(entry));
    }
    for (GivenUpEntry& givenUp : ListGivenUp(paths)) {
        QueueEntry entry;
        entry.file = givenUp.name;
        entry.givenUp = true;
        entry.malformed = !givenUp.readable;
        entry.attempts = givenUp.message.attempts;
        entry.from = std::move(givenUp.message.from);
        entry.recipients = givenUp.message.sendTo.size();
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace corvanteer
