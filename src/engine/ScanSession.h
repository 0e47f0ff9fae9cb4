#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/Locks.h"
#include "support/Text.h"

namespace corvanteer {

// A mailbox the session could not log into, or whose reading broke off.
struct MailboxFailure {
    std::string mailbox;  // "List Server" or the list's name
    std::string user;
    std::string host;
    int port = 0;
    std::string kind;     // the cause's kind: MailFailureName ("auth", "timeout", "tls", ...)
    std::string message;  // the cause in words, one line ("login failed: ...")

    // "<mailbox>: mailbox <user> at <host>:<port> - <message>", the log line's text.
    std::string Text() const;
    bool operator==(const MailboxFailure&) const = default;
};

struct ScanOutcome {
    bool ok = true;
    std::string error;  // why the session ended early, naming the cause
    ScanCounts counts;
    // Mailboxes that could not be logged into or whose reading broke off. The session went
    // on with everything else.
    std::vector<MailboxFailure> mailboxFailures;
    int mailboxesTried = 0;  // configured mailboxes the session tried to log into
};

// Runs one whole scan session: stop the poll timer, flush the pending queue, read the List
// Server mailbox, download every list mailbox into its temp folder, process every temp file,
// send the digests that are due (DigestDelivery.h), and give the poll timer SessionInterval x
// 60000 ms again.
//
// A mailbox that cannot be logged into, or whose reading breaks off (the connection lost,
// or ten TOP or RETR refusals in a row, as from a server whose STAT lies), gets a log line
// and an entry in mailboxFailures; the rest of it stays on the server. What was downloaded
// whole before a connection broke is kept and processed (should the server still have it,
// a later scan brings a duplicate, as after a kill). A configured mailbox only counts: an
// empty host or user, or port 0, is skipped silently. A message over the MaxMessageSize
// setting, or whose sender cannot be used, stays on the server and is logged once (the
// application directory's mail notes remember it); one whose download grows past the limit
// although its listed size did not say so is left there too, and the rest of its mailbox is
// read on a new connection. Temp files are processed in the order their messages arrived.
// At the end every failure is shown as a status text, for the window's status line.
//
// Contract: the caller (window or command line) holds the SessionLock for the whole call;
// this function does not take it. It never throws: an error (a file that cannot be written,
// a handler's Failure or any std::exception) ends the session at that point with ok = false
// and an error naming the cause. What was done stays on disk (downloaded messages wait in
// their temp folder for the next session), an open mailbox is closed with QUIT, and the poll
// timer is re-armed as after a normal session. Every message file reaches the disk before
// the QUIT that lets the server delete its message.
ScanOutcome RunScanSession(Services& services, PollTimer& timer);

// Splits a temp file into header lines (up to the first empty line, then one empty line)
// and body lines (everything after). Both are cleared first; a missing file leaves them so.
void SplitMessageFile(const std::string& file, Lines& header, Lines& body);

}  // namespace corvanteer
