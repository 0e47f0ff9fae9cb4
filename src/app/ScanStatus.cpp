#include "app/ScanStatus.h"
#include "support/Clock.h"

#include <cstdio>
#include <exception>
#include <mutex>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

std::string CountText(int value) {
    return std::to_string(value);
}

int CountValue(const std::string& text) {
    int value = 0;
    return TryParseInt(text, value) && value >= 0 ? value : 0;
}

// One line: an error text that held line breaks must not start a line of its own.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return text;
}

void Tell(Services& services, const std::exception& error) {
    services.observer.StatusText(std::string("Cannot write the scan status record: ") +
                                 error.what());
}

constexpr char kFieldSeparator = '\t';

// "mailbox\tuser\thost\tport\tkind\tmessage": every field is one line without control
// bytes (the scan makes them so), so a tab cannot occur inside one.
std::string FailureLine(const MailboxFailure& failure) {
    std::string line;
    for (const std::string& field : {failure.mailbox, failure.user, failure.host,
                                     std::to_string(failure.port), failure.kind, failure.message}) {
        if (!line.empty()) {
            line += kFieldSeparator;
        }
        line += OneLine(field);
    }
    return line;
}

MailboxFailure ParseFailure(const std::string& line) {
    const SplitResult fields = SplitString(line, std::string(1, kFieldSeparator));
    if (fields.count < 6) {
        return MailboxFailure{"", "", "", 0, "unknown", line};
    }
    return MailboxFailure{fields.Part(1), fields.Part(2),
                          fields.Part(3), CountValue(fields.Part(4)),
                          fields.Part(5), fields.Part(6)};
}

}  // namespace

ScanVerdict VerdictOf(const ScanRecord& record) {
    const auto failed = static_cast<int>(record.mailboxFailures.size());
    if (!record.ok || (record.mailboxesTried > 0 && failed >= record.mailboxesTried)) {
        return ScanVerdict::Failed;
    }
    if (failed > 0 || record.counts.messagesQueued > 0 || record.counts.retriesFailed > 0) {
        return ScanVerdict::Partial;
    }
    return ScanVerdict::Ok;
}

const char* VerdictName(ScanVerdict verdict) {
    switch (verdict) {
        case ScanVerdict::Ok:
            return "ok";
        case ScanVerdict::Partial:
            return "partial";
        case ScanVerdict::Failed:
            return "failed";
    }
    return "failed";
}

std::optional<int64_t> IsoTimeSeconds(std::string_view text) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, offHours = 0,
        offMinutes = 0;
    char sign = 0;
    int used = 0;
    const std::string copy(text);
    if (std::sscanf(copy.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d%n", &year, &month, &day, &hour,
                    &minute, &second, &sign, &offHours, &offMinutes, &used) != 9 ||
        used != static_cast<int>(copy.size()) || (sign != '+' && sign != '-') || month < 1 ||
        month > 12 || day < 1 || day > 31) {
        return std::nullopt;
    }
    const int64_t offset =
        (int64_t{offHours} * 3600 + int64_t{offMinutes} * 60) * (sign == '-' ? -1 : 1);
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second - offset;
}

bool NextScanOverdue(const ScanRecord& record, const LocalTime& now) {
    const std::optional<int64_t> next = IsoTimeSeconds(record.nextScan);
    if (!next) {
        return false;
    }
    int64_t interval = int64_t{record.intervalMinutes} * 60;
    if (interval <= 0) {
        // An older record: the interval is the time from the scan's end to the next one.
        const std::optional<int64_t> ended = IsoTimeSeconds(record.ended);
        interval = ended && *ended < *next ? *next - *ended : 0;
    }
    return UnixSeconds(now) > *next + interval;
}

namespace {

void WriteRunning(Services& services, const std::string& started) {
    try {
        std::lock_guard<StoreLock> guard(services.storeLock);
        ScanRecord record = ReadScanRecord(services.paths).value_or(ScanRecord{});
        record.running = started;
        WriteScanRecord(services.paths, record);
    } catch (const std::exception& error) {
        Tell(services, error);
    }
}

}  // namespace

std::string ScanRecordFile(const AppPaths& paths) {
    return paths.appDir + "scan-status.txt";
}

std::string IsoTime(const LocalTime& t) {
    const long offsetMinutes = t.utcOffset / 60;
    const long absolute = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", t.year, t.month,
                  t.day, t.hour, t.minute, t.second, offsetMinutes < 0 ? '-' : '+', absolute / 60,
                  absolute % 60);
    return text;
}

