#include "engine/digest/DigestDelivery.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/ListHeaders.h"
#include "engine/OutgoingHeaders.h"
#include "engine/RequestRules.h"
#include "engine/Roster.h"
#include "engine/digest/DigestAssembly.h"
#include "engine/digest/DigestSchedule.h"
#include "engine/digest/DigestStore.h"
#include "engine/digest/Recipients.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

// The roster in the order postings go out (sorted without regard to case).
Lines RosterOf(Services& services, const std::string& list) {
    SortedRoster roster;
    roster.AssignText(ReadSection(services.paths.ListDataFile(list), "MemberList"));
    return roster.Items();
}

MemberModes ModesOf(Services& services, const std::string& list) {
    return MemberModes::Read(ModesFile(services.paths, list));
}

std::string NumberText(const DigestBatch& batch) {
    return "Vol " + std::to_string(batch.volume) + ", Issue " + std::to_string(batch.issue);
}

// To, From, Subject, Date, Message-ID, X-Mailer, then the list header lines (or, with those
// off, Precedence: list alone).
Lines DigestHeaderLines(const ScanContext& context, Services& services, const std::string& list,
                        const DigestBatch& batch) {
    const ListSettings& settings = context.Settings;
    const GlobalSettings globals = services.console.Globals();
    const LocalTime now = services.clock.Now();
    const std::string& address = settings.ListPostingAddress;
    Lines lines = {
        "To: " + (Trim(settings.ListTo).empty() ? address : settings.ListTo),
        "From: " + address,
        "Subject: " + DigestSubject(list, batch.volume, batch.issue),
        DateHeader(now),
        MessageIdHeader(settings.Pop3User, 0, now, MessageIdTag(services.random), globals.SMTPHost),
        "X-Mailer: " + MailerName()};
    if (settings.ListHeaders) {
        const Lines listLines =
            ListHeaderLines(ListHeaderValues{list, address, globals.ListServerAddress,
                                             settings.AllowPostBy, settings.AllowUserSubscribe});
        lines.insert(lines.end(), listLines.begin(), listLines.end());
    } else {
        lines.push_back("Precedence: list");
    }
    return lines;
}

// Hands one digest to the road as a Bcc message in parts; the queue keeps what fails.
SendTally DeliverDigest(ScanContext& context, Services& services, const std::string& list,
                        const DigestBatch& batch, std::string message, const Lines& recipients) {
    Envelope part{context.Settings.ListPostingAddress, {}, std::move(message)};
    services.observer.StatusText("Sending the digest of " + list);
    DeliverySession session(services, list, 1);
    SendTally tally;
    SendInParts(session, part, recipients, BccPartOptions(list, "digest " + NumberText(batch)),
                tally);
    context.Counts.postingsSent += static_cast<int>(tally.sent);
    context.Counts.messagesQueued += static_cast<int>(tally.queued);
    return tally;
}

// The number goes into the settings before the digest goes out, so the next one counts on
// from it even when this session stops half way.
void RecordNumber(Services& services, const std::string& key, const DigestBatch& batch) {
    services.store.WriteRegInteger(key, "DigestVolume", batch.volume);
    services.store.WriteRegInteger(key, "DigestIssue", batch.issue);
    services.store.WriteRegString(key, "DigestLastDate", batch.day);
}

void SendBatch(ScanContext& context, Services& services, const std::string& list,
               DigestStore& store, DigestBatch& batch, const DigestStepHook& hook) {
    RecordNumber(services, context.ListKey, batch);
    if (batch.kinds.empty()) {
        store.Finish(batch);
        return;
    }
    const Lines roster = RosterOf(services, list);
    const MemberModes modes = ModesOf(services, list);
    const std::vector<DeliveryMode> kinds = batch.kinds;
    for (DeliveryMode kind : kinds) {
        const std::optional<std::string> message = store.Message(kind);
        const Lines recipients = DigestRecipients(roster, modes, kind);
        if (message && !recipients.empty()) {
            const SendTally tally =
                DeliverDigest(context, services, list, batch, *message, recipients);
            if (tally.sent > 0) {
                WriteLog(services, Stamp(services) + list + ": digest " + NumberText(batch) +
                                       " sent to " + std::to_string(tally.sentRecipients) +
                                       " members (" + std::to_string(batch.postings.size()) +
                                       " postings)");
            }
        }
        if (hook) {
            hook(std::string("sent ") + DeliveryModeName(kind));
        }
        store.KindDone(batch, kind);
    }
}

}  // namespace

