#pragma once

// What an SMTP reply line says beyond its first digit: its code, its enhanced status code
// (RFC 3463), and whether it tells the sender to slow down.

#include <string_view>

namespace corvanteer {

// The three-digit code at the start of a reply line; 0 when the line has none.
int ReplyCode(std::string_view reply);

// The enhanced status code after the reply code ("4.7.0" of "421 4.7.0 Try later"); empty
// when the reply has none.
std::string_view EnhancedCode(std::string_view reply);

// True for a reply that says the sender is over a limit of the server's (a rate, a count of
// messages or recipients): 421, 450 or 451 with an enhanced code 4.7.x or 4.4.5, and 452
// with 4.5.3. Sending more now would only make it worse.
bool IsOverLimitReply(std::string_view reply);

// A transient (4xx) / permanent (5xx) refusal.
bool IsTransientReply(std::string_view reply);
bool IsPermanentReply(std::string_view reply);

}  // namespace corvanteer
