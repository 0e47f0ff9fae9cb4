#pragma once

// The activity log "Corvanteer.log" and the Latest_Actions section of a list.

#include <string>
#include <string_view>
#include <vector>

#include "engine/ScanContext.h"
#include "engine/Services.h"

namespace corvanteer {

// Appends one line (stamp included by the caller) to the activity log; errors are ignored.
// The observer hears of the line with its priority.
void WriteLog(Services& services, std::string_view line, LogPriority priority = LogPriority::Info);

// Logs list + ": x " + PrintableAddress(address) + "(invalid address)": a request by mail
// that would have made a member of an address that fails IsUsableMemberAddress.
void LogInvalidAddress(Services& services, std::string_view listName, std::string_view address);

// Logs each value a stored setting held that its checks refuse (read as its default and
// never sent), once per session: "<list>: setting <name> refused - <why>; not used". The
// global settings' have no list name.
void LogRefusedValues(ScanContext& context, Services& services, std::string_view listName,
                      const std::vector<RefusedValue>& refused);

// LogStamp of now.
std::string Stamp(Services& services);
// The short date of now, for Latest_Actions entries.
std::string ShortDateNow(Services& services);

// Inserts the entry at the top of the Latest_Actions section of the file and cuts the
// section to 20 lines. Runs under the store lock.
void AddLatestAction(Services& services, const std::string& listDataFile, const std::string& entry);

}  // namespace corvanteer
