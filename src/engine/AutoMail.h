#pragma once

// Mail that no person wrote: a list's own postings coming back (loops) and automatic messages
// (vacation responders, bounces, other list servers). Judged from the header alone, never
// from the body.

#include <string>
#include <string_view>

#include "support/Text.h"

namespace corvanteer {

enum class MailKind {
    Personal,   // written by someone: the rules decide
    Loop,       // this list's own mail come back
    Automatic,  // sent by a program
};

struct MailVerdict {
    MailKind kind = MailKind::Personal;
    std::string reason;  // the header that decided, e.g. "Auto-Submitted: auto-replied"
};

// The addresses a list's own mail comes from.
struct ListOwnAddresses {
    std::string postingAddress;       // ListPostingAddress
    std::string changeSenderEmailTo;  // the From of postings; "" when HideSenderEmail is off
    std::string listServerAddress;    // the global ListServerAddress
};

// Automatic when Auto-Submitted has any value but "no", Precedence is bulk or junk,
// Return-Path is "<>", the sender's local part is mailer-daemon or postmaster (any case), or
// the Content-Type is multipart/report. sender is the lower-cased From address.
MailVerdict JudgeAutomatic(const Lines& header, std::string_view sender);

// For a list mailbox: a loop when a List-Id carries this list's label ("<" + label + ">",
// any case) or the sender is one of the list's own addresses; otherwise as JudgeAutomatic.
MailVerdict JudgeListMail(const Lines& header, std::string_view sender,
                          const ListOwnAddresses& own);

}  // namespace corvanteer
