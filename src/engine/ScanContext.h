#pragma once

// The state of one scan session, shared by the session and every handler it calls. All
// texts start empty and all flags false; fields are not cleared between messages or lists
// unless a handler says so.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

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
    int retriesFailed = 0;   // queued messages whose retry at the session's start failed
    int messagesHeld = 0;    // postings held back by a sending cap or the server's limit
};

struct ScanContext {
    std::string ListName;      // as the request wrote it, or as the list set holds it
    std::string ListKey;       // settings key + "\Lists\" + list name
    std::string ListDataFile;  // application directory + list name + ".dat"
    std::string TempFolder;    // application directory + "temp/" + list name
    ListSettings Settings;     // LoadListSettings of the current list
    // The global ListServerAddress, read when a scan turns to a list (the posting rules
    // need it for every message; the settings are not read again for each).
    std::optional<std::string> ListServerAddress;

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
    // The message being processed in phase 3 as its temp file holds it, in one buffer (a
    // message costs its size, not a string per line), and where its body begins: after the
    // header's empty line.
    std::string Message;
    std::size_t BodyStart = 0;
    std::string_view Body() const {
        return std::string_view(Message).substr(std::min(BodyStart, Message.size()));
    }

    SortedRoster Roster;
    RosterCache Rosters;  // the posting rules' rosters, kept for the session
    bool AlreadyMember = false;
    std::string VerificationText;
    std::string VerificationCode;
    std::string GeneratedPassword;

    ScanCounts Counts;
    // "<list>/<setting>" of every refused stored value logged in this session (once each).
    std::set<std::string> RefusedValuesLogged;
    // Lists whose archive took a posting in this session, in order (a list may repeat): their
    // HTML archives are brought up to date when the session ends.
    std::vector<std::string> ArchivedLists;
    bounce::BounceBatch Bounces;  // the current list's failure reports not yet applied
};

}  // namespace corvanteer
