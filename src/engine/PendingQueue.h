#pragma once

// The pending mail queue: one file per message in "out/" that the SMTP server did not
// accept, retried at the start of every scan until delivered or out of attempts.

#include <string>
#include <string_view>

#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

struct QueuedMessage {
    int attempts = 0;
    std::string from;
    Lines sendTo;
    std::string message;  // as an Envelope holds it: lines ended by CR LF
};

// Bytes of a queue file: attempts, sender, recipients, an empty line, the message lines,
// every line followed by CR LF, plus one final CR LF.
std::string FormatQueueFile(const QueuedMessage& message);
std::string FormatQueueFile(int attempts, const Envelope& envelope);
// Reads a queue file's text; false when it does not follow the format (first line not a
// number, no empty line after the recipients). The message is what follows the empty line,
// its lines ended by CR LF (the file's final line break makes its last line an empty one).
bool ParseQueueFile(std::string_view text, QueuedMessage& message);

// Writes a new queue file when attempts is below SmtpMaxAttempts (or that is 0 or less);
// otherwise drops the message. Returns true when a file was written. The file appears under
// its name only when complete. Takes the store lock (the caller must not hold it); raises
// when the file cannot be written.
bool QueueFailedMessage(Services& services, int attempts, const Envelope& envelope);

// Held messages (kept back by a sending cap or a server's limit) are queue files like any
// other, so an older copy of the program reads and sends them as queued mail; their names
// set them apart: "held-" + the UTC time they were held ("yyyymmddhhmmss") + "-" + a
// sequence number of six digits + ".dat", which sort oldest first. Their attempt count is
// the attempts made before, so holding uses up none.
bool IsHeldQueueFile(std::string_view name);

// Writes a held queue file for the envelope under the first free name from sequence on (for
// the time now), and sets sequence past it. A sequence of 0 (a session's first hold) starts
// after the numbers already used in the same second. Takes the store lock; raises when the file
// cannot be written.
void HoldQueuedMessage(Services& services, int attempts, const Envelope& envelope,
                       unsigned& sequence);

struct QueueRunCounts {
    int sent = 0;
    int failed = 0;
    int malformed = 0;
    int held = 0;  // left in the queue, untried or held back by a cap or the server
};

// Retries every queued message once with SendOrQueue, in one SMTP session (see Delivery.h):
// held messages
// first, oldest first, then the others in the order the folder lists them. A file is removed
// only once its outcome is known (a failure writes the new file with the higher count
// first). A message held back (a cap, or the server saying the sender is over a limit)
// stays as it is, its count unchanged; once one is held back, the rest stay untried. Of a
// message that went, recipients the server refused are logged ("pending msg from <sender>:
// <address> refused by the SMTP server: <reply>"); one refused for now is queued again on
// its own with the attempt's count, one refused as over a limit is held. Malformed files go
// to out/bad/ with a log line. Shows tray image 1 and "Pending mail..." while there are
// files to retry.
QueueRunCounts SendPendingMail(Services& services);

}  // namespace corvanteer
