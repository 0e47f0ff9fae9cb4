#pragma once

// How every message leaves: one SMTP session that carries many messages (the copies of an
// individual posting, the parts of a Bcc posting, a manual posting, a queue flush) and the
// sending caps it keeps; SendOrQueue, the one way a sender hands over a message (send, else
// queue or hold, count and log); and SendReply, the answers' use of it.
//
// The session connects with the first message and keeps the connection for the next ones.
// When the server closes it, or answers 421, before a message's data went out, that message
// goes again on a new connection. Every new connection after the first waits a pause (2,
// 10, then 30 seconds on the services' clock), and only three are made in a row without a
// message getting through (one whose greeting says 421, or that closes at once, is one of
// them); an accepted message starts the count and the pauses again. When those fail, the rest of
// the session is held if the last reply said the sender is over a limit (IsOverLimitReply), else it
// fails without another try. When no connection can be made, or the greeting, the HELO/EHLO, TLS or
// the login fails, the rest of the session's messages fail without another try (SendOrQueue queues
// them as usual); after no connection or no greeting in time, so does the rest of the scan's mail
// for that server (SmtpClient::Outage). An over-limit reply that leaves the connection open, or a
// message that would pass MaxRecipientsPerHour or MaxRecipientsPerDay, holds that message and every
// later one of the session.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "engine/ScanContext.h"
#include "engine/SendingCaps.h"
#include "engine/Services.h"
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
};

class DeliverySession {
public:
    // Over services.smtp, whose Server the front end has set. listName names the list in the
    // log line of a protection failure (empty: none). expectedMessages tells the client what
    // the session will carry (SmtpClient::SessionMessages). mayHold: false for single
    // messages (answers), which are counted against the caps but never held.
    DeliverySession(Services& services, std::string listName, std::size_t expectedMessages,
                    bool mayHold = true);
    // Ends the SMTP session (QUIT).
    ~DeliverySession();
    DeliverySession(const DeliverySession&) = delete;
    DeliverySession& operator=(const DeliverySession&) = delete;

    // Sends one envelope. partial: recipients the server refuses are left out
    // (outcome.refused) when it accepts others. A protection failure (settings, TLS,
    // certificate, an OAuth token) is logged ("<stamp><list>: SMTP: <reason>") and shown.
    DeliveryOutcome Deliver(const Envelope& envelope, bool partial);

    // Raises the count of messages the session expects, while it has not connected yet.
    void Expect(std::size_t messages);

    // Recipients per Bcc part: MaxRecipientsPerMessage, made smaller by a sending cap that
    // could never take a larger part; 0: no limit.
    std::size_t PartSize() const;

    // Writes a held queue file (PendingQueue's HoldQueuedMessage) under a name that sorts
    // after the ones this session held before.
    void Hold(int attempts, const Envelope& envelope);

    // True once the session holds every further message (a cap, or a server's limit).
    bool Holding() const { return holding_; }

    Services& services() { return services_; }
    const std::string& listName() const { return listName_; }

private:
    DeliveryOutcome NotTried(DeliveryStatus status) const;
    // The new connections in a row took nothing: the message, and the rest of the session,
    // waits (held after an over-limit reply, else failed).
    DeliveryOutcome GiveUp();
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
    int reconnects_ = 0;          // new connections in a row since a message last got through
    bool lastOverLimit_ = false;  // of the last failure
    SmtpResult lastResult_;
    unsigned holdSequence_ = 0;
};

// What one sender says and does about one message. Log texts are the line after the stamp;
// an empty text writes no line.
struct SendOptions {
    // This try's attempt number: a failed message is queued with it (QueueFailedMessage drops
    // it when SmtpMaxAttempts is reached); a held one keeps attempt - 1.
    int attempt = 1;
    // Recipients the server refuses are left out while it takes the message for others.
    bool partial = false;
    // The message is a queue file already: held, it stays as it is (no new file).
    bool alreadyQueued = false;

