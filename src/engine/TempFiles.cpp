#include "engine/TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "support/Files.h"
#include "support/Status.h"
#include "transport/MailClients.h"

namespace corvanteer {
namespace {

constexpr const char* kPartialSuffix = ".part";
constexpr const char* kDigits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kNameLength = 8;
constexpr uint64_t kNameNumbers = 2821109907456ULL;  // 36 to the 8th

// The order number a name holds; -1 for a name of another form.
int64_t NumberOf(std::string_view name) {
    const std::size_t dot = name.find('.');
    if (dot != static_cast<std::size_t>(kNameLength)) {
        return -1;
    }
    int64_t number = 0;
    for (char c : name.substr(0, kNameLength)) {
        const char* digit = std::char_traits<char>::find(kDigits, 36, c);
        if (digit == nullptr) {
            return -1;
        }
        number = number * 36 + (digit - kDigits);
    }
    return number;
}

}  // namespace

uint64_t FirstDownloadNumber(const std::string& folder) {
    uint64_t next = 0;
    for (const char* suffix : {".tmp", kPartialSuffix}) {
        for (const std::string& name : ListFiles(folder, suffix)) {
            const int64_t number = NumberOf(name);
            if (number >= 0) {
                next = std::max(next, static_cast<uint64_t>(number) + 1);
            }
        }
    }
    return next;
}

std::string DownloadFileName(const std::string& folder, uint64_t number) {
    if (number >= kNameNumbers) {
        return {};
    }
    std::string name(kNameLength, '0');
    for (int i = kNameLength - 1; i >= 0; --i) {
        name[static_cast<std::size_t>(i)] = kDigits[number % 36];
        number /= 36;
    }
    return AddBackslash(folder) + name + ".tmp";
}

void WriteDownload(const std::string& file, std::string_view message) {
    if (FileExists(file)) {
        ThrowIoError("Cannot create", file, EEXIST);
    }
    const std::string partial = file + kPartialSuffix;
    WriteNewFileSynced(partial, {message, std::string_view("\r\n")}, /*syncFolder=*/false);
    if (::rename(partial.c_str(), file.c_str()) != 0) {
        const int error = errno;
        DeleteFileIfExists(partial);
        ThrowIoError("Cannot rename", partial, error);
    }
    SyncFolder(file.substr(0, file.rfind('/')));
}

void RemovePartialDownloads(const std::string& folder) {
    for (const std::string& name : ListFiles(folder, kPartialSuffix)) {
        DeleteFileIfExists(AddBackslash(folder) + name);
    }
}

std::vector<std::string> DownloadsInOrder(const std::string& folder) {
    std::vector<std::string> names = ListFiles(folder, ".tmp");
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t BodyStart(std::string_view text) {
    // Lines end as TextToLines has them end: CR LF, a lone LF or a lone CR.
    auto past = [&](std::size_t end) {
        return end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    };
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\r' || text[at] == '\n') {
            return past(at);
        }
        std::size_t end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') {
            ++end;
        }
        if (end == text.size()) {
            break;
        }
        at = past(end);
    }
    return text.size();
}

bool ReadDownload(const std::string& file, DownloadedMessage& message) {
    message.header.clear();
    message.bodyStart = 0;
    auto text = ReadFileIfExists(file);
    if (!text) {
        message.text.clear();
        return false;
    }
    message.text = std::move(*text);
    message.bodyStart = BodyStart(message.text);
    // The header's lines up to its empty line; only so much of a header is looked at.
    std::string_view header = std::string_view(message.text).substr(0, message.bodyStart);
    if (header.size() > kMaxHeaderOctets) {
        header = header.substr(0, kMaxHeaderOctets);
    }
    message.header = TextToLines(header);
    while (!message.header.empty() && message.header.back().empty()) {
        message.header.pop_back();
    }
    message.header.emplace_back();
    return true;
}

}  // namespace corvanteer
