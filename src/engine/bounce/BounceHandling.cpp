#include "engine/bounce/BounceHandling.h"

#include <map>
#include <mutex>

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/RequestRules.h"
#include "engine/Roster.h"
#include "engine/bounce/MemberDelivery.h"
#include "engine/bounce/Notices.h"
#include "engine/bounce/Scoring.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Text.h"

namespace corvanteer::bounce {

namespace {

ListInHand InHand(ScanContext& context, Services& services) {
    return ListInHand{HeldListName(context, services), context.ListName, context.ListDataFile,
                      context.Settings};
}

std::string Printable(std::string_view text) {
    return OneLineText(text);
}

int Strength(Verdict verdict) {
    return verdict == Verdict::Hard ? 2 : verdict == Verdict::Soft ? 1 : 0;
}

// Sends one notice from the List Server address; a notice that cannot go now is queued
// like an answer.
void SendNotice(ScanContext& context, Services& services, const ListInHand& hand,
                const std::vector<std::string>& to, std::string message) {
    std::string names;
    for (const std::string& address : to) {
        names += (names.empty() ? "" : ", ") + address;
    }
    SendOptions options;
    options.sent = hand.name + ": i sent msg to " + names;
    options.failed = hand.name + ": i failed msg to " + names + "(Attempt 1)";
    SendTally tally;
    SendAlone(services, hand.name,
              Envelope{services.console.Globals().ListServerAddress, to, std::move(message)},
              options, tally);
    context.Counts.answersSent += static_cast<int>(tally.sent);
    context.Counts.messagesQueued += static_cast<int>(tally.queued);
}

NoticeContext NoticeOf(Services& services, const ListInHand& hand) {
    const GlobalSettings globals = services.console.Globals();
    return NoticeContext{hand.list, hand.settings, globals.ListServerAddress, globals.SMTPHost};
}

std::string TemplateText(const ListInHand& hand) {
    const std::string text = ReadSection(hand.dataFile, kNoticeSection);
    return Trim(text).empty() ? std::string(kDefaultNoticeText) : text;
}

std::string StatusOrDash(const std::string& status) {
    return status.empty() ? "-" : status;
}

// The member's notice, and with the first one the owner's, the report that disabled the
// member attached when there is one.
void SendNotices(ScanContext& context, Services& services, const ListInHand& hand,
                 const MemberBounces& member, const std::string* report) {
    const NoticeContext notice = NoticeOf(services, hand);
    SendNotice(context, services, hand, {member.address},
               MemberNotice(services, notice,
                            MemberNoticeValues{member.address, member.code, member.lastStatus,
                                               member.ScoreText()},
                            TemplateText(hand)));
    const std::vector<std::string> owners = OwnerAddresses(hand.settings);
    if (member.notices == 0 && !owners.empty()) {
        std::string text =
            "Delivery of the list " + hand.list + " to " + member.address +
            " has been\r\ndisabled: its mail kept coming back.\r\n\r\n" +
            "Member:      " + member.address + "\r\n" + "Score:       " + member.ScoreText() +
            "\r\n" + "Last status: " + StatusOrDash(member.lastStatus) + "\r\n\r\n" +
            "The member stays on the list and gets a notice with a code that\r\n" +
            "enables delivery again. Without a reply the member is removed after\r\n" +
            std::to_string(hand.settings.BounceWarnings) + " notices, " +
            std::to_string(hand.settings.BounceWarnInterval) + " days apart.\r\n";
        if (report != nullptr) {
            text += "The last failure report is attached.\r\n";
        }
        SendNotice(
            context, services, hand, owners,
            OwnerNotice(services, notice, owners,
                        hand.list + ": delivery to " + member.address + " disabled (bounces)", text,
                        report != nullptr ? *report : std::string_view()));
    }
    const int today = DayOf(services.clock.Now());
    UpdateBounceState(services, hand.list, [&](BounceState& state) {
        MemberBounces* stored = state.Find(member.address);
        if (stored == nullptr || stored->disabled != Disabled::Bounces) {
            return false;  // enabled meanwhile
        }
        NoticeSent(*stored, today);
        return true;
    });
}

// Removes every roster entry of the address; true when there was one.
bool RemoveFromRoster(Services& services, const std::string& dataFile, const std::string& address) {
    std::lock_guard<StoreLock> guard(services.storeLock);
    Lines lines = TextToLines(ReadSection(dataFile, "MemberList"));
    const size_t before = lines.size();
    std::erase_if(lines, [&](const std::string& line) {
        return SameText(MemberEntry::AddressOf(line), address);
    });
    if (lines.size() == before) {
        return false;
    }
    WriteSection(dataFile, "MemberList", lines);
    return true;
}

void RemoveMember(ScanContext& context, Services& services, const ListInHand& hand,
                  const MemberBounces& member) {
    RemoveFromRoster(services, hand.dataFile, member.address);
    ForgetMember(services, hand.list, member.address);
    AddLatestAction(services, hand.dataFile,
                    ShortDateNow(services) + " - " + member.address + "(bounces)");
    WriteLog(services, Stamp(services) + hand.name + ": - " + member.address + " (bounces)");
    services.observer.RosterChanged(hand.list);
    const std::vector<std::string> owners = OwnerAddresses(hand.settings);
    if (owners.empty()) {
        return;
    }
    const std::string text =
        member.address + " was removed from the list " + hand.list +
        ": its delivery had been disabled since " + DayText(member.disabledSince) +
        " because its mail kept coming back,\r\nand " + std::to_string(member.notices) +
        " notices brought no reply.\r\n\r\nLast status: " + StatusOrDash(member.lastStatus) +
        "\r\n";
    SendNotice(context, services, hand, owners,
               OwnerNotice(services, NoticeOf(services, hand), owners,
                           hand.list + ": " + member.address + " removed (bounces)", text));
}

void LogPolicy(Services& services, const ListInHand& hand, const FailedRecipient& recipient) {
    WriteLog(services, Stamp(services) + hand.name + ": bounce for " +
                           Printable(recipient.address) + " (" + Printable(recipient.status) +
                           ") - refused by policy, not charged");
}

void LogNotCounted(Services& services, const ListInHand& hand, const std::string& address,
                   const std::string& status, const char* why) {
    WriteLog(services, Stamp(services) + hand.name + ": bounce from " + address + " (" +
                           Printable(StatusOrDash(status)) + ") - not counted (" + why + ")");
}

}  // namespace

ListInHand ListInHandOf(ScanContext& context, Services& services) {
    return InHand(context, services);
}

BounceOutcome HandleListBounce(ScanContext& context, Services& services) {
    if (!context.Settings.BounceProcessing) {
        return BounceOutcome::NotABounce;
    }
    std::optional<std::string> bytes = ReadFileIfExists(context.MessageFile);
    if (!bytes) {
        return BounceOutcome::NotABounce;
    }
    const BounceReport report = RecogniseBounce(*bytes);
    if (report.recipients.empty()) {
        return BounceOutcome::NotABounce;
    }
    BounceBatch& batch = context.Bounces;
    // The list in hand is looked up once per list, not once per report.
    if (batch.hand.list.empty() || batch.hand.dataFile != context.ListDataFile) {
        FlushBounces(context, services);  // charges of another list, left by a caller
        batch.hand = InHand(context, services);
    }
    batch.members.Refresh(batch.hand.dataFile);

    const auto shared = std::make_shared<const std::string>(std::move(*bytes));
    bool policy = false;
    bool named = false;
    const FailedRecipient* strongest = nullptr;  // of the addresses that are no member's
    auto charge = [&](const std::string& member, const FailedRecipient& recipient) {
        named = true;
        if (recipient.verdict == Verdict::NotCounted) {
            LogNotCounted(services, batch.hand, Printable(member), recipient.status,
                          "delayed or delivered");
            return;
        }
        const std::string reported = member != recipient.address ? recipient.address : "";
        batch.pending.push_back(
            PendingCharge{member, reported, recipient.verdict, recipient.status, shared});
    };
    for (const FailedRecipient& recipient : report.recipients) {
        if (recipient.verdict == Verdict::Policy) {
            LogPolicy(services, batch.hand, recipient);
            policy = true;
        } else if (batch.members.IsMember(recipient.address)) {
            charge(recipient.address, recipient);
        } else if (!recipient.original.empty() && batch.members.IsMember(recipient.original)) {
            charge(recipient.original, recipient);
        } else if (strongest == nullptr ||
                   Strength(recipient.verdict) > Strength(strongest->verdict)) {
            strongest = &recipient;
        }
    }
    // A copy that failed at an address the roster does not know (a member's forwarding
    // address) is charged to the member whose token its returned header carries.
    if (!named && strongest != nullptr && !report.memberTokens.empty()) {
        if (batch.tokenKey.empty()) {
            batch.tokenKey = MemberTokenKey(services.store, services.paths.SettingsKey());
        }
        for (const std::string& token : report.memberTokens) {
            if (const std::string* member =
                    batch.members.MemberOfToken(batch.tokenKey, batch.hand.list, token)) {
                charge(*member, *strongest);
                break;
            }
        }
    }
    if (!named && !policy) {
        const FailedRecipient& first = report.recipients.front();
        LogNotCounted(services, batch.hand, Printable(first.address), first.status, "not a member");
    }
    if (batch.pending.size() >= BounceBatch::kMaxPending) {
        FlushBounces(context, services);
    }
    return policy ? BounceOutcome::Policy : BounceOutcome::Handled;
}

void FlushBounces(ScanContext& context, Services& services) {
    BounceBatch& batch = context.Bounces;
    if (batch.pending.empty()) {
        return;
    }
    const std::vector<PendingCharge> pending = std::move(batch.pending);
    batch.pending.clear();
    const ListInHand& hand = batch.hand;
    const BounceRules rules = RulesOf(hand.settings);
    const int today = DayOf(services.clock.Now());
    std::vector<Charge> charges;
    std::vector<MemberBounces> disabled;
    UpdateBounceState(services, hand.list, [&](BounceState& state) {
        charges.clear();
        disabled.clear();
        DropStale(state, today, rules);
        for (const PendingCharge& item : pending) {
            charges.push_back(
                ChargeBounce(state, item.member, item.verdict, item.status, today, rules));
            if (charges.back().disabledNow) {
                MemberBounces* member = state.Find(item.member);
                member->code = NewEnableCode(services.random);
                disabled.push_back(*member);
            }
        }
        return true;
    });

    std::map<std::string, const std::string*> reports;
    for (size_t i = 0; i < pending.size(); ++i) {
        const PendingCharge& item = pending[i];
        const std::string who = Printable(item.member) +
                                (item.reported.empty() ? "" : " via " + Printable(item.reported));
        switch (charges[i].result) {
            case ChargeResult::Counted: {
                MemberBounces scored;
                scored.halfPoints = charges[i].halfPoints;
                WriteLog(services, Stamp(services) + hand.name + ": bounce from " + who + " (" +
                                       Printable(item.status) + ") - score " + scored.ScoreText());
                break;
            }
            case ChargeResult::CountedToday:
                LogNotCounted(services, hand, who, item.status, "counted today");
                break;
            case ChargeResult::AlreadyOff:
                LogNotCounted(services, hand, who, item.status, "delivery disabled");
                break;
            case ChargeResult::NotChargeable:
                break;
        }
        if (charges[i].disabledNow) {
            reports[item.member] = item.report.get();
        }
    }
    for (const MemberBounces& member : disabled) {
        AddLatestAction(services, hand.dataFile,
                        ShortDateNow(services) + " x " + member.address + "(delivery disabled)");
        WriteLog(services, Stamp(services) + hand.name + ": x " + member.address +
                               "(delivery disabled, score " + member.ScoreText() + ")");
        services.observer.RosterChanged(hand.list);
        SendNotices(context, services, hand, member, reports[member.address]);
    }
}

void RunBounceSchedule(ScanContext& context, Services& services) {
    if (!context.Settings.BounceProcessing) {
        return;
    }
    const ListInHand hand = InHand(context, services);
    if (!FileExists(services.paths.BounceStateFile(hand.list))) {
        return;
    }
    const BounceRules rules = RulesOf(hand.settings);
    const int today = DayOf(services.clock.Now());
    std::vector<std::string> roster;
    for (const std::string& line : TextToLines(ReadSection(hand.dataFile, "MemberList"))) {
        roster.push_back(LowerCase(MemberEntry::AddressOf(line)));
    }
    std::vector<DueAction> due;
    std::vector<MemberBounces> members;
    UpdateBounceState(services, hand.list, [&](BounceState& state) {
        const bool pruned = state.KeepOnly(roster);
        const bool dropped = DropStale(state, today, rules);
        due = DueActions(state, today, rules);
        members.clear();
        for (const DueAction& action : due) {
            members.push_back(*state.Find(action.address));
        }
        return pruned || dropped;
    });
    for (size_t i = 0; i < due.size(); ++i) {
        if (due[i].what == Due::Notice) {
            SendNotices(context, services, hand, members[i], nullptr);
        } else {
            RemoveMember(context, services, hand, members[i]);
        }
    }
}

void ChargeRefusedRecipients(Services& services, const ListInHand& hand,
                             const std::vector<RecipientRefusal>& refusals) {
    if (!hand.settings.BounceProcessing || refusals.empty()) {
        return;
    }
    MemberLookup roster;
    roster.Refresh(hand.dataFile);
    struct Refused {
        std::string member;
        std::string status;
        Charge charge;
        std::string score;
    };
    std::vector<Refused> refused;
    for (const RecipientRefusal& refusal : refusals) {
        const std::string member = LowerCase(refusal.address);
        if (!roster.IsMember(member)) {
            continue;
        }
        std::string status = StatusIn(refusal.reply);
        if (status.empty() || status[0] != '5') {
            status = "5.0.0";  // the caller passes refusals for good only
        }
        if (VerdictOf("failed", status) == Verdict::Policy) {
            LogPolicy(services, hand,
                      FailedRecipient{member, "", "failed", status, Verdict::Policy});
            continue;
        }
        refused.push_back(Refused{member, std::move(status), {}, {}});
    }
    if (refused.empty()) {
        return;
    }
    // One read-modify-write of the state for the whole posting.
    const int today = DayOf(services.clock.Now());
    UpdateBounceState(services, hand.list, [&](BounceState& state) {
        bool changed = false;
        for (Refused& item : refused) {
            item.charge = ChargeBounce(state, item.member, Verdict::Hard, item.status, today,
                                       RulesOf(hand.settings));
            if (item.charge.disabledNow) {
                state.Find(item.member)->code = NewEnableCode(services.random);
            }
            if (const MemberBounces* member = state.Find(item.member)) {
                item.score = member->ScoreText();
            }
            changed = changed || item.charge.result != ChargeResult::NotChargeable;
        }
        return changed;
    });
    bool disabledAny = false;
    for (const Refused& item : refused) {
        const std::string who = Printable(item.member) + " refused at RCPT";
        if (item.charge.result == ChargeResult::CountedToday) {
            LogNotCounted(services, hand, who, item.status, "counted today");
        } else if (item.charge.result == ChargeResult::AlreadyOff) {
            LogNotCounted(services, hand, who, item.status, "delivery disabled");
        } else if (item.charge.result == ChargeResult::Counted) {
            WriteLog(services, Stamp(services) + hand.name + ": bounce from " + who + " (" +
                                   item.status + ") - score " + item.score);
        }
        if (item.charge.disabledNow) {
            AddLatestAction(services, hand.dataFile,
                            ShortDateNow(services) + " x " + item.member + "(delivery disabled)");
            WriteLog(services, Stamp(services) + hand.name + ": x " + item.member +
                                   "(delivery disabled, score " + item.score + ")");
            disabledAny = true;
        }
    }
    if (disabledAny) {
        services.observer.RosterChanged(hand.list);
    }
}

bool HandleEnableReply(ScanContext& context, Services& services) {
    const std::string& subject = context.Subject;
    if (!Contains(subject, "(enable-") || !StartsWithText(subject, "re:")) {
        return false;
    }
    const std::string asked = Trim(std::string_view(subject).substr(3));
    for (const std::string& list : services.console.ListNames()) {
        const BounceState state = ReadBounceState(services.paths, list);
        for (const MemberBounces& member : state.Members()) {
            if (member.disabled != Disabled::Bounces || member.code.empty() ||
                asked != NoticeSubject(list, member.code)) {
                continue;
            }
            EnableDelivery(services, list, member.address,
                           "reply from " + Printable(context.SenderAddress));
            return true;
        }
    }
    return false;
}

}  // namespace corvanteer::bounce
