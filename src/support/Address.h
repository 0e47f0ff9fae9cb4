#pragma once

#include <string>
#include <string_view>

namespace corvanteer {

// True when "@" occurs and its first occurrence is not the first character, "." occurs and
// its first occurrence is not the first character, and the text holds no space.
bool IsValidEmail(std::string_view text);

// The gate of every road that makes an address a member (the Members page, the command
// line, import, subscription and verification by mail, a moderator's "addu"): IsValidEmail,
// at most 254 octets, a local part (before the last "@") of at most 64 and a domain of at
// most 253, and every byte a visible ASCII character (no control character, blank, NUL or
// byte over 127: the SMTP conversation carries no other without SMTPUTF8). An address that
// fails it is one no mail server takes.
bool IsUsableMemberAddress(std::string_view address);

// The address as a message or log line may show it: every byte that is not visible ASCII
// becomes "?", and a text longer than 300 characters is cut there and ends with "...".
std::string PrintableAddress(std::string_view address);

// The first address-like token of a From- or Reply-To-style value: brackets, braces, quotes
// and parentheses become spaces, the text is cut at single spaces, and the first part with an
// "@" after its first character is the result ("" when none). Case is kept.
std::string ExtractEmail(std::string_view value);

}  // namespace corvanteer
