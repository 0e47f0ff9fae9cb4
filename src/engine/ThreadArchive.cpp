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

void ArchiveThread(Services& services, const std::string& listName, std::string_view message) {
    const std::string folder = AddBackslash(services.paths.ThreadsFolder(listName));
    ForceDirectories(folder);
    // The header ends at the first empty line; without one the message is all header.
    std::size_t headerEnd = message.size();
    std::string_view body;
    if (StartsWith(message, "\r\n")) {
        headerEnd = 0;
        body = message.substr(2);
    } else if (const std::size_t blank = message.find("\r\n\r\n");
               blank != std::string_view::npos) {
        headerEnd = blank + 2;
        body = message.substr(blank + 4);
    }
    const Lines header = TextToLines(message.substr(0, headerEnd));
    const std::string subject = ThreadSubject(GetHeaderValue("Subject", header));
    const std::string indexFile = folder + kIndexName;

    std::string entry = "From: " + ExtractDisplayName(GetHeaderValue("From", header));
    entry += "\r\nSubject: " + subject;
    entry += "\r\nDate: " + Rfc822Date(services.clock.Now());
    entry += "\r\n";
    // The body's lines follow, each after a line break of its own.
    if (!body.empty()) {
        entry += "\r\n";
        entry.append(EndsWith(body, "\r\n") ? body.substr(0, body.size() - 2) : body);
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
