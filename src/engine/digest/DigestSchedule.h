#pragma once

// When a list's digest is due and which number it carries: pure functions of the settings,
// the postings waiting and the clock.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/Clock.h"

namespace corvanteer {

enum class DigestTrigger {
    None,
    Size,  // the waiting postings pass DigestMaxKB
    Hour,  // the scan's hour is DigestHour or later and no digest went out that day
};

struct DigestTiming {
    int32_t maxKB = 30;  // 0: no size limit
    int32_t hour = 6;
    std::string lastDay;  // "yyyy-mm-dd" of the last digest, "" when none went out yet
};

// None when nothing waits; Size when the waiting bytes pass maxKB x 1024; Hour when the
// local hour is at or past the digest hour and lastDay is not today; else None.
DigestTrigger DigestDue(std::size_t waitingCount, uint64_t waitingBytes, const DigestTiming& timing,
                        const LocalTime& now);

struct DigestNumber {
    int volume = 1;
    int issue = 1;
};

// The number of the next digest: the issue after lastIssue, or, when the last digest went out
// in an earlier year, issue 1 of a volume raised by the years passed since (the volume rises
// on 1 January).
DigestNumber NextDigestNumber(int32_t volume, int32_t lastIssue, std::string_view lastDay,
                              const LocalTime& now);

// "yyyy-mm-dd"
std::string DayText(const LocalTime& time);

}  // namespace corvanteer
