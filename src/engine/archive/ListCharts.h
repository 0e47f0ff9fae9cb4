#pragma once

// The two small charts of the archive's list page, drawn as inline SVG that needs no script:
// postings per month, and members over time as the activity log tells it.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvanteer::archive {

// The month ("YYYY-MM") of an activity log line and the text after its stamp; false when
// the line does not begin with a stamp ("ddd,ddmmmyy hh:mm:ss ", day and month names in
// English or in the environment's LC_TIME). Years are read as 20yy.
bool ParseLogLine(std::string_view line, std::string& month, std::string_view& rest);

// The net change of the list's members in each month, from the activity log's lines for it
// (list name compared without regard to case): "+ address..." adds one, "- address..."
// takes one away, "  imported N" adds N. A missing or unreadable log gives none.
std::map<std::string, int> MemberChangesFromLog(const std::string& logPath,
                                                std::string_view listName);

// Every month from first to last, both included ("YYYY-MM"); none when first > last.
std::vector<std::string> MonthRange(std::string_view first, std::string_view last);

// Members at the end of each month of the range, counted back from the members there are
// now (at the end of the range's last month) through the changes after each month. Never
// below zero: a log that starts after the list did cannot tell its first members.
std::vector<std::pair<std::string, int>> MembersByMonth(const std::vector<std::string>& months,
                                                        const std::map<std::string, int>& changes,
                                                        int membersNow);

using MonthValues = std::vector<std::pair<std::string, int>>;

// <figure> with a bar chart (one bar per month, each with its month and value as a tooltip:
// "2026-05: 3 postings" for the unit "posting") and a caption; "" when there are no months.
std::string BarChartSvg(const MonthValues& values, std::string_view caption, std::string_view unit);
// The same as a line.
std::string LineChartSvg(const MonthValues& values, std::string_view caption,
                         std::string_view unit);

}  // namespace corvanteer::archive
