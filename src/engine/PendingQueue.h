#pragma once

// The pending mail queue: one file per message in "out/" that the SMTP server did not
// accept, retried at the start of every scan until delivered or out of attempts.

#include <string>

#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

struct QueuedMessage {
    int attempts = 0;
    std::string from;
    Lines sendTo;
    Lines message;
};

// Bytes of a queue file: attempts, sender, recipients, an empty line, the message lines,
// every line followed by CR LF, plus one final CR LF.
std::string FormatQueueFile(const QueuedMessage& message);
// Reads a queue file's text; false when it does not follow the format (first line not a
// number, no empty line after the recipients).
bool ParseQueueFile(std::string_view text, QueuedMessage& message);

// Writes a new queue file when attempts is below SmtpMaxAttempts (or that is 0 or less);
// otherwise drops the message. Returns true when a file was written. The file appears under
// its name only when complete. Takes the store lock (the caller must not hold it); raises
// when the file cannot be written.
bool QueueFailedMessage(Services& services, int attempts, const std::string& from,
                        const Lines& sendTo, const Lines& message);

struct QueueRunCounts {
    int sent = 0;
    int failed = 0;
    int malformed = 0;
};

// Retries every queued message once. A file is removed only once its outcome is known (a
// failure writes the new file with the higher count first). Malformed files go to out/bad/
// with a log line. Shows tray image 1 and "Pending mail..." while there are files to retry.
QueueRunCounts SendPendingMail(Services& services);

}  // namespace corvanteer
