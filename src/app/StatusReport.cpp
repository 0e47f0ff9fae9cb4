#include "app/StatusReport.h"

#include <nlohmann/json.hpp>

#include "app/JsonOutputs.h"
#include "app/RosterOperations.h"
#include "engine/PendingQueue.h"
#include "engine/digest/DigestStore.h"
#include "support/Files.h"
#include "support/Locks.h"

namespace corvanteer {

namespace {

using Json = nlohmann::ordered_json;  // members in the order written

Json TextOrNull(const std::string& text) {
    return text.empty() ? Json(nullptr) : Json(JsonUtf8(text));
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
    status.queue.givenUp =
        static_cast<int>(ListFiles(services.paths.GivenUpFolder(), ".dat").size());
    if (status.record) {
        status.running =
            !status.record->running.empty() && LockFileHeld(services.paths.SessionLockFile());
        status.runningSince = status.running ? status.record->running : "";
        status.nextScanOverdue =
            !status.running && NextScanOverdue(*status.record, services.clock.Now());
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
        ListStatus list{name, roster.total, roster.banned};
        for (const RosterEntry& entry : roster.entries) {
            ++list.modes[static_cast<size_t>(entry.mode)];
            list.disabled += entry.disabled ? 1 : 0;
            list.bouncing += !entry.disabled && !entry.score.empty() ? 1 : 0;
        }
        const DigestStore digest(services.paths, name);
        list.digestPostings = digest.Waiting().size();
        list.digestBytes = digest.WaitingBytes();
        status.lists.push_back(std::move(list));
    }
    return status;
}

std::string StatusText(const InstallationStatus& status) {
    std::string text;
    auto line = [&text](const std::string& name, const std::string& value) {
        text += name + ": " + value + "\n";
    };
    if (status.running) {
        line("scan running", "since " + status.runningSince);
    }
    if (HasScan(status)) {
        const ScanRecord& r = *status.record;
        line("last scan", r.started + " to " + r.ended + ", " + VerdictName(VerdictOf(r)) +
                              (r.ok ? std::string() : " (ended early: " + r.error + ")"));
        line("last scan counts", std::to_string(r.counts.messagesRead) + " read, " +
                                     std::to_string(r.counts.postingsSent) + " posted, " +
                                     std::to_string(r.counts.answersSent) + " answered, " +
                                     std::to_string(r.counts.messagesQueued) + " queued");
        for (const MailboxFailure& failure : r.mailboxFailures) {
            line("mailbox failed", failure.Text());
        }
    } else {
        line("last scan", "none recorded");
    }
    const std::string next = status.record ? status.record->nextScan : "";
    line("next scan",
         next.empty() ? "none scheduled" : next + (status.nextScanOverdue ? " (overdue)" : ""));
    line("queue", std::to_string(status.queue.failed) + " failed, " +
                      std::to_string(status.queue.held) + " held, " +
                      std::to_string(status.queue.givenUp) + " given up");
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

std::vector<std::string> StatusProblems(const InstallationStatus& status) {
    std::vector<std::string> problems;
    if (HasScan(status)) {
        const ScanVerdict verdict = VerdictOf(*status.record);
        if (verdict != ScanVerdict::Ok) {
            problems.push_back(verdict == ScanVerdict::Failed ? "the last scan failed"
                                                              : "the last scan was partial");
        }
    }
    if (status.nextScanOverdue) {
        problems.push_back("the next scan, due " + status.record->nextScan + ", is overdue");
    }
    if (status.queue.givenUp > 0) {
        problems.push_back(Plural(static_cast<size_t>(status.queue.givenUp), "given-up message") +
                           " waiting (queue retry)");
    }
    return problems;
}

std::string StatusJson(const InstallationStatus& status) {
    Json json;
    json["lastScan"] = nullptr;
    if (HasScan(status)) {
        const ScanRecord& r = *status.record;
        Json& scan = json["lastScan"];
        scan["started"] = JsonUtf8(r.started);
        scan["ended"] = JsonUtf8(r.ended);
        scan["outcome"] = VerdictName(VerdictOf(r));
        scan["error"] = r.ok ? Json(nullptr) : Json(JsonUtf8(r.error));
        scan["read"] = r.counts.messagesRead;
        scan["posted"] = r.counts.postingsSent;
        scan["answered"] = r.counts.answersSent;
        scan["queued"] = r.counts.messagesQueued;
        scan["failures"] = Json::array();
        for (const MailboxFailure& f : r.mailboxFailures) {
            scan["failures"].push_back(Json{{"mailbox", JsonUtf8(f.mailbox)},
                                            {"host", JsonUtf8(f.host)},
                                            {"port", f.port},
                                            {"kind", JsonUtf8(f.kind)},
                                            {"message", JsonUtf8(f.message)}});
        }
    }
    json["running"] =
        status.running ? Json{{"since", JsonUtf8(status.runningSince)}} : Json(nullptr);
    json["nextScan"] = TextOrNull(status.record ? status.record->nextScan : "");
    json["nextScanOverdue"] = status.nextScanOverdue;
    json["queue"] = {{"failed", status.queue.failed},
                     {"held", status.queue.held},
                     {"givenUp", status.queue.givenUp}};
    json["pendingVerifications"] = status.pendingVerifications;
    json["lists"] = Json::array();
    for (const ListStatus& list : status.lists) {
        Json modes = Json::object();
        for (DeliveryMode mode : kAllDeliveryModes) {
            modes[DeliveryModeName(mode)] = list.modes[static_cast<size_t>(mode)];
        }
        json["lists"].push_back(
            Json{{"name", JsonUtf8(list.name)},
                 {"members", list.members},
                 {"banned", list.banned},
                 {"bouncing", list.bouncing},
                 {"disabled", list.disabled},
                 {"modes", std::move(modes)},
                 {"digest", {{"postings", list.digestPostings}, {"bytes", list.digestBytes}}}});
    }
    return json.dump() + "\n";
}

}  // namespace corvanteer
