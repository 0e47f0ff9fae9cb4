#pragma once

// Requests by mail about delivery modes, and the answer to commands the List Server does not
// know. Subjects, words compared without regard to case:
//   "set" LIST MODE   a member changes their own mode (each, digest, plain-digest, nomail);
//                     with the list's VerifySubscribe on, only once the reply to a code mailed
//                     back (Mode_Verify) confirms it; answered with Mode_Changed
//   "which"           the lists the sender is a member of, with the mode of each (Which)
//   "lists"           the lists that take members by mail (AllowUserSubscribe) (Lists)
// Anything else (and a "set" that names no list, no mode, or a digest mode where the list
// sends no digests) gets the help answer: the Help text of the list the second word names,
// or the Lists answer, whose text tells how to write requests, when it names none.

#include <optional>
#include <string>
#include <string_view>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "engine/digest/DeliveryModes.h"
#include "support/Clock.h"

namespace corvanteer {

enum class ModeRequestKind {
    SetMode,    // "set" LIST MODE, well formed (list and mode are not checked here)
    Which,      // first word "which"
    Lists,      // first word "lists"
    Malformed,  // first word "set" but not three words
    Unknown,    // any other first word
};

struct ModeRequest {
    ModeRequestKind kind = ModeRequestKind::Unknown;
    std::string list;  // the second word as written ("" when there is none)
    std::string mode;  // SetMode: the third word as written
};

// Reads a subject (blanks already collapsed and trimmed).
ModeRequest ParseModeRequest(std::string_view subject);

// Acts on a List Server message that none of the described rules (subscription,
// verification, help, moderator commands) took: the request of ParseModeRequest, or the
// help answer. The caller has already kept automatic mail away.
void ApplyModeRequest(ScanContext& context, Services& services);

// The code of a mode change: "auth" + list name + "yymmddhhmmss" + one digit naming the mode
// (1 each, 2 digest, 3 plain-digest, 4 nomail), where a subscription's code ends in "0". The
// pending line in "vericode.dat" is code + " " + address, as for a subscription, so it
// expires the same way.
std::string MakeModeCode(std::string_view listName, const LocalTime& now, DeliveryMode mode);
// The mode a verification text ("(auth" ... ")") asks for, or nullopt when it is a
// subscription's (or not a code at all).
std::optional<DeliveryMode> ModeOfVerificationText(std::string_view verificationText);

// A reply carrying a mode change's code (ModeOfVerificationText), with the list selected as
// for any verification reply: a pending line of that code and the sender sets the mode
// (Mode_Changed answer, log line) and is removed; a sender who left the list meanwhile gets
// Not_Member; no such line gets the Verify_Error answer and the records of a failed
// verification.
void HandleModeVerificationReply(ScanContext& context, Services& services);

// Log line of a mode change: list + ": ~ " + address + "(mode " + mode + ", " + how + ")".
void LogModeChange(Services& services, std::string_view listName, std::string_view address,
                   DeliveryMode mode, std::string_view how);

}  // namespace corvanteer
