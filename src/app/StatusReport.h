#pragma once

// How an installation is doing, for `corvanteer-cli status`: the last scan's record, the next
// scan due, the mail queue, pending verifications and each list's members; as lines for a
// person or as one JSON object for monitoring.

#include <optional>
#include <string>
#include <vector>

#include "app/ScanStatus.h"
#include "engine/Services.h"

namespace corvanteer {

// The queue by state: messages whose delivery failed and wait for another attempt, and
// messages held by a sending cap or a server's limit, waiting for room.
struct QueueStatus {
    int failed = 0;
    int held = 0;
};

struct ListStatus {
    std::string name;
    size_t members = 0;  // every roster entry, banned ones included
    size_t banned = 0;
};

struct InstallationStatus {
    std::optional<ScanRecord> record;  // nullopt when nothing was recorded yet
    QueueStatus queue;
    int pendingVerifications = 0;
    std::vector<ListStatus> lists;  // in the order of the list selector
};

// Reads everything; writes nothing. Raises Failure when a file cannot be read.
InstallationStatus CollectStatus(Services& services);

// One "name: value" line per item, each ended by "\n".
std::string StatusText(const InstallationStatus& status);

// One JSON object and "\n" (nlohmann-json, members in this order). Texts that are not valid
// UTF-8 have their bytes from 0x80 up written as the characters of those codes (Latin-1), so
// the output is always valid JSON.
std::string StatusJson(const InstallationStatus& status);

}  // namespace corvanteer
