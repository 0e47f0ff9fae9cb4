#include "engine/ActivityLog.h"

#include <mutex>

#include "support/Address.h"
#include "support/DateTime.h"
#include "support/Files.h"
#include "support/SectionFile.h"

namespace corvanteer {

namespace {

constexpr size_t kLatestActionsKept = 20;

}  // namespace

void WriteLog(Services& services, std::string_view line, LogPriority priority) {
    AppendLine(services.paths.LogFile(), line);
    services.observer.LogLine(std::string(line), priority);
}

void LogInvalidAddress(Services& services, std::string_view listName, std::string_view address) {
    WriteLog(services, Stamp(services) + std::string(listName) + ": x " +
                           PrintableAddress(address) + "(invalid address)");
}

void LogRefusedValues(ScanContext& context, Services& services, std::string_view listName,
                      const std::vector<RefusedValue>& refused) {
    for (const RefusedValue& value : refused) {
        if (!context.RefusedValuesLogged.insert(std::string(listName) + "/" + value.name).second) {
            continue;
        }
        WriteLog(services, Stamp(services) + std::string(listName) +
                               (listName.empty() ? "" : ": ") + "setting " + value.name +
                               " refused - " + value.message + "; not used");
    }
}

std::string Stamp(Services& services) {
    return LogStamp(services.clock.Now());
}

std::string ShortDateNow(Services& services) {
    return ShortDate(services.clock.Now());
}

void AddLatestAction(Services& services, const std::string& listDataFile,
                     const std::string& entry) {
    std::lock_guard<StoreLock> guard(services.storeLock);
    Lines lines = TextToLines(ReadSection(listDataFile, "Latest_Actions"));
    lines.insert(lines.begin(), entry);
    if (lines.size() > kLatestActionsKept) {
        lines.resize(kLatestActionsKept);
    }
    WriteSection(listDataFile, "Latest_Actions", lines);
}

}  // namespace corvanteer
