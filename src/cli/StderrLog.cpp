#include "cli/StderrLog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>

namespace corvanteer::cli {

namespace {

constexpr std::size_t kStampSearch = 40;

bool Digits(std::string_view text, std::size_t at) {
    return std::isdigit(static_cast<unsigned char>(text[at])) != 0 &&
           std::isdigit(static_cast<unsigned char>(text[at + 1])) != 0;
}

}  // namespace

bool IsJournalStream(const char* journalStream, int fd) {
    if (journalStream == nullptr) {
        return false;
    }
    unsigned long long device = 0;
    unsigned long long inode = 0;
    char rest = 0;
    if (std::sscanf(journalStream, "%llu:%llu%c", &device, &inode, &rest) != 2) {
        return false;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        return false;
    }
    return static_cast<unsigned long long>(info.st_dev) == device &&
           static_cast<unsigned long long>(info.st_ino) == inode;
}

std::string_view WithoutLogStamp(std::string_view line) {
    // The date ("%a,%d%b%y") is one word holding a comma; one blank, then "hh:mm:ss ".
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos || blank + 10 > std::min(line.size(), kStampSearch) ||
        line.substr(0, blank).find(',') == std::string_view::npos) {
        return line;
    }
    const std::size_t at = blank + 1;
    if (Digits(line, at) && line[at + 2] == ':' && Digits(line, at + 3) && line[at + 5] == ':' &&
        Digits(line, at + 6) && line[at + 8] == ' ') {
        return line.substr(at + 9);
    }
    return line;
}

void StderrLog::Line(std::string_view text, LogPriority priority) {
    if (journal_) {
        err_ << '<' << static_cast<int>(priority) << '>';
    }
    err_ << text << '\n';
    err_.flush();
}

void StderrLog::Stamped(std::string_view stamp, std::string_view text, LogPriority priority) {
    if (journal_) {
        Line(text, priority);
        return;
    }
    err_ << stamp << text << '\n';
    err_.flush();
}

void StderrLog::LogLine(std::string_view line, LogPriority priority) {
    Line(journal_ ? WithoutLogStamp(line) : line, priority);
}

}  // namespace corvanteer::cli
