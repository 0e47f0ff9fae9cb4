#pragma once

// What the rest of the program sees of the POP3 and SMTP clients. TPop3Client and
// TSmtpClient are the real ones; tests hand in fakes with the same members.

#include <cstdint>
#include <string>

#include "support/Text.h"

namespace corvanteer {

class Pop3Client {
public:
    virtual ~Pop3Client() = default;

    std::string HostAddress;
    int Port = 0;
    std::string User;
    std::string Password;
    int32_t TopLines = 0;
    Lines Header;  // after Top: the header lines followed by one empty line
    Lines Body;    // after Top (TopLines body lines) or Retrieve (the body)
    bool ResponseDone = false;
    int32_t MessageCount = 0;
    int32_t MailboxSize = 0;
    // Whether the server answered the last Top or Retrieve with +OK (Header or Body then hold
    // the message's lines, not the server's refusal).
    bool LastReplyPositive = false;
    // Largest message Top and Retrieve take in, in octets; 0: no limit. Retrieve asks LIST
    // for the size first, and a reply that grows past the limit is cut off (the connection
    // then ends, as after a time-out).
    int64_t MaxMessageSize = 0;
    // After Top or Retrieve: the message was over MaxMessageSize and was not read.
    // LastMessageSize then holds its size as LIST gave it, or the octets seen before the
    // reply was cut off.
    bool LastMessageTooBig = false;
    int64_t LastMessageSize = 0;

    // Connects and logs in; True when PASS was accepted (MessageCount then holds STAT's).
    virtual bool Login() = 0;
    virtual bool Stat() = 0;
    virtual void Top(int number) = 0;
    virtual void Retrieve(int number) = 0;
    virtual bool Delete(int number) = 0;
    // Sends QUIT (the server then deletes the messages marked) and closes the connection.
    virtual void Quit() = 0;
    // True while a connection is open: from Login until Quit, or until a failure (a time-out,
    // a reply cut off, a lost connection) has ended it; nothing more can be read then.
    virtual bool Connected() const = 0;
};

class SmtpClient {
public:
    virtual ~SmtpClient() = default;

    std::string From;
    std::string HostAddress;
    Lines OutMessage;
    std::string Password;
    int Port = 25;
    bool RequireAuthentication = false;
    Lines SendTo;
    std::string User;

    // One whole SMTP session. True only when the server accepted the end of the data with
    // 250. reply receives the last reply line read (left as passed when no connection).
    virtual bool Send(std::string& reply) = 0;
};

}  // namespace corvanteer
