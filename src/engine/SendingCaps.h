#pragma once

// The sending caps MaxRecipientsPerHour and MaxRecipientsPerDay: recipients sent within the
// last hour and the last day, counted over a sliding window across sessions and processes.
// The count lives in a small record in the application directory ("sending-caps.txt"): one
// line "<Unix seconds> <recipients>" per minute in which mail went out, oldest first, lines
// ended by CR LF; a line stands for the latest send of its minute, so the window may hold
// a recipient up to a minute longer, never shorter. Lines older than a day are dropped
// whenever the record is written. Unreadable lines are passed over.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/Services.h"
#include "support/Clock.h"

namespace corvanteer {

// Seconds since 1970-01-01 UTC of a local time (its utcOffset applied).
int64_t UnixSeconds(const LocalTime& time);

class SendingCaps {
public:
    // perHour, perDay: the caps, 0 (or less) for none. Reads the record when a cap is set;
    // raises Failure when it exists but cannot be read.
    SendingCaps(Services& services, int32_t perHour, int32_t perDay);

    bool Active() const { return perHour_ > 0 || perDay_ > 0; }
    // True when count more recipients sent now stay within both caps. A message larger than
    // a cap fits only while nothing is counted against that cap.
    bool Allows(std::size_t count) const;
    // Counts recipients sent now: the record is read again, the count added and the record
    // replaced atomically, under the store lock. Nothing without a cap. Raises on I/O errors.
    void Count(std::size_t count);
    // The most recipients one message can have and ever fit: the smaller cap; 0 for none.
    std::size_t Largest() const;

private:
    using Entry = std::pair<int64_t, int64_t>;  // Unix seconds, recipients
    std::vector<Entry> Read() const;
    int64_t Used(int64_t now, int64_t span) const;

    Services& services_;
    int64_t perHour_;
    int64_t perDay_;
    std::vector<Entry> entries_;
};

}  // namespace corvanteer
