#include "engine/archive/ListArchive.h"

#include <ctime>
#include <map>
#include <unordered_set>

#include "engine/Roster.h"
#include "engine/archive/FactsIndex.h"
#include "engine/archive/ListCharts.h"
#include "engine/archive/Mbox.h"
#include "engine/archive/MboxStore.h"
#include "support/Files.h"
#include "support/Locks.h"
#include "support/SectionFile.h"
#include "support/Sha256.h"
#include "support/Status.h"

namespace corvanteer::archive {

namespace {

// "YYYY-MM" of a moment in local time.
std::string LocalMonth(int64_t unixSeconds) {
    const std::time_t seconds = static_cast<std::time_t>(unixSeconds);
    std::tm local{};
    localtime_r(&seconds, &local);
    return MonthOf(local.tm_year + 1900, local.tm_mon + 1);
}

}  // namespace

SiteInfo ListSiteInfo(Services& services, const std::string& listName) {
    const SettingReader read = ListScanReader(services.store, services.paths.ListKey(listName));
    const std::string dataFile = services.paths.ListDataFile(listName);
    SiteInfo info;
    info.listName = listName;
    info.description = ReadSection(dataFile, "Description");
    info.listServerAddress = services.console.Globals().ListServerAddress;
    info.allowUserSubscribe = read.Boolean("AllowUserSubscribe");
    info.showAddresses = read.Boolean("HtmlArchiveShowAddresses");
    info.memberChanges = MemberChangesFromLog(services.paths.LogFile(), listName);
    info.membersNow =
        static_cast<int>(SortedRoster(TextToLines(ReadSection(dataFile, "MemberList"))).size());
    return info;
}

BuildReport BuildListArchive(Services& services, const std::string& listName,
                             const std::string& outDir) {
    const MboxStore store(services.paths.MboxFolder(listName));
    // The list's own folder lies in the application directory and is private like it; a
    // folder given is meant for publishing.
    return BuildSite(store, outDir.empty() ? services.paths.HtmlArchiveFolder(listName) : outDir,
                     ListSiteInfo(services, listName), outDir.empty());
}

void ArchivePosting(Services& services, const std::string& listName, std::string_view message,
                    const std::string& envelopeSender) {
    const LocalTime now = services.clock.Now();
    MboxStore store(services.paths.MboxFolder(listName));
    store.Append(MonthOf(now.year, now.month),
                 MboxRecord(message, envelopeSender, UnixSeconds(now)));
}

ExportReport ExportArchive(Services& services, const std::string& listName, const std::string& from,
                           const std::string& to, const std::string& file) {
    for (const std::string* bound : {&from, &to}) {
        if (!bound->empty() && !IsMonthText(*bound)) {
            throw Failure(ErrorKind::Refused,
                          "\"" + *bound + "\" is not a month; write it as YYYY-MM (2026-05).");
        }
    }
    if (!from.empty() && !to.empty() && from > to) {
        throw Failure(ErrorKind::Refused, "The months from " + from + " to " + to +
                                              " are none: the first comes after the last.");
    }
    const MboxStore store(services.paths.MboxFolder(listName));
    ExportReport report;
    AtomicFileWriter writer(file);
    for (const std::string& month : store.Months()) {
        if ((!from.empty() && month < from) || (!to.empty() && month > to)) {
            continue;
        }
        const std::string bytes = store.ReadMonth(month);
        const std::size_t count = SplitMbox(bytes).size();
        if (count == 0) {
            continue;
        }
        writer.Append(bytes);
        report.messages += count;
        ++report.months;
    }
    writer.Commit();
    return report;
}

ImportReport ImportArchive(Services& services, const std::string& listName,
                           const std::string& file) {
    const std::string bytes = ReadFile(file);
    const std::vector<MboxSpan> spans = SplitMbox(bytes);
    if (spans.empty()) {
        throw Failure(ErrorKind::Refused, "\"" + file +
                                              "\" holds no messages in mbox form (each beginning "
                                              "with a line \"From ...\").");
    }
    MboxStore store(services.paths.MboxFolder(listName));
    ForceDirectories(store.folder());
    // The index of the archive is read and written by builds too.
    FileLock lock(store.folder() + ".build.lock");
    lock.Lock();

    std::unordered_set<std::string> known;
    for (const MessageFacts& facts : UpdateFactsIndex(store)) {
        known.insert(facts.messageId);
    }
    const int64_t now = UnixSeconds(services.clock.Now());
    ImportReport report;
    std::map<std::string, std::string> recordsOfMonth;
    for (const MboxSpan& span : spans) {
        ++report.read;
        const std::string message = MboxMessage(bytes, span);
        std::string sender;
        int64_t separatorDate = now;
        if (!ParseMboxSeparator(MboxSeparator(bytes, span), sender, separatorDate)) {
            sender.clear();
            separatorDate = now;
        }
        const MessageFacts facts = ReadMessageFacts(message, separatorDate);
        const std::string id =
            facts.messageId.empty() ? IdFromHash(Sha256Hex(message)) : facts.messageId;
        if (!known.insert(id).second) {
            ++report.skipped;
            continue;
        }
        if (sender.empty()) {
            sender = facts.fromAddress;
        }
        std::string month = LocalMonth(facts.date);
        if (!IsMonthText(month)) {
            month = LocalMonth(now);  // a date beyond the year 9999
        }
        recordsOfMonth[month] += MboxRecord(message, sender, facts.date);
        ++report.added;
    }
    for (const auto& [month, records] : recordsOfMonth) {
        store.Append(month, records);
    }
    return report;
}

}  // namespace corvanteer::archive
