#pragma once

// The digests at the end of a scan, and the collecting of postings for them.
//
// A list's digest goes out when its postings pass DigestMaxKB, or at the end of the first
// scan of a day whose local time is DigestHour or later (none when nothing was collected):
// one MIME digest to the members in digest mode, one plain digest to those in plain-digest
// mode, each a message of its own in Bcc parts through the delivery road (sending caps,
// recipients per message, the queue for what fails). Subject "<List> Digest, Vol <V>, Issue
// <N>", From the list posting address, the list headers and Precedence: list. The digest is
// built and stored (DigestStore) before anything is sent, so a session that stops anywhere
// leaves it for the next one, which sends what is left of it first.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "support/Text.h"

namespace corvanteer {

// For tests: called before each step of a list's digest ("built" once the batch is stored,
// "sent <kind>" after a kind went out and before it is marked done), so a test can stop the
// process there.
using DigestStepHook = std::function<void(const std::string& step)>;

// Who of a list's roster receives a posting now, and whether the list keeps it for a digest.
struct PostingShare {
    Lines each;               // the roster lines of the members who get the posting, in order
    std::size_t leftOut = 0;  // members left out: in a digest mode (digests on) or nomail
    bool digest = false;      // the posting goes into the list's next digest
};

// The share for the list (as the list set holds its name) and its roster lines (entries or
// bare addresses), from DigestEnabled and the list's modes.
PostingShare SharePosting(Services& services, const std::string& listName, const Lines& roster);

// Keeps a distributed posting (the whole message as the members got it) for the list's next
// digest, when the list offers digests and has members in a digest mode. listName as the
// list set holds it.
void CollectForDigest(Services& services, const std::string& listName, std::string_view posting);

// Every list of the console in its order: the digest a stopped session left, then the one
// that is due. Turns the context to each list it sends for.
void SendDueDigests(ScanContext& context, Services& services, const DigestStepHook& hook = {});

// The same for one list (as the list set holds its name).
void SendDueDigest(ScanContext& context, Services& services, const std::string& listName,
                   const DigestStepHook& hook = {});

}  // namespace corvanteer
