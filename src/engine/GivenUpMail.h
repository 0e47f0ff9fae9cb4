#pragma once

// Mail past SmtpMaxAttempts: kept in "out/given-up/" in the queue file format (PendingQueue.h),
// never retried by a scan, until the operator puts it back (queue retry) or it is removed
// 30 days after it was given up.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/PendingQueue.h"
#include "engine/Services.h"
#include "support/AppPaths.h"

namespace corvanteer {

// Given-up mail is removed this long after it was given up (its file's last change).
inline constexpr int64_t kGivenUpKeptSeconds = 30 * 24 * 3600;

// Writes the message as a queue file (attempts as they are) into out/given-up/, under a new
// name, atomically and under the store lock; returns the file's name. Raises when it cannot.
std::string GiveUpMessage(Services& services, int attempts, const Envelope& envelope);

// The line the log gets for it: list + ": msg from " + sender + " - given up after " + n +
// " attempts: " + cause (one line, control bytes as "?").
std::string GivenUpLine(const std::string& list, const std::string& sender, int attempts,
                        const std::string& cause);

struct GivenUpEntry {
    std::string name;       // file name in out/given-up/
    bool readable = false;  // false: not a queue file (message below is empty)
    QueuedMessage message;
};
// Every given-up message, by name.
std::vector<GivenUpEntry> ListGivenUp(const AppPaths& paths);

// Puts the given-up message of that name back into the queue (out/) with attempt count 1,
// for the next scan or queue flush; the given-up file goes once the queue file is on disk.
// Refused (Failure Refused) for a name that is not there or not a queue file.
void RetryGivenUp(Services& services, const std::string& name);
// The same for every readable one; the number put back.
int RetryAllGivenUp(Services& services);

// Removes the given-up messages given up before nowSeconds - kGivenUpKeptSeconds; one text
// per message removed ("given-up msg <name> from <sender> removed after 30 days"). Errors
// are ignored: what cannot be removed stays for the next start.
std::vector<std::string> RemoveExpiredGivenUp(const AppPaths& paths, int64_t nowSeconds);

}  // namespace corvanteer
