#include "engine/archive/Mbox.h"

#include <array>
#include <cstdio>
#include <ctime>

namespace corvanteer::archive {

namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// True when the line (without its end) is a "From " line under any number of ">".
bool IsQuotedFrom(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == '>') {
        ++i;
    }
    return line.substr(i, 5) == "From ";
}

bool IsDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

int Number(std::string_view digits) {
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
    }
    return value;
}

// The words of a line cut at runs of blanks.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(line.substr(start, i - start));
        }
    }
    return words;
}

}  // namespace

std::string MboxFromLine(std::string_view envelopeSender, int64_t unixSeconds) {
    bool usable = !envelopeSender.empty();
    for (unsigned char c : envelopeSender) {
        if (c <= ' ' || c == 0x7F) {
            usable = false;
        }
    }
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char date[64];
    std::snprintf(date, sizeof date, "%s %s %2d %02d:%02d:%02d %d", kDays[utc.tm_wday % 7],
                  kMonths[utc.tm_mon % 12], utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  utc.tm_year + 1900);
    return "From " + (usable ? std::string(envelopeSender) : std::string("MAILER-DAEMON")) + " " +
           date;
}

std::string MboxRecord(std::string_view message, std::string_view envelopeSender,
                       int64_t unixSeconds) {
    std::string record = MboxFromLine(envelopeSender, unixSeconds);
    record += '\n';
    record.reserve(record.size() + message.size() + 16);
    std::size_t pos = 0;
    while (pos < message.size()) {
        std::size_t lf = message.find('\n', pos);
        const bool last = lf == std::string_view::npos;
        std::string_view line = message.substr(pos, last ? std::string_view::npos : lf - pos);
        if (!last && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);  // CR LF becomes LF
        }
        if (IsQuotedFrom(line)) {
            record += '>';
        }
        record.append(line);
        record += '\n';
        pos = last ? message.size() : lf + 1;
    }
    record += '\n';
    return record;
}

std::vector<MboxSpan> SplitMbox(std::string_view bytes) {
    std::vector<MboxSpan> spans;
    std::size_t pos = 0;
    bool previousEmpty = true;  // the start of the bytes counts as after an empty line
    while (pos < bytes.size()) {
        const std::size_t lf = bytes.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? bytes.size() : lf + 1;
        std::string_view line = bytes.substr(pos, next - pos);
        if (previousEmpty && line.substr(0, 5) == "From ") {
            if (!spans.empty()) {
                spans.back().end = pos;
            }
            spans.push_back({pos, next, bytes.size()});
        }
        previousEmpty = line == "\n" || line == "\r\n";
        pos = next;
    }
    return spans;
}

std::string MboxMessage(std::string_view bytes, const MboxSpan& span) {
    std::string_view body = bytes.substr(span.body, span.end - span.body);
    // The empty line that separates this record from the next one.
    if (body.size() >= 2 && body.substr(body.size() - 2) == "\n\n") {
        body.remove_suffix(1);
    } else if (body.size() >= 4 && body.substr(body.size() - 4) == "\r\n\r\n") {
        body.remove_suffix(2);
    } else if (body == "\n" || body == "\r\n") {
        body = {};
    }
    std::string message;
    message.reserve(body.size());
    std::size_t pos = 0;
    while (pos < body.size()) {
        const std::size_t lf = body.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? body.size() : lf + 1;
        std::string_view line = body.substr(pos, next - pos);
        if (line.size() > 1 && line[0] == '>' && IsQuotedFrom(line)) {
            line.remove_prefix(1);
        }
        message.append(line);
        pos = next;
    }
    return message;
}

std::string_view MboxSeparator(std::string_view bytes, const MboxSpan& span) {
    std::string_view line = bytes.substr(span.begin, span.body - span.begin);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    return line;
}

bool ParseMboxSeparator(std::string_view line, std::string& sender, int64_t& unixSeconds) {
    const std::vector<std::string_view> words = Words(line);
    if (words.size() < 7 || words[0] != "From") {
        return false;
    }
    // "From SENDER Www Mmm dd hh:mm:ss yyyy": the sender is one word.
    int month = -1;
    for (int i = 0; i < 12; ++i) {
        if (words[3] == kMonths[static_cast<std::size_t>(i)]) {
            month = i;
        }
    }
    const std::string_view time = words[5];
    if (month < 0 || !IsDigits(words[4]) || words[4].size() > 2 || time.size() != 8 ||
        time[2] != ':' || time[5] != ':' || !IsDigits(time.substr(0, 2)) ||
        !IsDigits(time.substr(3, 2)) || !IsDigits(time.substr(6, 2)) || !IsDigits(words[6]) ||
        words[6].size() != 4) {
        return false;
    }
    std::tm tm{};
    tm.tm_year = Number(words[6]) - 1900;
    tm.tm_mon = month;
    tm.tm_mday = Number(words[4]);
    tm.tm_hour = Number(time.substr(0, 2));
    tm.tm_min = Number(time.substr(3, 2));
    tm.tm_sec = Number(time.substr(6, 2));
    if (tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 60) {
        return false;
    }
    sender = std::string(words[1]);
    unixSeconds = static_cast<int64_t>(timegm(&tm));
    return true;
}

}  // namespace corvanteer::archive
