#include "engine/PostingDelivery.h"

#include <utility>

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/ThreadArchive.h"

namespace corvanteer {

namespace {

void Distributed(Services& services, const PostingPlan& plan, const PostingHooks& hooks,
                 const std::string& message) {
    ArchiveThread(services, plan.listName, message);
    if (hooks.distributed) {
        hooks.distributed(message);
    }
}

void PostViaBcc(Services& services, const PostingPlan& plan, PostingComposer& composer,
                const PostingHooks& hooks, PostingOutcome& outcome) {
    // Every part is the same message; only the recipients differ.
    Envelope part{plan.from, {}, {}};
    composer.ComposeBcc(part.message);
    services.observer.StatusText("Posting via Bcc");

    DeliverySession session(services, plan.listName, 1);
    SendOptions options = BccPartOptions(plan.listName, "msg from " + plan.from);
    options.refusedForGood = hooks.refusedForGood;
    SendTally tally;
    outcome.parts = SendInParts(session, part, plan.recipients, options, tally);

    outcome.sent = tally.sent;
    outcome.queued = tally.queued;
    outcome.held = tally.held;
    outcome.notes = std::move(tally.notes);
    outcome.handled = tally.sentRecipients;
    // The posting is archived once when it went out, or is held to go out later.
    if (tally.sent + tally.held > 0) {
        Distributed(services, plan, hooks, part.message);
    }
    if (tally.sent == outcome.parts) {
        WriteLog(services, Stamp(services) + plan.listName + ": msg from " + plan.from +
                               " - sent succesfully.");
    }
}

void PostIndividually(Services& services, const PostingPlan& plan, PostingComposer& composer,
                      const PostingHooks& hooks, PostingOutcome& outcome) {
    const std::size_t count = plan.recipients.size();
    const std::string countText = std::to_string(count);
    const std::string prefix = plan.listName + ": ";
    DeliverySession session(services, plan.listName, count);

    SendOptions options;
    options.held = prefix + "msg from " + plan.from + " - held (sending cap)";
    options.refusedForGood = hooks.refusedForGood;
    SendTally tally;
    Envelope copy{plan.from, {}, {}};
    std::size_t handled = 0;
    while (handled < count) {
        const std::string& address = plan.recipients[handled];
        composer.ComposeCopy(copy.message, address, handled);
        copy.recipients.assign(1, address);
        const std::string& shown = plan.shown == nullptr ? address : (*plan.shown)[handled];
        services.observer.StatusText("Posting to " + shown + " (" + std::to_string(handled + 1) +
                                     "/" + countText + ")");
        options.failed = prefix + "msg to " + address + plan.copyFailedSuffix;
        if (SendOrQueue(session, copy, options, tally) == DeliveryStatus::Held) {
            options.held.clear();  // the line names no member: one says it for all held copies
        }
        ++handled;
        if (plan.abort != nullptr && plan.abort->load()) {
            outcome.aborted = true;
            break;
        }
    }
    outcome.handled = handled;
    outcome.sent = tally.sent;
    outcome.queued = tally.queued;
    outcome.held = tally.held;
    outcome.notes = std::move(tally.notes);

    // The last member's copy stands for the posting; an aborted or empty run archives nothing.
    if (!outcome.aborted && count > 0) {
        Distributed(services, plan, hooks, copy.message);
    }
    // Only what the server took counts as sent; what waits is named beside it.
    std::string waiting;
    if (tally.held > 0) {
        waiting += std::to_string(tally.held) + " held";
    }
    if (tally.queued > 0) {
        waiting += (waiting.empty() ? "" : ", ") + std::to_string(tally.queued) + " queued";
    }
    WriteLog(services, Stamp(services) + prefix + "msg from " + plan.from + " - sent to " +
                           std::to_string(tally.sent) + " of " + countText + " members" +
                           (waiting.empty() ? "" : " (" + waiting + ")") + ".");
}

}  // namespace

PostingOutcome DeliverPosting(Services& services, const PostingPlan& plan,
                              PostingComposer& composer, const PostingHooks& hooks) {
    PostingOutcome outcome;
    outcome.members = plan.recipients.size();
    outcome.leftOut = plan.leftOut;
    if ((plan.method == 0 || plan.method == 1) && plan.recipients.empty() && plan.leftOut > 0) {
        std::string message;
        composer.ComposeBcc(message);
        Distributed(services, plan, hooks, message);
    } else if (plan.method == 0) {
        PostViaBcc(services, plan, composer, hooks, outcome);
    } else if (plan.method == 1) {
        PostIndividually(services, plan, composer, hooks, outcome);
    }
    return outcome;
}

}  // namespace corvanteer
