#pragma once

#include "engine/ScanContext.h"
#include "engine/Services.h"

namespace corvanteer {

// Executes the command block in the body of a "comm" message of the List Server mailbox. The
// message (number context.MessageNumber of the open mailbox) is retrieved through
// services.pop3; its header is the one the session's Top left there, and its From address is
// the sender whose authority every "list" and "pass" line checks.
//
// Each body line is normalised (tabs and runs of blanks become one blank, trimmed) and known
// by its first four characters, without regard to case: "comm begin" / "comm end" (exactly
// two words) open and close the block; inside it "list NAME" selects a list (an unknown name
// ends the processing) and checks the sender with IsModerator, "pass PASSWORD" checks again
// with that password (before any "list" line it grants nothing), and, while authorised,
// "addu ADDRESS" / "remo ADDRESS" add (address + " 0 " + six-digit password) or remove a
// member, each with its Latest_Actions entry and log line. A list's roster is written when
// the block turns to another list and at the end, applying the block's changes to the
// section as it then stands. Nothing is mailed.
void ProcessModeratorCommands(ScanContext& context, Services& services);

}  // namespace corvanteer
