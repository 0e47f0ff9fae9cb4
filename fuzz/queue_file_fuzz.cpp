// Queue files of the pending mail queue: ParseQueueFile on any bytes, and FormatQueueFile
// read back.
//
// Input: a queue file's bytes, "%%", the parts of a message to queue: its attempts (first
// line, a number), sender (second line), recipients up to an empty line, then the message.
//
// Checked: a file that is read has a count from 0 below INT_MAX, one-line fields and
// recipients that are not blank, and written again it reads back the same with the one empty
// line that the final break adds; a message the format can carry (recipients not blank, no
// line breaks inside lines) comes back from its file unchanged but for that line.

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "common/FuzzCheck.h"
#include "engine/PendingQueue.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

bool SameMessage(const QueuedMessage& a, const QueuedMessage& b) {
    return a.attempts == b.attempts && a.from == b.from && a.sendTo == b.sendTo &&
           a.message == b.message;
}

// Written and read again: the same message with one more empty line at its end.
void CheckRoundTrip(const QueuedMessage& message) {
    QueuedMessage read;
    FUZZ_CHECK(ParseQueueFile(FormatQueueFile(message), read));
    QueuedMessage expected = message;
    expected.message.clear();
    AppendCrLfLines(expected.message, message.message);
    expected.message += "\r\n";
    FUZZ_CHECK(SameMessage(read, expected));
}

void CheckRead(const std::string& bytes) {
    QueuedMessage message;
    if (!ParseQueueFile(bytes, message)) {
        return;
    }
    FUZZ_CHECK(message.attempts >= 0 && message.attempts < INT_MAX);
    FUZZ_CHECK(message.from.find_first_of("\r\n") == std::string::npos);
    for (const auto& recipient : message.sendTo) {
        FUZZ_CHECK(!Trim(recipient).empty());
    }
    CheckRoundTrip(message);
}

// A message built from the input's lines, kept to what the format can hold.
void CheckMessage(const std::string& text) {
    Lines lines = TextToLines(text);
    QueuedMessage message;
    size_t next = 0;
    if (next < lines.size()) {
        message.attempts = StrToIntDef(lines[next++], 0);
        if (message.attempts < 0 || message.attempts == INT_MAX) {
            message.attempts = 0;
        }
    }
    if (next < lines.size()) {
        message.from = lines[next++];
    }
    while (next < lines.size() && !lines[next].empty()) {
        if (!Trim(lines[next]).empty()) {
            message.sendTo.push_back(lines[next]);
        }
        ++next;
    }
    if (next < lines.size()) {
        message.message =
            LinesToText(Lines(lines.begin() + static_cast<long>(next) + 1, lines.end()));
    }
    CheckRoundTrip(message);
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> parts = corvanteer::fuzz::SplitParts(data, size, 2);
    corvanteer::fuzz::CheckRead(parts[0]);
    corvanteer::fuzz::CheckMessage(parts[1]);
    return 0;
}
