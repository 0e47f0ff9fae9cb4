#pragma once

// Date texts of the program: the RFC 822 Date header, the activity log stamp, the short date
// of recent-activity lines, and the compact stamps used in identifiers.

#include <string>

#include "support/Clock.h"

namespace corvanteer {

// Minutes west of UTC (UTC minus local time) at that moment.
int TimeZoneBias(const LocalTime& time);

// "GMT" for a bias of 0, else "+hhmm" east of UTC or "-hhmm" west of it.
std::string TimeZoneText(int bias);

// "Tue, 8 Dec 2026 05:40:30 +0100": English names whatever the locale.
std::string Rfc822Date(const LocalTime& time);

// "ddd,ddmmmyy hh:mm:ss " with day and month names of the environment's LC_TIME.
std::string LogStamp(const LocalTime& time);

// The date alone in the environment's short date format (LC_TIME, "%x").
std::string ShortDate(const LocalTime& time);

// "yyyymmddhhmmss" (Message-ID stamps) and "yymmddhhmmss" (verification codes).
std::string Stamp14(const LocalTime& time);
std::string Stamp12(const LocalTime& time);

}  // namespace corvanteer