PostingShare SharePosting(Services& services, const std::string& listName, const Lines& roster) {
    PostingShare share;
    const bool digests =
        ListScanReader(services.store, services.paths.ListKey(listName)).Boolean("DigestEnabled");
    const MemberModes modes = ModesOf(services, listName);
    share.each = PostingRecipients(roster, modes, digests);
    share.leftOut = roster.size() - share.each.size();
    share.digest = digests && HasDigestMembers(roster, modes);
    return share;
}

void CollectForDigest(Services& services, const std::string& listName, std::string_view posting) {
    if (!ListScanReader(services.store, services.paths.ListKey(listName))
             .Boolean("DigestEnabled")) {
        return;
    }
    if (!HasDigestMembers(RosterOf(services, listName), ModesOf(services, listName))) {
        return;
    }
    DigestStore(services.paths, listName).Collect(posting);
}

void SendDueDigest(ScanContext& context, Services& services, const std::string& list,
                   const DigestStepHook& hook) {
    DigestStore store(services.paths, list);
    std::optional<DigestBatch> open = store.OpenBatch();
    const std::vector<std::string> waiting = store.Waiting();
    if (!open && waiting.empty()) {
        return;  // the usual case: nothing to read or send
    }
    SelectList(context, services, list, list);
    if (open) {
        SendBatch(context, services, list, store, *open, hook);
    }

    const SettingReader read = ListScanReader(services.store, context.ListKey);
    const DigestTiming timing{read.Integer("DigestMaxKB"), read.Integer("DigestHour"),
                              read.Text("DigestLastDate")};
    const LocalTime now = services.clock.Now();
    if (DigestDue(waiting.size(), store.WaitingBytes(), timing, now) == DigestTrigger::None) {
        return;
    }
    DigestBatch batch;
    batch.postings = waiting;
    const Lines roster = RosterOf(services, list);
    const MemberModes modes = ModesOf(services, list);
    for (DeliveryMode kind : {DeliveryMode::Digest, DeliveryMode::PlainDigest}) {
        if (!DigestRecipients(roster, modes, kind).empty()) {
            batch.kinds.push_back(kind);
        }
    }
    if (batch.kinds.empty()) {
        // Everyone who wanted a digest has left it: the postings have nobody to go to.
        store.Finish(batch);
        WriteLog(services, Stamp(services) + list + ": digest of " +
                               std::to_string(waiting.size()) +
                               " postings dropped (no member in a digest mode)");
        return;
    }
    const DigestNumber number = NextDigestNumber(read.Integer("DigestVolume"),
                                                 read.Integer("DigestIssue"), timing.lastDay, now);
    batch.volume = number.volume;
    batch.issue = number.issue;
    batch.day = DayText(now);

    std::vector<std::string> postings;
    postings.reserve(waiting.size());
    for (const std::string& name : waiting) {
        postings.push_back(store.Read(name));
    }
    std::vector<std::string> messages;
    for (DeliveryMode kind : batch.kinds) {
        DigestEnvelope envelope{list, batch.volume, batch.issue,
                                DigestHeaderLines(context, services, list, batch)};
        messages.push_back(kind == DeliveryMode::Digest
                               ? BuildMimeDigest(envelope, postings, services.random)
                               : BuildPlainDigest(envelope, postings));
    }
    postings.clear();
    store.StartBatch(batch, messages);
    if (hook) {
        hook("built");
    }
    SendBatch(context, services, list, store, batch, hook);
}

void SendDueDigests(ScanContext& context, Services& services, const DigestStepHook& hook) {
    for (const std::string& list : services.console.ListNames()) {
        SendDueDigest(context, services, list, hook);
    }
}

}  // namespace corvanteer
