#pragma once

// How an installation is doing, for `corvanteer-cli status`: the last scan's record, the next
// scan due, the mail queue, pending verifications and each list's members; as lines for a
// person or as one JSON object for monitoring.

#include <array>
#include <cstdint>
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
    int givenUp = 0;  // past SmtpMaxAttempts, kept in out/given-up/ until retried
};

struct ListStatus {
    std::string name;
    size_t members = 0;  // every roster entry, banned ones included
    size_t banned = 0;
    // Members by delivery mode, indexed by DeliveryMode (each, digest, plain-digest, nomail).
    std::array<size_t, 4> modes{};
    // The postings collected for the next digest, and their size in bytes.
    size_t digestPostings = 0;
    uint64_t digestBytes = 0;
    size_t bouncing = 0;  // members with a bounce score whose mail still goes out
    size_t disabled = 0;  // members whose delivery is disabled
};

struct InstallationStatus {
    std::optional<ScanRecord> record;  // nullopt when nothing was recorded yet
    // A scan holds the session lock now, since runningSince (the record's Running).
    bool running = false;
    std::string runningSince;
    bool nextScanOverdue = false;  // NextScanOverdue, while no scan runs
    QueueStatus queue;
    int pendingVerifications = 0;
    std::vector<ListStatus> lists;  // in the order of the list selector
};

// Reads everything; writes nothing. Raises Failure when a file cannot be read.
InstallationStatus CollectStatus(Services& services);

// One "name: value" line per item, each ended by "\n".
std::string StatusText(const InstallationStatus& status);

// What a monitor must hear of: the last scan not ok, the next scan overdue, given-up mail
// waiting. One sentence each; empty when all is well.
std::vector<std::string> StatusProblems(const InstallationStatus& status);

// One JSON object and "\n" (nlohmann-json, members in this order). Each list also tells its
// members by mode ("modes": {"each": n, "digest": n, "plain-digest": n, "nomail": n}) and its
// pending digest ("digest": {"postings": n, "bytes": n}). Texts that are not valid UTF-8 have
// their bytes from 0x80 up written as the characters of those codes (Latin-1), so the output
// is always valid JSON.
std::string StatusJson(const InstallationStatus& status);

}  // namespace corvanteer
