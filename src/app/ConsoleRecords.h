#pragma once

// How an operator's roster action is recorded: a line at the top of the list's
// Latest_Actions section (not trimmed to 20, unlike the scan's additions) and a line in the
// activity log naming the list.

#include <string>
#include <string_view>

#include "engine/Services.h"

namespace corvanteer {

// Latest_Actions gets short date + latestTail at the top (under the store lock); the log gets
// LogStamp + list + logTail. list is the name as the list set holds it.
void RecordConsoleAction(Services& services, const std::string& list, std::string_view latestTail,
                         std::string_view logTail);

}  // namespace corvanteer
