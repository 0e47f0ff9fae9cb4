#include "support/DateTime.h"

#include <ctime>
#include <vector>

#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Index into a table of n names for a value that should lie in 0..n-1; a broken value picks
// some name instead of reading outside the table.
int Wrap(int value, int n) {
    return ((value % n) + n) % n;
}

// The weekday and day of the year follow from the date, whatever the caller filled in.
LocalTime Completed(const LocalTime& time) {
    LocalTime copy = time;
    CompleteLocalTime(copy);
    return copy;
}

std::tm ToTm(const LocalTime& time) {
    const LocalTime t = Completed(time);
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = Wrap(t.month - 1, 12);
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_wday = Wrap(t.weekday, 7);
    tm.tm_yday = t.yearDay;
    tm.tm_isdst = t.isDst ? 1 : 0;
    tm.tm_gmtoff = t.utcOffset;
    return tm;
}

// strftime in the process's current LC_TIME locale.
std::string FormatTime(const LocalTime& time, const char* format) {
    const std::tm tm = ToTm(time);
    std::vector<char> buffer(128);
    // A result of 0 means "did not fit" (none of our formats can be empty), so grow and retry.
    while (buffer.size() <= 4096) {
        const size_t length = std::strftime(buffer.data(), buffer.size(), format, &tm);
        if (length > 0) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
    return {};
}

}  // namespace

int TimeZoneBias(const LocalTime& time) {
    return static_cast<int>(-(time.utcOffset / 60));
}

std::string TimeZoneText(int bias) {
    if (bias == 0) {
        return "GMT";
    }
    const long long magnitude = bias < 0 ? -static_cast<long long>(bias) : bias;
    return std::string(bias < 0 ? "+" : "-") + ZeroPad(magnitude / 60, 2) +
           ZeroPad(magnitude % 60, 2);
}

std::string Rfc822Date(const LocalTime& time) {
    const LocalTime t = Completed(time);
    std::string text;
    text.reserve(32);
    text += kDayNames[Wrap(t.weekday, 7)];
    text += ", ";
    text += std::to_string(t.day);
    text += ' ';
    text += kMonthNames[Wrap(t.month - 1, 12)];
    text += ' ';
    text += ZeroPad(t.year, 4);
    text += ' ';
    text += ZeroPad(t.hour, 2) + ":" + ZeroPad(t.minute, 2) + ":" + ZeroPad(t.second, 2);
    text += ' ';
    text += TimeZoneText(TimeZoneBias(t));
    return text;
}

std::string LogStamp(const LocalTime& time) {
    return FormatTime(time, "%a,%d%b%y %H:%M:%S ");
}

std::string ShortDate(const LocalTime& time) {
    return FormatTime(time, "%x");
}

std::string Stamp14(const LocalTime& time) {
    return ZeroPad(time.year, 4) + ZeroPad(time.month, 2) + ZeroPad(time.day, 2) +
           ZeroPad(time.hour, 2) + ZeroPad(time.minute, 2) + ZeroPad(time.second, 2);
}

std::string Stamp12(const LocalTime& time) {
    return ZeroPad(Wrap(time.year, 100), 2) + ZeroPad(time.month, 2) + ZeroPad(time.day, 2) +
           ZeroPad(time.hour, 2) + ZeroPad(time.minute, 2) + ZeroPad(time.second, 2);
}

}  // namespace corvanteer
