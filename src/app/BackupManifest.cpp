#include "app/BackupManifest.h"

#include <set>

#include "support/Sha256.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr size_t kDigestLength = 64;

bool IsDigest(std::string_view text) {
    if (text.size() != kDigestLength) {
        return false;
    }
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::optional<uint64_t> ParseSize(std::string_view text) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    uint64_t size = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        size = size * 10 + static_cast<uint64_t>(c - '0');
    }
    return size;
}

}  // namespace

ManifestEntry ManifestEntryOf(std::string name, std::string_view bytes) {
    return {std::move(name), bytes.size(), Sha256Hex(bytes)};
}

std::string FormatManifest(const std::vector<ManifestEntry>& entries) {
    std::string text;
    for (const ManifestEntry& entry : entries) {
        text += entry.sha256 + " " + std::to_string(entry.size) + " " + entry.name + "\r\n";
    }
    return text;
}

std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text, std::string& error) {
    std::vector<ManifestEntry> entries;
    std::set<std::string> names;
    const Lines lines = TextToLines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        std::optional<uint64_t> size;
        if (second != std::string::npos) {
            size = ParseSize(std::string_view(line).substr(first + 1, second - first - 1));
        }
        if (!size || !IsDigest(std::string_view(line).substr(0, first)) ||
            second + 1 >= line.size()) {
            error = "line " + std::to_string(i + 1) + " is not a digest, a size and a name";
            return std::nullopt;
        }
        ManifestEntry entry{line.substr(second + 1), *size, line.substr(0, first)};
        if (!names.insert(entry.name).second) {
            error = "\"" + entry.name + "\" is named twice";
            return std::nullopt;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace corvanteer
