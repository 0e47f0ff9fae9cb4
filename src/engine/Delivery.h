#pragma once

// One SMTP session that carries many messages (the copies of an individual posting, the
// parts of a Bcc posting, a manual posting, a queue flush), and the sending caps it keeps.
//
// The session connects with the first message and keeps the connection for the next ones.
// When the server closes it, or answers 421, before a message's data went out, that message
// goes again on a new connection; one reconnection is always tried, further ones only after
// a connection that delivered something. When no connection can be made, or the greeting,
// the HELO/EHLO, TLS or the login fails, the rest of the session's messages fail without
// another try (the callers queue them as usual). A reply that says the sender is over a
// limit of the server's (IsOverLimitReply), or a message that would pass MaxRecipientsPerHour
// or MaxRecipientsPerDay, holds that message and every later one of the session.

#include <cstddef>
#include <string>
#include <vector>

#include "engine/SendingCaps.h"
#include "engine/Services.h"
#include "support/Text.h"
#include "transport/MailClients.h"

namespace corvanteer {

enum class DeliveryStatus {
    Sent,    // the server took the message (for every recipient not in refused)
    Failed,  // the caller queues it as a failed attempt
    Held,    // the caller keeps it as held: sent later as the caps allow, no attempt used
};

struct DeliveryOutcome {
    DeliveryStatus status = DeliveryStatus::Failed;
    // The client's result; for a message that failed untried, the one that ended the session.
    SmtpResult result;
    // Sent with partial delivery: the recipients the server refused, in order.
    std::vector<RecipientRefusal> refused;
    bool tried = true;  // false: decided without the server

    // Puts into reply what Send would have given (TakeDescribedReply); a message held
    // untried leaves it alone, as a connection never made does.
    void DescribeReply(std::string& reply) const;
};

class DeliverySession {
public:
    // Over services.smtp, which the caller has pointed at its server. listName names the
    // list in the log line of a protection failure (empty: none). expectedMessages tells
    // the client what the session will carry (SmtpClient::SessionMessages). mayHold: false
    // for single answers, which are counted against the caps but never held.
    DeliverySession(Services& services, std::string listName, std::size_t expectedMessages,
                    bool mayHold = true);
    // Ends the SMTP session (QUIT).
    ~DeliverySession();
    DeliverySession(const DeliverySession&) = delete;
    DeliverySession& operator=(const DeliverySession&) = delete;

    // Sends the client's From, SendTo and OutMessage. partial: recipients the server refuses
    // are left out (outcome.refused) when it accepts others. A protection failure (settings,
    // TLS, certificate) is logged ("<stamp><list>: SMTP: <reason>") and shown, as for a
    // single message.
    DeliveryOutcome Deliver(bool partial);

    // Raises the count of messages the session expects, while it has not connected yet.
    void Expect(std::size_t messages);

    // Recipients per Bcc part: MaxRecipientsPerMessage, made smaller by a sending cap that
    // could never take a larger part; 0: no limit.
    std::size_t PartSize() const;

    // Writes a held queue file (PendingQueue's HoldQueuedMessage) under a name that sorts
    // after the ones this session held before.
    void Hold(int attempts, const std::string& from, const Lines& sendTo, const Lines& message);

    // True once the session holds every further message (a cap, or a server's limit).
    bool Holding() const { return holding_; }

    Services& services() { return services_; }

private:
    DeliveryOutcome NotTried(DeliveryStatus status) const;
    void ReportProtectionFailure(const MailError& error);

    Services& services_;
    std::string listName_;
    bool mayHold_;
    std::size_t maxPerMessage_;
    SendingCaps caps_;
    bool holding_ = false;  // over a limit or a cap: everything from now on is held
    bool dead_ = false;     // the server cannot be reached: everything from now on fails
    SmtpResult deadResult_;
    int connections_ = 0;
    int reconnections_ = 0;
    int sentOnConnection_ = 0;
    unsigned holdSequence_ = 0;
};

struct BccOutcome {
    std::size_t parts = 0;
    std::size_t sent = 0;
    std::size_t sentRecipients = 0;  // of the parts that went, refused ones included
    std::size_t held = 0;
    std::size_t queued = 0;  // queue files written: failed parts and recipients refused for now
    DeliveryOutcome last;    // the last part's
};

// Sends the client's OutMessage from its From to recipients in parts of session.PartSize()
// recipients, in their order (one part, possibly of none, when they fit). Per part: a
// failed part is queued with attempt count 1 and logged "<list>: msg from <from> - failed
// (Attempt 1)"; a held part is held and logged "<list>: msg from <from> - held (sending
// cap)"; of a part that went, a recipient refused for good is logged "<list>: <address>
// refused by the SMTP server: <reply>", one refused for now is queued on its own and logged
// "<list>: msg to <address> - failed (Attempt 1)", and those refused as over a limit are
// held together. The success line and the archive are the caller's.
BccOutcome DeliverBccParts(DeliverySession& session, const std::string& listName,
                           const Lines& recipients);

}  // namespace corvanteer
