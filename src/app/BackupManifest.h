#pragma once

// The manifest of a backup, "manifest.sha256": one line per file, ended by CR LF, of the
// SHA-256 in 64 lower-case hexadecimal digits, a blank, the size in bytes, a blank and the
// file's name (which may hold blanks: it is the rest of the line).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {

struct ManifestEntry {
    std::string name;
    uint64_t size = 0;
    std::string sha256;
};

// The entry of a file with these bytes.
ManifestEntry ManifestEntryOf(std::string name, std::string_view bytes);

std::string FormatManifest(const std::vector<ManifestEntry>& entries);

// The entries, or nullopt with the reason in error (naming the line) when a line does not
// have the form above or a name occurs twice.
std::optional<std::vector<ManifestEntry>> ParseManifest(std::string_view text, std::string& error);

}  // namespace corvanteer
