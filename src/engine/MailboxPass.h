#pragma once

// A scan's pass through one POP3 mailbox: the messages newest first, each one's header
// judged (TOP), then fetched (RETR) or acted upon, and deleted (DELE) once it is safe. With a
// server that takes pipelined commands, several are in flight at once; what is decided for
// each message does not depend on it.

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/MailConnections.h"
#include "engine/MailNotes.h"
#include "engine/ScanContext.h"
#include "engine/ScanSession.h"
#include "engine/Services.h"

namespace corvanteer {

// A mailbox the scan reads and how to log in to it.
struct PassMailbox {
    std::string name;  // a list's name, or "List Server": the log lines' prefix
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
    int32_t maxMessageSize = 0;  // MaxMessageSize; 0: any size
    ServerSecurity security;
    MailboxLogin login;
};

// The one POP3 connection of a session and what the session learns about its mailboxes.
// Remembers whether a mailbox is open so that a session ending early still sends QUIT
// (which also commits the deletions already made: every deleted message has been handled
// or sits safely in its temp file).
class MailboxConnection {
public:
    MailboxConnection(Services& services, MailNotes& notes);

    // Logs in to the mailbox; a login that fails is logged and noted as a failure, with the
    // client's reason when it has one. Shows tray image 1 while it is open.
    bool Open(const PassMailbox& account);
    // The same mailbox again, on a new connection, after a reply cut off at the size limit.
    bool Reopen();
    // QUIT of an open mailbox (the server then deletes what was marked); tray image 0, also
    // when the QUIT fails.
    void Close();
    // After an error: closes an open mailbox, swallowing whatever that raises.
    void CloseAfterError() noexcept;

    // Reading must stop: the connection is gone, or the server refused too often.
    bool Broken() const { return broken_; }
    void BreakOff(int n, MailFailure kind, const std::string& cause);
    // The kind of the client's last error, or fallback where it has none.
    MailFailure LastKind(MailFailure fallback) const;
    // Counts a TOP or RETR refusal (true: too many in a row, reading broke off) / a reply
    // that came.
    bool Refused(int n);
    void Answered() { refusals_ = 0; }
    // Writes a log line of this mailbox: "<stamp><name>: <text>".
    void Log(const std::string& text);

    const PassMailbox& Account() const { return account_; }
    // "host:port/user", the mailbox's name in the notes.
    std::string Key() const;
    Pop3Client& Pop3() { return pop3_; }
    MailNotes& Notes() { return notes_; }
    const std::vector<MailboxFailure>& Failures() const { return failures_; }
    int Tried() const { return tried_; }  // logins tried (not counting Reopen)

private:
    bool LogIn();
    void Fail(MailFailure kind, const std::string& cause);

    Pop3Client& pop3_;
    Services& services_;
    MailNotes& notes_;
    PassMailbox account_;
    MailboxFailure failure_;  // the open mailbox's, without a cause
    int tried_ = 0;
    bool open_ = false;
    int refusals_ = 0;
    bool broken_ = false;
    std::vector<MailboxFailure> failures_;
};

// What a pass asks of the rules of its mailbox.
class PassRules {
public:
    enum class Then { Leave, Retrieve, Delete };
    virtual ~PassRules() = default;
    // Message n's header (TOP's reply) with a usable sender, read into the context: what to
    // do with it. Delete: it has been acted upon.
    virtual Then Header(int n, const Pop3Reply& top) = 0;
    // Message n whole (RETR's reply, positive): stores it and gives where (its DELE follows),
    // or "" to leave it on the server.
    virtual std::string Store(int n, Pop3Reply& message) = 0;
    // The server refused the DELE of a stored message, which it therefore keeps: the copy
    // would be processed twice.
    virtual void Kept(const std::string& stored) = 0;
};

// One pass through the mailbox the connection has open, to its end or until reading breaks
// off; ends with QUIT. A reply cut off at MaxMessageSize leaves that message on the server
// (logged once) and the pass goes on with the rest on a new connection, when the messages
// can be told apart there (by UIDL, else by size and Date); otherwise reading breaks off.
// A lost connection keeps what was stored whole.
class MailboxPass {
public:
    MailboxPass(ScanContext& context, MailboxConnection& connection, PassRules& rules);
    void Run();

private:
    enum class Plan { Top, DeleteOnly, Skip };
    // One connection's walk; true when a new connection should go on with the rest.
    bool Walk();
    Plan PlanFor(int n);
    void OnTop(const Pop3Reply& reply);
    void OnRetrieve(Pop3Reply& reply);
    void OnDelete(const Pop3Reply& reply);
    // The connection ended under reply: cut off at the size limit, or lost.
    void OnLoss(const Pop3Reply& reply);
    bool UsableSender() const;
    // The message's key, once its header is known (by UIDL when there is one).
    std::string KeyOf(int n, const Lines& header) const;
    void LeaveTooBig(int n, const std::string& key, int64_t size);

    ScanContext& context_;
    MailboxConnection& connection_;
    PassRules& rules_;
    Pop3Client& pop3_;
    std::unordered_map<int, Pop3Listing> listing_;
    std::deque<Pop3Command> due_;
    bool stopped_ = false;  // no new TOP or RETR: reading broke off
    bool again_ = false;    // a cut calls for a new connection
    int reconnects_ = 0;
    std::unordered_map<int, std::string> keys_;             // by number, on this connection
    std::unordered_map<int, std::string> deleting_;         // what a DELE in flight deletes
    std::unordered_map<std::string, std::string> handled_;  // key -> stored file ("" phase 1)
    std::unordered_set<std::string> left_;                  // keys of messages left
};

}  // namespace corvanteer
