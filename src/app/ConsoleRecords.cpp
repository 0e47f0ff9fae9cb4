#include "app/ConsoleRecords.h"

#include <mutex>

#include "engine/ActivityLog.h"
#include "support/SectionFile.h"

namespace corvanteer {

void RecordConsoleAction(Services& services, const std::string& list, std::string_view latestTail,
                         std::string_view logTail) {
    const std::string dataFile = services.paths.ListDataFile(list);
    {
        std::lock_guard<StoreLock> guard(services.storeLock);
        Lines lines = TextToLines(ReadSection(dataFile, "Latest_Actions"));
        lines.insert(lines.begin(), ShortDateNow(services) + std::string(latestTail));
        WriteSection(dataFile, "Latest_Actions", lines);
    }
    WriteLog(services, Stamp(services) + list + std::string(logTail));
}

}  // namespace corvanteer
