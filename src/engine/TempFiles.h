#pragma once

// The temp folder of a list: one file per downloaded message, waiting to be processed.
// Their names say in which order the messages arrived in the mailbox, so processing (also
// after a restart) takes them oldest first, whatever order they were downloaded in.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/Text.h"

namespace corvanteer {

// The order number the next download of a mailbox pass starts from: one past the highest
// order number named in folder (0 in an empty one), so that what earlier scans left is
// processed first.
uint64_t FirstDownloadNumber(const std::string& folder);

// folder + "/" + the order number in eight characters from 0-9 and A-Z (so names sort as
// their numbers do) + ".tmp". An order number beyond what eight characters hold gives "".
std::string DownloadFileName(const std::string& folder, uint64_t number);

// Writes the downloaded message (its bytes and one more CR LF) under file + ".part", flushed
// to disk, and only then gives it its name: a download cut short by a kill leaves no ".tmp"
// file that would be posted. Raises on error; also when file exists.
void WriteDownload(const std::string& file, std::string_view message);

// Removes the ".part" files of the folder: downloads a killed scan left unfinished (their
// messages are still on the server).
void RemovePartialDownloads(const std::string& folder);

// The names of the ".tmp" files of the folder, in the order their messages arrived.
std::vector<std::string> DownloadsInOrder(const std::string& folder);

// A temp file read back whole: the message in one buffer, its header taken apart into lines
// (at most kMaxHeaderOctets of it, then one empty line), and where its body begins.
struct DownloadedMessage {
    std::string text;
    Lines header;
    std::size_t bodyStart = 0;

    // Everything after the header's empty line (the file's last CR LF included).
    std::string_view Body() const { return std::string_view(text).substr(bodyStart); }
};

// False (and message emptied) when the file does not exist; raises on any other error.
bool ReadDownload(const std::string& file, DownloadedMessage& message);

// Where the body of a message text begins: after its first empty line, or at its end when it
// has none.
std::size_t BodyStart(std::string_view text);

}  // namespace corvanteer
