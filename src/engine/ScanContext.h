#pragma once

// The state of one scan session, shared by the session and every handler it calls. All
// texts start empty and all flags false; fields are not cleared between messages or lists
// unless a handler says so.

#include <string>

#include "engine/Roster.h"
#include "engine/RosterCache.h"
#include "engine/bounce/BounceBatch.h"
#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer {

// What a session did, for the command line's one line per scan.
struct ScanCounts {
    int messagesRead = 0;    // messages taken from the List Server mailbox and list mailboxes
    int postingsSent = 0;    // postings handed to the SMTP server (Bcc or per member)
    int answersSent = 0;     // answers to requests sent
    int messagesQueued = 0;  // messages written to the pending queue
};

struct ScanContext {
    std::string ListName;      // as the request wrote it, or as the list set holds it
    std::string ListKey;       // settings key + "\Lists\" + list name
    std::string ListDataFile;  // application directory + list name + ".dat"
    std::string TempFolder;    // application directory + "temp/" + list name
    ListSettings Settings;     // LoadListSettings of the current list

    int MessageNumber = 0;  // POP3 number of the message being read; 0 in phase 3
    std::string FromValue;
    std::string SenderName;
    std::string SenderAddress;  // lower case
    std::string Subject;        // blanks collapsed and trimmed
    std::string MimeVersion;
    std::string ContentType;
    std::string ContentTransferEncoding;
    std::string PostingPassword;
    std::string MessageFile;
    Lines HeaderLines;
    Lines BodyLines;

    SortedRoster Roster;
    RosterCache Rosters;  // the posting rules' rosters, kept for the session
    bool AlreadyMember = false;
    std::string VerificationText;
    std::string VerificationCode;
    std::string GeneratedPassword;

    ScanCounts Counts;
    bounce::BounceBatch Bounces;  // the current list's failure reports not yet applied
};

}  // namespace corvanteer
