#include "engine/archive/ListCharts.h"

#include <array>
#include <ctime>
#include <fstream>

#include "engine/archive/HtmlText.h"
#include "engine/archive/MboxStore.h"
#include "support/Text.h"

namespace corvanteer::archive {

namespace {

constexpr std::array<const char*, 12> kEnglishMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Drawing area of the charts, in the units of their viewBox.
constexpr int kWidth = 640;
constexpr int kHeight = 170;
constexpr int kLeft = 44;
constexpr int kRight = 8;
constexpr int kTop = 10;
constexpr int kBottom = 24;  // room for the year labels

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The month number (1-12) whose abbreviation, English or the environment's, begins text;
// length receives the abbreviation's length.
int MonthName(std::string_view text, std::size_t& length) {
    for (int i = 0; i < 12; ++i) {
        if (StartsWith(text, kEnglishMonths[static_cast<std::size_t>(i)])) {
            length = 3;
            return i + 1;
        }
    }
    for (int i = 0; i < 12; ++i) {
        std::tm tm{};
        tm.tm_mon = i;
        tm.tm_mday = 1;
        char name[64];
        const std::size_t size = std::strftime(name, sizeof name, "%b", &tm);
        if (size > 0 && StartsWith(text, std::string_view(name, size))) {
            length = size;
            return i + 1;
        }
    }
    return 0;
}

std::string Number(long long value) {
    return std::to_string(value);
}

// The frame every chart shares: the axis, the largest value at the top, and the year under
// the first month of each year.
std::string ChartStart(const MonthValues& values, std::string_view caption, int top) {
    std::string svg = "<figure class=\"chart\"><svg viewBox=\"0 0 " + Number(kWidth) + " " +
                      Number(kHeight) + "\" role=\"img\" aria-label=\"" + Escaped(caption) + "\">";
    const int bottom = kHeight - kBottom;
    svg += "<line x1=\"" + Number(kLeft) + "\" y1=\"" + Number(bottom) + "\" x2=\"" +
           Number(kWidth - kRight) + "\" y2=\"" + Number(bottom) + "\" class=\"axis\"/>";
    svg += "<text x=\"" + Number(kLeft - 4) + "\" y=\"" + Number(kTop + 10) +
           "\" text-anchor=\"end\">" + Number(top) + "</text>";
    svg += "<text x=\"" + Number(kLeft - 4) + "\" y=\"" + Number(bottom) +
           "\" text-anchor=\"end\">0</text>";
    const int plot = kWidth - kLeft - kRight;
    const int count = static_cast<int>(values.size());
    int lastLabel = -1000;
    for (int i = 0; i < count; ++i) {
        const std::string& month = values[static_cast<std::size_t>(i)].first;
        const int x = kLeft + plot * i / count;
        if ((i == 0 || month.substr(5) == "01") && x - lastLabel >= 34) {
            svg += "<text x=\"" + Number(x) + "\" y=\"" + Number(kHeight - 6) + "\">" +
                   Escaped(month.substr(0, 4)) + "</text>";
            lastLabel = x;
        }
    }
    return svg;
}

std::string ChartEnd(std::string_view caption) {
    return "</svg><figcaption>" + Escaped(caption) + "</figcaption></figure>\n";
}

int Largest(const MonthValues& values) {
    int largest = 1;
    for (const auto& value : values) {
        largest = std::max(largest, value.second);
    }
    return largest;
}

std::string Tooltip(const std::pair<std::string, int>& value, std::string_view unit) {
    return "<title>" + Escaped(value.first) + ": " + Number(value.second) + " " + Escaped(unit) +
           (value.second == 1 ? "" : "s") + "</title>";
}

}  // namespace

bool ParseLogLine(std::string_view line, std::string& month, std::string_view& rest) {
    // "ddd,ddmmmyy hh:mm:ss "
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos || comma == 0 || comma > 16) {
        return false;
    }
    std::string_view text = line.substr(comma + 1);
    if (text.size() < 2 || !IsDigit(text[0]) || !IsDigit(text[1])) {
        return false;
    }
    text.remove_prefix(2);
    std::size_t nameLength = 0;
    const int monthNumber = MonthName(text, nameLength);
    if (monthNumber == 0) {
        return false;
    }
    text.remove_prefix(nameLength);
    if (text.size() < 12 || !IsDigit(text[0]) || !IsDigit(text[1]) || text[2] != ' ' ||
        text[5] != ':' || text[8] != ':' || text[11] != ' ') {
        return false;
    }
    month = MonthOf(2000 + (text[0] - '0') * 10 + (text[1] - '0'), monthNumber);
    rest = text.substr(12);
    return true;
}

