#pragma once

// Text made safe for the archive's pages: valid UTF-8, escaped for HTML, e-mail addresses
// hidden from harvesters, web addresses made into links.

#include <string>
#include <string_view>

namespace corvanteer::archive {

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD.
std::string ValidUtf8(std::string_view text);

// Runs of blanks, tabs and line ends become one blank; blanks at either end go.
std::string OneLine(std::string_view text);

// Appends the text (valid UTF-8) for use in an element or a quoted attribute value: & < > "
// and ' as character references; control characters but tab and line feed left out (the
// HTML syntax does not allow them), a CR LF pair kept as the line feed.
void AppendEscaped(std::string& out, std::string_view text);
std::string Escaped(std::string_view text);

// An address as the archive shows it when addresses are hidden: at most the first two
// characters of the local part, "...", "@" and the domain ("jo...@example.org").
std::string ObfuscatedAddress(std::string_view address);

// Escaped text in which addresses are hidden (ObfuscatedAddress) unless showAddresses, and
// every http:// or https:// address is a link (rel="nofollow noopener noreferrer").
std::string TextToHtml(std::string_view text, bool showAddresses);

// The addresses of a text hidden (or left as they are with showAddresses): the text stays
// text, to be escaped by the caller.
std::string HideAddresses(std::string_view text, bool showAddresses);

}  // namespace corvanteer::archive
