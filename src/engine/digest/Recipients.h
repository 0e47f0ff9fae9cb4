#pragma once

// Who receives what, by delivery mode. Every roster entry counts, as for a posting without
// modes (banned members receive the list too; the ban is about posting).

#include <string>
#include <vector>

#include "engine/digest/DeliveryModes.h"
#include "support/Text.h"

namespace corvanteer {

// The lines of the roster (whole member entries, or bare addresses) whose member gets each
// posting, in their order: members in "each" mode, and, while the list offers no digests,
// those in a digest mode too. Members in "nomail" mode never.
Lines PostingRecipients(const Lines& roster, const MemberModes& modes, bool digestsEnabled);

// The addresses in the given digest mode (Digest or PlainDigest), in roster order.
Lines DigestRecipients(const Lines& roster, const MemberModes& modes, DeliveryMode kind);

// True when some member of the roster is in a digest mode (postings are collected then).
bool HasDigestMembers(const Lines& roster, const MemberModes& modes);

}  // namespace corvanteer
