#pragma once

// The HTML part of a posting reduced to what a strict allow-list keeps, so the archive can
// show its layout without anything in it running or reaching out.

#include <string>
#include <string_view>

namespace corvanteer::archive {

// Parses the HTML (UTF-8, a whole document or a fragment; malformed input is read as a
// browser would) and writes it anew from the tree: only text, paragraphs and line breaks,
// emphasis, lists, quotes, headings, preformatted text, tables and rules are kept, without
// any attribute but a link's http(s) address (mailto too with showAddresses) and a cell's
// colspan and rowspan. Scripts, styles, forms, frames, objects, images and everything of
// unknown kind are dropped (images as "[image: alt text]"), comments too; the text of other
// unknown elements stays. Addresses in the text are hidden unless showAddresses. The result
// is a fragment that is always well nested and escaped.
std::string SanitizeHtml(std::string_view html, bool showAddresses);

}  // namespace corvanteer::archive
