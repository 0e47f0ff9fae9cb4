#pragma once

// Host-name helpers of the mail clients.

#include <string>
#include <string_view>

namespace corvanteer {

// True for exactly four parts separated by "." that are each a whole number 0..255
// ("10.0.0.1"); any other text is a host name ("10.0.0.256", "10.0.1", "mail.example").
bool IsIPAddress(std::string_view text);

// This machine's host name, for HELO and EHLO; empty when it cannot be had.
std::string LocalHostName();

}  // namespace corvanteer
