#pragma once

// Header lines of outgoing mail as servers and mail programs take them: no raw 8-bit byte
// (RFC 2047 encoded words instead), no line over 998 octets (folded), display names quoted
// where they must be. Lines that are already sound come back byte for byte.

#include <string>
#include <string_view>

namespace corvanteer::mime {

// "name <address>" for a From line. The display name stays as written when it is a valid
// phrase of printable ASCII (words, quoted strings, RFC 2047 encoded words, blanks between);
// otherwise its text (encoded words decoded, bytes that are no UTF-8 read as ISO-8859-1) is
// written anew: quoted where it holds specials (a bare address, a comma, an unpaired quote),
// as encoded words where it is not ASCII. An empty name gives "<address>".
std::string MailboxText(std::string_view displayName, std::string_view address);

// The line ("Name: value", maybe folded already) as it may go out. A value with raw 8-bit
// bytes is written again with encoded words (From, To, Cc, Bcc, Reply-To and Sender as
// address lists, where only the names are encoded; others as text), reading the bytes as
// UTF-8, else ISO-8859-1. A line longer than 998 octets is folded at blanks (to about 78
// octets a line), and a text field whose words are still too long is written as encoded
// words, which may be cut anywhere. An address too long for any line stays as it is.
std::string OutgoingHeaderLine(std::string_view line);

}  // namespace corvanteer::mime
