#include "engine/digest/DigestSchedule.h"

#include <algorithm>
#include <cstdint>

#include "support/Text.h"

namespace corvanteer {

DigestTrigger DigestDue(std::size_t waitingCount, uint64_t waitingBytes, const DigestTiming& timing,
                        const LocalTime& now) {
    if (waitingCount == 0) {
        return DigestTrigger::None;
    }
    if (timing.maxKB > 0 && waitingBytes > static_cast<uint64_t>(timing.maxKB) * 1024) {
        return DigestTrigger::Size;
    }
    if (now.hour >= timing.hour && timing.lastDay != DayText(now)) {
        return DigestTrigger::Hour;
    }
    return DigestTrigger::None;
}

DigestNumber NextDigestNumber(int32_t volume, int32_t lastIssue, std::string_view lastDay,
                              const LocalTime& now) {
    // The settings' ranges keep both numbers positive; the ends are held all the same.
    DigestNumber number{volume < 1 ? 1 : volume,
                        lastIssue < 0 || lastIssue == INT32_MAX ? 1 : lastIssue + 1};
    int lastYear = 0;
    if (lastDay.size() >= 4 && TryParseInt(lastDay.substr(0, 4), lastYear) && lastYear < now.year) {
        number.volume = static_cast<int>(
            std::min<int64_t>(INT32_MAX, int64_t{number.volume} + now.year - lastYear));
        number.issue = 1;
    }
    return number;
}

std::string DayText(const LocalTime& time) {
    return ZeroPad(time.year, 4) + "-" + ZeroPad(time.month, 2) + "-" + ZeroPad(time.day, 2);
}

}  // namespace corvanteer
