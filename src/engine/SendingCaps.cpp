#include "engine/SendingCaps.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;
constexpr int64_t kMinute = 60;
constexpr double kUnixEpochDayCount = 25569;  // 1970-01-01 as a day count from 1899-12-30

bool TryParseInt64(std::string_view text, int64_t& value) {
    if (text.empty() || text.size() > 18) {
        return false;
    }
    int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        result = result * 10 + (c - '0');
    }
    value = result;
    return true;
}

}  // namespace

int64_t UnixSeconds(const LocalTime& time) {
    const double days = ToDayCount(time.year, time.month, time.day) - kUnixEpochDayCount;
    return static_cast<int64_t>(std::llround(days)) * kDay + time.hour * kHour +
           time.minute * kMinute + time.second - time.utcOffset;
}

SendingCaps::SendingCaps(Services& services, int32_t perHour, int32_t perDay)
    : services_(services), perHour_(std::max(0, perHour)), perDay_(std::max(0, perDay)) {
    if (Active()) {
        entries_ = Read();
    }
}

std::vector<SendingCaps::Entry> SendingCaps::Read() const {
    std::vector<Entry> entries;
    const auto text = ReadFileIfExists(services_.paths.SendingRecordFile());
    if (!text) {
        return entries;
    }
    for (const std::string& line : TextToLines(*text)) {
        const std::size_t blank = line.find(' ');
        Entry entry;
        if (blank != std::string::npos &&
            TryParseInt64(std::string_view(line).substr(0, blank), entry.first) &&
            TryParseInt64(std::string_view(line).substr(blank + 1), entry.second)) {
            entries.push_back(entry);
        }
    }
    return entries;
}

int64_t SendingCaps::Used(int64_t now, int64_t span) const {
    int64_t used = 0;
    for (const Entry& entry : entries_) {
        // A time ahead of the clock (set back since) counts until the clock passes it.
        if (now - entry.first < span) {
            used += entry.second;
        }
    }
    return used;
}

bool SendingCaps::Allows(std::size_t count) const {
    if (!Active()) {
        return true;
    }
    const int64_t now = UnixSeconds(services_.clock.Now());
    const auto fits = [&](int64_t cap, int64_t span) {
        if (cap == 0) {
            return true;
        }
        const int64_t used = Used(now, span);
        return used + static_cast<int64_t>(count) <= cap || used == 0;
    };
    return fits(perHour_, kHour) && fits(perDay_, kDay);
}

void SendingCaps::Count(std::size_t count) {
    if (!Active() || count == 0) {
        return;
    }
    const int64_t now = UnixSeconds(services_.clock.Now());
    std::lock_guard<StoreLock> guard(services_.storeLock);
    std::vector<Entry> entries = Read();
    if (!entries.empty() && entries.back().first / kMinute == now / kMinute &&
        entries.back().first <= now) {
        entries.back().first = now;
        entries.back().second += static_cast<int64_t>(count);
    } else {
        entries.emplace_back(now, static_cast<int64_t>(count));
    }
    std::string text;
    std::vector<Entry> kept;
    for (const Entry& entry : entries) {
        if (now - entry.first < kDay) {
            text += std::to_string(entry.first) + " " + std::to_string(entry.second) + "\r\n";
            kept.push_back(entry);
        }
    }
    WriteFileAtomic(services_.paths.SendingRecordFile(), text);
    entries_ = std::move(kept);
}

std::size_t SendingCaps::Largest() const {
    if (perHour_ > 0 && perDay_ > 0) {
        return static_cast<std::size_t>(std::min(perHour_, perDay_));
    }
    return static_cast<std::size_t>(std::max(perHour_, perDay_));
}

}  // namespace corvanteer