    std::string sent;            // the server took it
    std::string failed;          // it failed; written after the queue file
    std::string held;            // it is held (a sending cap, or the server's limit)
    bool logUntriedHold = true;  // false: held is said only when the server was asked
    // With partial delivery, of a message that went: prefix + address + " refused by the
    // SMTP server: " + reply, for each refusal for good, or for every refusal with
    // everyRefusal; a recipient refused for now is queued on its own and, with
    // requeuedPrefix, logged requeuedPrefix + address + requeuedSuffix; those refused as
    // over a limit are held together and logged heldRecipients.
    std::string refusedPrefix;
    bool everyRefusal = false;
    std::string requeuedPrefix;
    std::string requeuedSuffix;
    std::string heldRecipients;
    // The list a given-up line names ("<list>: msg from <sender> - given up after <n>
    // attempts: <cause>", after the failed text); empty: the session's.
    std::string givenUpList;

    // Called once the outcome is on disk (sent, or queued again), before the log line: the
    // queue removes the file it retried here.
    std::function<void()> settled;
    // Each recipient the server refused for good (5xx at RCPT TO) while it took the message
    // for others. The place where a refusal can count as a bounce.
    std::function<void(const RecipientRefusal&)> refusedForGood;
};

// What SendOrQueue did, added up over the messages of a run.
struct SendTally {
    std::size_t sent = 0;            // messages the server took
    std::size_t sentRecipients = 0;  // their recipients, refused ones included
    std::size_t queued = 0;   // queue files written: failed messages, recipients refused for now
    std::size_t held = 0;     // messages held
    std::size_t givenUp = 0;  // failed past SmtpMaxAttempts: kept in out/given-up/
    // For each message queued or given up: "msg to <recipients> queued (attempt <n>):
    // <cause>" or "msg from <sender> to <recipients> given up after <n> attempts: <cause>".
    std::vector<std::string> notes;
};

// The one way a message is sent: over the session; a failed one is queued with
// options.attempt (or, past SmtpMaxAttempts, given up and logged so), a held one kept as held
// (partial delivery: refused recipients as SendOptions says); counted in tally and logged with
// options' texts. Returns the status.
DeliveryStatus SendOrQueue(DeliverySession& session, const Envelope& envelope,
                           const SendOptions& options, SendTally& tally);

// The options of a message sent in Bcc parts: a failed part is logged "<list>: <what> -
// failed (Attempt 1)", a held one "<list>: <what> - held (sending cap)"; of a part that went,
// a recipient refused for good is logged "<list>: <address> refused by the SMTP server:
// <reply>", one refused for now is queued on its own and logged "<list>: msg to <address> -
// failed (Attempt 1)", and those refused as over a limit are held together.
SendOptions BccPartOptions(const std::string& listName, const std::string& what);

// Sends part.message to recipients in parts of session.PartSize() recipients, in their order
// (one part, possibly of none, when they fit), each through SendOrQueue with options. The
// session is told how many messages to expect. Returns the number of parts.
std::size_t SendInParts(DeliverySession& session, Envelope& part,
                        const std::vector<std::string>& recipients, const SendOptions& options,
                        SendTally& tally);

// SendOrQueue of a single message (an answer, an approval request, a forwarded message) in
// an SMTP session of its own, counted against the caps but never held.
DeliveryStatus SendAlone(Services& services, const std::string& listName, const Envelope& envelope,
                         const SendOptions& options, SendTally& tally);

// Forwards a message of the list's own (an approval request, a refused message to
// ErrorsTo) alone: logged what + " - forwarded succesfully.", or queued (attempt 1), counted
// and logged what + " - failed (Attempt 1)".
void SendForwarded(ScanContext& context, Services& services, const Envelope& envelope,
                   const std::string& what);

// Sends an answer (message: header lines, empty line, body, lines ended by CR LF) to the
// sender of the message in hand with the given envelope sender; logs "i sent msg to" and
// counts it as an answer, or queues it (attempt 1) and logs "i failed msg to".
void SendReply(ScanContext& context, Services& services, const std::string& envelopeSender,
               std::string message);

}  // namespace corvanteer
