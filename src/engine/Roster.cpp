#include "engine/Roster.h"

#include <algorithm>
#include <cmath>

namespace corvanteer {

namespace {

char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// Three-way comparison without regard to case.
int CompareText(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(Fold(a[i]));
        unsigned char y = static_cast<unsigned char>(Fold(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

MemberEntry MemberEntry::Parse(std::string_view line) {
    MemberEntry entry;
    std::string_view parts[3];
    size_t start = 0;
    for (int i = 0; i < 3 && start <= line.size(); ++i) {
        const size_t blank = line.find(' ', start);
        parts[i] = line.substr(start, blank == std::string_view::npos ? blank : blank - start);
        start = blank == std::string_view::npos ? line.size() + 1 : blank + 1;
    }
    entry.address = parts[0];
    entry.flag = parts[1];
    entry.password = parts[2];
    return entry;
}

std::string_view MemberEntry::AddressOf(std::string_view line) {
    return line.substr(0, line.find(' '));
}

MemberEntry MemberEntry::New(std::string_view address, std::string_view password) {
    return MemberEntry{std::string(address), "0", std::string(password)};
}

std::string MemberEntry::Format() const {
    std::string line;
    line.reserve(address.size() + flag.size() + password.size() + 2);
    line += address;
    line += ' ';
    line += flag;
    line += ' ';
    line += password;
    return line;
}

std::string GeneratePassword(RandomSource& random) {
    while (true) {
        long long drawn = std::llround(random.Real() * 1000000.0);
        std::string text = std::to_string(drawn);
        if (text.size() == 6) {
            return text;
        }
    }
}

bool RosterLess(std::string_view a, std::string_view b) {
    int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
}

SortedRoster::SortedRoster(const Lines& lines) {
    Assign(lines);
}

void SortedRoster::Assign(const Lines& lines) {
    lines_.clear();
    lines_.reserve(lines.size());
    // A blank line (left by a hand edit) names nobody: as a recipient it would make the
    // server refuse a whole Bcc posting.
    for (const std::string& line : lines) {
        if (!Trim(line).empty()) {
            lines_.push_back(line);
        }
    }
    // Stable, so of lines equal without regard to case the first one stays.
    std::stable_sort(lines_.begin(), lines_.end(), [](const std::string& a, const std::string& b) {
        return CompareText(a, b) < 0;
    });
    auto last = std::unique(
        lines_.begin(), lines_.end(),
        [](const std::string& a, const std::string& b) { return CompareText(a, b) == 0; });
    lines_.erase(last, lines_.end());
}

void SortedRoster::AssignText(std::string_view sectionText) {
    Assign(TextToLines(sectionText));
}

bool SortedRoster::Add(const std::string& line) {
    auto it = std::lower_bound(
        lines_.begin(), lines_.end(), line,
        [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    if (it != lines_.end() && CompareText(*it, line) == 0) {
        return false;
    }
    lines_.insert(it, line);
    return true;
}

void SortedRoster::Delete(size_t index) {
    if (index < lines_.size()) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index));
    }
}

size_t SortedRoster::FindAddress(std::string_view lowerAddress) const {
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (SameText(MemberEntry::AddressOf(lines_[i]), lowerAddress)) {
            return i;
        }
    }
    return npos;
}

}  // namespace corvanteer
