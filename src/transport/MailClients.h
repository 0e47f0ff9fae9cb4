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

    // Connects and logs in; True when PASS was accepted (MessageCount then holds STAT's).
    virtual bool Login() = 0;
    virtual bool Stat() = 0;
    virtual void Top(int number) = 0;
    virtual void Retrieve(int number) = 0;
    virtual bool Delete(int number) = 0;
    // Sends QUIT (the server then deletes the messages marked) and closes the connection.
    virtual void Quit() = 0;
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
