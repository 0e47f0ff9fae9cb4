#include "app/StatusReport.h"

#include <cstdio>

#include "app/RosterOperations.h"
#include "engine/PendingQueue.h"
#include "support/Files.h"

namespace corvanteer {

namespace {

bool IsValidUtf8(const std::string& text) {
    auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = byte(i);
        if (c < 0x80) {
            ++i;
            continue;
        }
        // The lead byte gives the length and the range of the second byte (no overlong
        // forms, no surrogates, nothing above U+10FFFF).
        size_t extra = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + extra >= text.size() || byte(i + 1) < low || byte(i + 1) > high) {
            return false;
        }
        for (size_t k = 2; k <= extra; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += extra + 1;
    }
    return true;
}

std::string Json(const std::string& text) {
    const bool utf8 = IsValidUtf8(text);
    std::string out = "\"";
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

std::string JsonOrNull(const std::string& text) {
    return text.empty() ? "null" : Json(text);
}

std::string Plural(size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

bool HasScan(const InstallationStatus& status) {
    return status.record && !status.record->started.empty();
}

}  // namespace

InstallationStatus CollectStatus(Services& services) {
    InstallationStatus status;
    status.record = ReadScanRecord(services.paths);
    for (const std::string& name : ListFiles(services.paths.OutFolder(), ".dat")) {
        ++(IsHeldQueueFile(name) ? status.queue.held : status.queue.failed);
    }
    if (FileExists(services.paths.VericodeFile())) {
        for (const std::string& line : ReadLines(services.paths.VericodeFile())) {
            if (!line.empty()) {
                ++status.pendingVerifications;
            }
        }
    }
    for (const std::string& name : services.console.ListNames()) {
        const RosterView roster = FillRoster(services, name);
        ListStatus list{name, roster.total, roster.banned, 0, 0};
        for (const RosterEntry& entry : roster.entries) {
            list.disabled += entry.disabled ? 1 : 0;
            list.bouncing += !entry.disabled && !entry.score.empty() ? 1 : 0;
        }
        status.lists.push_back(std::move(list));
    }
    return status;
}

std::string StatusText(const InstallationStatus& status) {
    std::string text;
    auto line = [&text](const std::string& name, const std::string& value) {
        text += name + ": " + value + "\n";
    };
    if (HasScan(status)) {
        const ScanRecord& r = *status.record;
        line("last scan", r.started + " to " + r.ended + ", " +
                              (r.ok ? std::string("finished") : "ended early: " + r.error));
        line("last scan counts", std::to_string(r.counts.messagesRead) + " read, " +
                                     std::to_string(r.counts.postingsSent) + " posted, " +
                                     std::to_string(r.counts.answersSent) + " answered, " +
                                     std::to_string(r.counts.messagesQueued) + " queued");
        for (const std::string& failure : r.mailboxFailures) {
            line("mailbox failed", failure);
        }
    } else {
        line("last scan", "none recorded");
    }
    const std::string next = status.record ? status.record->nextScan : "";
    line("next scan", next.empty() ? "none scheduled" : next);
    line("queue", std::to_string(status.queue.failed) + " failed, " +
                      std::to_string(status.queue.held) + " held");
    line("pending verifications", std::to_string(status.pendingVerifications));
    for (const ListStatus& list : status.lists) {
        std::string bounces;
        if (list.bouncing + list.disabled > 0) {
            bounces = ", " + std::to_string(list.bouncing) + " bouncing, " +
                      std::to_string(list.disabled) + " disabled";
        }
        line("list " + list.name, Plural(list.members, "member") + ", " +
                                      std::to_string(list.banned) + " banned" + bounces);
    }
    return text;
}

std::string StatusJson(const InstallationStatus& status) {
    std::string json = "{\"lastScan\":";
    if (HasScan(status)) {
        const ScanRecord& r = *status.record;
        json += "{\"started\":" + Json(r.started) + ",\"ended\":" + Json(r.ended) +
                ",\"outcome\":" + Json(r.ok ? "ok" : "failed") +
                ",\"error\":" + (r.ok ? std::string("null") : Json(r.error)) +
                ",\"read\":" + std::to_string(r.counts.messagesRead) +
                ",\"posted\":" + std::to_string(r.counts.postingsSent) +
                ",\"answered\":" + std::to_string(r.counts.answersSent) +
                ",\"queued\":" + std::to_string(r.counts.messagesQueued) + ",\"mailboxFailures\":[";
        for (size_t i = 0; i < r.mailboxFailures.size(); ++i) {
            json += (i > 0 ? "," : "") + Json(r.mailboxFailures[i]);
        }
        json += "]}";
    } else {
        json += "null";
    }
    json += ",\"nextScan\":" + JsonOrNull(status.record ? status.record->nextScan : "");
    json += ",\"queue\":{\"failed\":" + std::to_string(status.queue.failed) +
            ",\"held\":" + std::to_string(status.queue.held) + "}";
    json += ",\"pendingVerifications\":" + std::to_string(status.pendingVerifications);
    json += ",\"lists\":[";
    for (size_t i = 0; i < status.lists.size(); ++i) {
        const ListStatus& list = status.lists[i];
        json += (i > 0 ? "," : "") + std::string("{\"name\":") + Json(list.name) +
                ",\"members\":" + std::to_string(list.members) +
                ",\"banned\":" + std::to_string(list.banned) +
                ",\"bouncing\":" + std::to_string(list.bouncing) +
                ",\"disabled\":" + std::to_string(list.disabled) + "}";
    }
    return json + "]}\n";
}

}  // namespace corvanteer