std::string IsoTimeAfterMinutes(const LocalTime& time, int minutes) {
    int64_t seconds = DaysFromCivil(time.year, time.month, time.day) * 86400 + time.hour * 3600 +
                      time.minute * 60 + time.second + int64_t{minutes} * 60;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    LocalTime later = time;
    CivilFromDays(days, later.year, later.month, later.day);
    later.hour = static_cast<int>(rest / 3600);
    later.minute = static_cast<int>(rest / 60 % 60);
    later.second = static_cast<int>(rest % 60);
    return IsoTime(later);
}

std::optional<ScanRecord> ReadScanRecord(const AppPaths& paths) {
    std::optional<std::string> text = ReadFileIfExists(ScanRecordFile(paths));
    if (!text) {
        return std::nullopt;
    }
    ScanRecord record;
    for (const std::string& line : TextToLines(*text)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (name == "Started") {
            record.started = value;
        } else if (name == "Ended") {
            record.ended = value;
        } else if (name == "Outcome") {
            record.ok = value != "failed";
        } else if (name == "Error") {
            record.error = value;
        } else if (name == "Read") {
            record.counts.messagesRead = CountValue(value);
        } else if (name == "Posted") {
            record.counts.postingsSent = CountValue(value);
        } else if (name == "Answered") {
            record.counts.answersSent = CountValue(value);
        } else if (name == "Queued") {
            record.counts.messagesQueued = CountValue(value);
        } else if (name == "RetriesFailed") {
            record.counts.retriesFailed = CountValue(value);
        } else if (name == "NextScan") {
            record.nextScan = value;
        } else if (name == "Interval") {
            record.intervalMinutes = CountValue(value);
        } else if (name == "Mailboxes") {
            record.mailboxesTried = CountValue(value);
        } else if (name == "Failure") {
            record.mailboxFailures.push_back(ParseFailure(value));
        } else if (name == "MailboxFailure") {
            // As an older program wrote it: the text alone.
            record.mailboxFailures.push_back(MailboxFailure{"", "", "", 0, "unknown", value});
        } else if (name == "Running") {
            record.running = value;
        }
    }
    return record;
}

void WriteScanRecord(const AppPaths& paths, const ScanRecord& record) {
    Lines lines = {
        "Started=" + record.started,
        "Ended=" + record.ended,
        std::string("Outcome=") + VerdictName(VerdictOf(record)),
        "Error=" + OneLine(record.error),
        "Read=" + CountText(record.counts.messagesRead),
        "Posted=" + CountText(record.counts.postingsSent),
        "Answered=" + CountText(record.counts.answersSent),
        "Queued=" + CountText(record.counts.messagesQueued),
        "RetriesFailed=" + CountText(record.counts.retriesFailed),
        "NextScan=" + record.nextScan,
        "Interval=" + CountText(record.intervalMinutes),
        "Mailboxes=" + CountText(record.mailboxesTried),
    };
    for (const MailboxFailure& failure : record.mailboxFailures) {
        lines.push_back("Failure=" + FailureLine(failure));
    }
    if (!record.running.empty()) {
        lines.push_back("Running=" + record.running);
    }
    WriteFileAtomic(ScanRecordFile(paths), LinesToText(lines));
}

ScanOutcome RunRecordedScan(Services& services, PollTimer& timer,
                            std::optional<int> nextScanMinutes) {
    const std::string started = IsoTime(services.clock.Now());
    WriteRunning(services, started);
    const ScanOutcome outcome = RunScanSession(services, timer);
    const LocalTime end = services.clock.Now();
    try {
        std::lock_guard<StoreLock> guard(services.storeLock);
        ScanRecord record;
        if (!nextScanMinutes) {
            if (std::optional<ScanRecord> previous = ReadScanRecord(services.paths)) {
                record.nextScan = previous->nextScan;
                record.intervalMinutes = previous->intervalMinutes;
            }
        } else if (*nextScanMinutes > 0) {
            record.nextScan = IsoTimeAfterMinutes(end, *nextScanMinutes);
            record.intervalMinutes = *nextScanMinutes;
        }
        record.started = started;
        record.ended = IsoTime(end);
        record.ok = outcome.ok;
        record.error = outcome.error;
        record.counts = outcome.counts;
        record.mailboxFailures = outcome.mailboxFailures;
        record.mailboxesTried = outcome.mailboxesTried;
        WriteScanRecord(services.paths, record);
    } catch (const std::exception& error) {
        Tell(services, error);
    }
    return outcome;
}

void RecordNextScan(Services& services, int minutes) {
    try {
        std::lock_guard<StoreLock> guard(services.storeLock);
        ScanRecord record = ReadScanRecord(services.paths).value_or(ScanRecord{});
        record.nextScan = minutes > 0 ? IsoTimeAfterMinutes(services.clock.Now(), minutes) : "";
        record.intervalMinutes = minutes > 0 ? minutes : 0;
        WriteScanRecord(services.paths, record);
    } catch (const std::exception& error) {
        Tell(services, error);
    }
}

}  // namespace corvanteer
