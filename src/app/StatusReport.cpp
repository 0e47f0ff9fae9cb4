#include "app/StatusReport.h"

#include <nlohmann/json.hpp>

#include "app/RosterOperations.h"
#include "engine/PendingQueue.h"
#include "support/Files.h"

namespace corvanteer {

namespace {

using Json = nlohmann::ordered_json;  // members in the order written

// The JSON writer takes only valid UTF-8: a text that is not (a list name in Latin-1) has its
// bytes from 0x80 up taken as the characters of those codes.
std::string Utf8(const std::string& text) {
    try {
        static_cast<void>(Json(text).dump());
        return text;
    } catch (const Json::type_error&) {
        std::string converted;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                converted += c;
            } else {
                converted += static_cast<char>(0xC0 | (byte >> 6));
                converted += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return converted;
    }
}

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(Utf8(text));
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
        status.lists.push_back({name, roster.total, roster.banned});
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
        line("list " + list.name,
             Plural(list.members, "member") + ", " + std::to_string(list.banned) + " banned");
    }
    return text;
}

std::string StatusJson(const InstallationStatus& status) {
    Json json;
    json["lastScan"] = nullptr;
    if (HasScan(status)) {
        const ScanRecord& r = *status.record;
        Json& scan = json["lastScan"];
        scan["started"] = Utf8(r.started);
        scan["ended"] = Utf8(r.ended);
        scan["outcome"] = r.ok ? "ok" : "failed";
        scan["error"] = r.ok ? Json(nullptr) : Json(Utf8(r.error));
        scan["read"] = r.counts.messagesRead;
        scan["posted"] = r.counts.postingsSent;
        scan["answered"] = r.counts.answersSent;
        scan["queued"] = r.counts.messagesQueued;
        scan["mailboxFailures"] = Json::array();
        for (const std::string& failure : r.mailboxFailures) {
            scan["mailboxFailures"].push_back(Utf8(failure));
        }
    }
    json["nextScan"] = TextOrNull(status.record ? status.record->nextScan : "");
    json["queue"] = {{"failed", status.queue.failed}, {"held", status.queue.held}};
    json["pendingVerifications"] = status.pendingVerifications;
    json["lists"] = Json::array();
    for (const ListStatus& list : status.lists) {
        json["lists"].push_back(
            Json{{"name", Utf8(list.name)}, {"members", list.members}, {"banned", list.banned}});
    }
    return json.dump() + "\n";
}

}  // namespace corvanteer
