#include "engine/ThreadArchive.h"

#include <mutex>
#include <set>

#include "support/DateTime.h"
#include "support/Files.h"
#include "support/HeaderFields.h"

namespace corvanteer {

namespace {

constexpr const char* kIndexName = "threads";

// The number of the thread whose subject equals the given one (without regard to case);
// otherwise the smallest positive number no line uses, returned with isNew set.
int FindThread(const Lines& index, const std::string& subject, bool& isNew) {
    std::set<int> used;
    for (const auto& line : index) {
        if (line.empty()) {
            continue;
        }
        int number = 0;
        const size_t blank = line.find(' ');
        const std::string numberText =
            Trim(blank == std::string::npos ? line : line.substr(0, blank));
        const std::string stored =
            blank == std::string::npos ? std::string() : Trim(line.substr(blank + 1));
        if (!TryParseInt(numberText, number)) {
            continue;  // a line we did not write: neither a match nor a number in use
        }
        if (SameText(stored, subject)) {
            isNew = false;
            return number;
        }
        used.insert(number);
    }
    isNew = true;
    int next = 1;
    while (used.count(next) != 0) {
        ++next;
    }
    return next;
}

}  // namespace

std::string ThreadSubject(std::string_view subject) {
    std::string result = Trim(subject);
    if (StartsWith(LowerCase(result), "re:")) {
        result = Trim(std::string_view(result).substr(3));
    }
    return result;
}

void ArchiveThread(Services& services, const std::string& listName, const Lines& message) {
    const std::string folder = AddBackslash(services.paths.ThreadsFolder(listName));
    ForceDirectories(folder);
    const std::string subject = ThreadSubject(GetHeaderValue("Subject", message));
    const std::string indexFile = folder + kIndexName;

    std::string entry = "From: " + ExtractDisplayName(GetHeaderValue("From", message));
    entry += "\r\nSubject: " + subject;
    entry += "\r\nDate: " + Rfc822Date(services.clock.Now());
    entry += "\r\n";
    size_t line = 0;
    while (line < message.size() && !message[line].empty()) {
        ++line;
    }
    for (++line; line < message.size(); ++line) {
        entry += "\r\n";
        entry += message[line];
    }
    entry += "\r\n\r\n";
    entry += std::string(40, '#');

    // Choosing a thread number and appending to its file is one read-modify-write.
    std::lock_guard<StoreLock> guard(services.storeLock);
    int number = 1;
    auto indexText = ReadFileIfExists(indexFile);
    if (!indexText) {
        WriteTextFile(indexFile, "1 " + subject);
    } else {
        bool isNew = false;
        number = FindThread(TextToLines(*indexText), subject, isNew);
        if (isNew) {
            AppendLine(indexFile, std::to_string(number) + " " + subject);
        }
    }
    AppendLine(folder + std::to_string(number) + ".txt", entry);
}

}  // namespace corvanteer
