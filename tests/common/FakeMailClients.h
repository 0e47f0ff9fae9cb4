#pragma once

// In-memory stand-ins for the POP3 and SMTP clients: mailboxes held as raw messages, and an
// outbox that records every message handed over. Both log the operations in order, for tests that
// check the conversation's shape rather than its bytes.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "transport/MailClients.h"

namespace corvanteer::testing {

class FakePop3 : public Pop3Client {
public:
    struct Mailbox {
        std::string password;
        std::vector<std::string> messages;  // raw text, lines ended by CR LF
        std::vector<bool> deleted;          // marked by Delete, removed by Quit
        bool refuseLogin = false;
        bool refuseRetrieve = false;  // RETR answered -ERR
        int32_t claimedCount = -1;    // STAT reports this many when not negative (a liar)
        std::string dropAt;           // the connection is lost at this operation ("RETR 2")
        MailError loginFailure;       // set: Login fails with it (LastError), as TLS would;
                                      // refuseLogin leaves LastError empty
    };

    // Creates (or replaces) the mailbox host:port/user.
    Mailbox& AddMailbox(const std::string& host, int port, const std::string& user,
                        const std::string& password);
    // The mailbox or nullptr.
    Mailbox* Find(const std::string& host, int port, const std::string& user);
    void Put(const std::string& host, int port, const std::string& user, std::string message);

    bool Login() override;
    bool Stat() override;
    void Top(int number) override;
    void Retrieve(int number) override;
    bool Delete(int number) override;
    void Quit() override;
    bool Connected() const override { return open_ != nullptr; }
    // Login, then Quit; the mailbox's TLS and capabilities are not simulated.
    ProbeReport Probe() override;

    // "LOGIN user", "TOP 3", "RETR 3", "DELE 3", "QUIT", "PROBE user"
    std::vector<std::string> log;
    // The Security the client had at each Login or Probe.
    std::vector<ServerSecurity> securities;
    // Called before each operation with its log text; a test may throw from it to simulate
    // a failure at that point.
    std::function<void(const std::string&)> beforeOperation;

private:
    std::string Key(const std::string& host, int port, const std::string& user) const;
    void Note(const std::string& entry);
    std::map<std::string, Mailbox> mailboxes_;
    Mailbox* open_ = nullptr;
};

// An SMTP server and client in one: every message handed to it is recorded. Sessions are
// simulated: a connection opens with the first message and stays open until EndSession, a
// 421, or closeAfter messages.
class FakeSmtp : public SmtpClient {
public:
    struct Sent {
        std::string from;
        Lines sendTo;
        Lines message;     // the message's lines, as TextToLines cuts text
        std::string text;  // the message as handed over
        std::string host;
        int port = 0;
        bool accepted = false;
        ServerSecurity security;
        int connection = 0;  // the connection it went on, counted from 1; 0: none was made
        Lines refused;       // with partial delivery: the recipients left out
    };

    // A session of one message, as SmtpClient promises.
    SmtpResult Submit(const Envelope& envelope) override;
    SmtpTransaction Transact(const Envelope& envelope, bool partial) override;
    bool SessionOpen() const override { return open_; }
    void EndSession() override;
    // Records a probe; passes unless failure is set.
    ProbeReport Probe() override;

    std::vector<Sent> sent;  // every message the server saw, accepted or not
    // Decides whether a send is accepted; by default every send with recipients is.
    std::function<bool(const Sent&)> accept;
    bool failAll = false;
    // Set: every send and probe fails with it before reaching the server (no connection,
    // TLS, certificate); the message is recorded with connection 0.
    MailError failure;
    // The reply to one recipient's RCPT TO; empty (or unset) accepts it. A 421 ends the
    // connection.
    std::function<std::string(const std::string& address)> recipientReply;
    // The reply to the end of a message's data, instead of accept: "250 ..." accepts, a 421
    // ends the connection as well.
    std::function<std::string(const Sent&)> dataReply;
    // The server closes each connection after taking this many messages (0: never); the
    // next message finds it closed and is not seen.
    int closeAfter = 0;
    int connections = 0;  // connections opened
    int quits = 0;        // sessions ended with a connection open
    int probes = 0;
    // Accepted messages only.
    std::vector<Sent> Delivered() const;

private:
    bool open_ = false;
    int taken_ = 0;  // messages taken on the open connection
};

}  // namespace corvanteer::testing
