#pragma once

// The posting loop: one message to every recipient of a posting, as Bcc parts or as one copy
// per member, over one SMTP session (Delivery.h), with the sending caps, held and queued
// copies, the archive, the counts and the log lines. List postings (ListPosting.h) and manual
// postings (ManualPosting.h) both go through it; they differ only in how a copy is composed
// (PostingComposer).
//
// Seams for work on the road:
// - Who receives a copy is decided before the loop: PostingPlan::recipients is the final
//   list (leave out members whose delivery is off or who take digests there).
// - A line for one member only (a per-member header) belongs to
//   PostingComposer::ComposeCopy, which composes every individual copy.
// - PostingHooks::distributed gets the distributed message after the loop (the thread
//   archive is written just before it): the place to keep a copy for an archive or a digest.
// - PostingHooks::refusedForGood gets each recipient the SMTP server refused for good at
//   RCPT TO. Today the client reports such refusals for Bcc parts (partial delivery); an
//   individual copy refused at RCPT fails as a whole and is queued as described.

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/Services.h"
#include "transport/MailClients.h"

namespace corvanteer {

// How the messages of one posting are composed, into one buffer each (header, empty line,
// body; lines ended by CR LF). Parts every copy shares are built once, by the composer's
// constructor or its first call.
class PostingComposer {
public:
    virtual ~PostingComposer() = default;
    // The one message of a Bcc posting (its To line names the list).
    virtual void ComposeBcc(std::string& message) = 0;
    // The copy for recipient index (address) of the plan: its own To line and Message-ID
    // (and any line meant for that member alone). message may hold the previous copy; its
    // buffer is reused.
    virtual void ComposeCopy(std::string& message, const std::string& address,
                             std::size_t index) = 0;
};

struct PostingPlan {
    std::string listName;  // log lines and the thread archive
    int method = 0;        // 0 Bcc, 1 one copy per member; anything else sends nothing
    std::string from;      // the envelope sender: the list posting address
    // Who receives the posting, in order: addresses, decided before the loop.
    std::vector<std::string> recipients;
    // What the status text names per recipient ("Posting to <name> (i/n)"), one entry per
    // recipient (not owned); null: the addresses.
    const std::vector<std::string>* shown = nullptr;
    // The end of the log line of a failed individual copy, after "<list>: msg to <address>".
    std::string copyFailedSuffix = " - failed (Attempt 1)";
    // Checked after every individual copy; set: the loop ends there. Not owned; may be null.
    const std::atomic<bool>* abort = nullptr;
};

struct PostingHooks {
    // After the loop, with the message that stands for the posting (the Bcc message, or the
    // last individual copy), whenever the thread archive takes it.
    std::function<void(const std::string& message)> distributed;
    // Each recipient refused for good (5xx) at RCPT TO.
    std::function<void(const RecipientRefusal& refusal)> refusedForGood;
};

struct PostingOutcome {
    std::size_t members = 0;  // recipients of the plan
    // Individual: members handled (up to and including the last one tried); Bcc: the
    // recipients of the parts that went.
    std::size_t handled = 0;
    std::size_t parts = 0;   // Bcc parts
    std::size_t sent = 0;    // copies or Bcc parts the server took
    std::size_t queued = 0;  // queue files written
    std::size_t held = 0;    // copies or Bcc parts held by a sending cap
    bool aborted = false;
};

// Delivers the posting as the plan says.
//
// Bcc (status "Posting via Bcc"): one message from plan.from to the recipients in parts of
// DeliverySession::PartSize() recipients, in their order (one part, possibly of none, when
// they fit). A failed part is queued with attempt count 1 and logged "<list>: msg from <from>
// - failed (Attempt 1)"; a held part is held and logged "<list>: msg from <from> - held
// (sending cap)"; of a part that went, a recipient refused for good is logged "<list>:
// <address> refused by the SMTP server: <reply>", one refused for now is queued on its own and
// logged "<list>: msg to <address> - failed (Attempt 1)", those refused as over a limit are
// held together. Archived once when a part went or was held; "<list>: msg from <from> - sent
// succesfully." when every part went.
//
// Individually: one copy per recipient ("Posting to <shown> (i/n)"); a failed copy is queued
// (attempt 1) and logged "<list>: msg to <address>" + copyFailedSuffix; held copies are held
// and the held line is logged once. The last copy is archived unless the run had no
// recipients or was aborted; "<list>: msg from <from> - sent to <handled> of <n> members."
// ends the run.
PostingOutcome DeliverPosting(Services& services, const PostingPlan& plan,
                              PostingComposer& composer, const PostingHooks& hooks = {});

}  // namespace corvanteer
