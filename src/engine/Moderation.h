#pragma once

#include "engine/ScanContext.h"
#include "engine/Services.h"

namespace corvanteer {

inline constexpr const char* kApprovalBegin = "--Corvanteer message boundary ########## begin";
inline constexpr const char* kApprovalEnd = "--Corvanteer message boundary ########## end";

// Mails the message in hand, whole and between the marker lines, to every moderator. The
// request is marked "Auto-Submitted: auto-replied" and carries its own Message-ID tag.
void RequestApproval(ScanContext& context, Services& services);

// Takes the approved posting out of a moderator's reply (the context's body lines) and posts
// it under its author's name and subject. False (with a log line) when the reply cannot be
// understood.
bool HandleApprovalReply(ScanContext& context, Services& services);

}  // namespace corvanteer