std::map<std::string, int> MemberChangesFromLog(const std::string& logPath,
                                                std::string_view listName) {
    std::map<std::string, int> changes;
    std::ifstream log(logPath, std::ios::binary);
    std::string line;
    const std::string prefix = std::string(listName) + ":";
    while (std::getline(log, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string month;
        std::string_view rest;
        if (!ParseLogLine(line, month, rest) || !StartsWithText(rest, prefix)) {
            continue;
        }
        rest.remove_prefix(prefix.size());
        if (StartsWith(rest, " + ")) {
            ++changes[month];
        } else if (StartsWith(rest, " - ")) {
            --changes[month];
        } else if (StartsWith(rest, "   imported ")) {
            int imported = 0;
            if (TryParseInt(rest.substr(12), imported) && imported > 0) {
                changes[month] += imported;
            }
        }
    }
    return changes;
}

std::vector<std::string> MonthRange(std::string_view first, std::string_view last) {
    std::vector<std::string> months;
    if (!IsMonthText(first) || !IsMonthText(last) || first > last) {
        return months;
    }
    int year = std::stoi(std::string(first.substr(0, 4)));
    int month = std::stoi(std::string(first.substr(5, 2)));
    for (std::string current = std::string(first); current <= last;
         current = MonthOf(year, month)) {
        months.push_back(current);
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    return months;
}

std::vector<std::pair<std::string, int>> MembersByMonth(const std::vector<std::string>& months,
                                                        const std::map<std::string, int>& changes,
                                                        int membersNow) {
    std::vector<std::pair<std::string, int>> members(months.size());
    long long count = membersNow;
    for (std::size_t i = months.size(); i-- > 0;) {
        members[i] = {months[i], static_cast<int>(std::max(0LL, count))};
        auto change = changes.find(months[i]);
        if (change != changes.end()) {
            count -= change->second;  // members at the end of the month before
        }
    }
    return members;
}

std::string BarChartSvg(const MonthValues& values, std::string_view caption,
                        std::string_view unit) {
    if (values.empty()) {
        return {};
    }
    const int top = Largest(values);
    std::string svg = ChartStart(values, caption, top);
    const int plot = kWidth - kLeft - kRight;
    const int bottom = kHeight - kBottom;
    const int count = static_cast<int>(values.size());
    for (int i = 0; i < count; ++i) {
        const auto& value = values[static_cast<std::size_t>(i)];
        const int x = kLeft + plot * i / count;
        const int width = std::max(1, kLeft + plot * (i + 1) / count - x - 1);
        const int height =
            static_cast<int>(static_cast<long long>(bottom - kTop) * value.second / top);
        svg += "<rect x=\"" + Number(x) + "\" y=\"" + Number(bottom - height) + "\" width=\"" +
               Number(width) + "\" height=\"" + Number(height) + "\">" + Tooltip(value, unit) +
               "</rect>";
    }
    return svg + ChartEnd(caption);
}

std::string LineChartSvg(const MonthValues& values, std::string_view caption,
                         std::string_view unit) {
    if (values.empty()) {
        return {};
    }
    const int top = Largest(values);
    std::string svg = ChartStart(values, caption, top);
    const int plot = kWidth - kLeft - kRight;
    const int bottom = kHeight - kBottom;
    const int count = static_cast<int>(values.size());
    std::string points;
    std::string marks;
    for (int i = 0; i < count; ++i) {
        const auto& value = values[static_cast<std::size_t>(i)];
        const int x = kLeft + plot * i / count + plot / count / 2;
        const int y =
            bottom - static_cast<int>(static_cast<long long>(bottom - kTop) * value.second / top);
        points += (points.empty() ? "" : " ") + Number(x) + "," + Number(y);
        marks += "<circle cx=\"" + Number(x) + "\" cy=\"" + Number(y) + "\" r=\"3\">" +
                 Tooltip(value, unit) + "</circle>";
    }
    svg += "<polyline points=\"" + points + "\"/>" + marks;
    return svg + ChartEnd(caption);
}

}  // namespace corvanteer::archive
