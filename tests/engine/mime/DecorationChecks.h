#pragma once

// The promises of a decorated posting, checked from the outside by parsing both messages:
// shared by the corpus test and the fuzz target.

#include <string>
#include <string_view>
#include <vector>

#include "engine/mime/Decoration.h"

namespace corvanteer::mime {

// The decorated message as it leaves: the body fields present, an empty line, the body.
std::string DecoratedMessage(const DecoratedBody& decorated);

// What the decoration broke, one text per fault; empty when it kept every promise:
// - the output parses with no kind of MIME defect the original did not have (a structure
//   broken in the original may show as another structural defect);
// - every line over the limit was in the original already (untouched content);
// - every original leaf part decodes to the same bytes (its type unchanged); the content of
//   signed, encrypted and attached messages is byte for byte the same;
// - a posting whose signature was left out (LeftOut) keeps its body byte for byte;
// - with a signature that is not blank, it stands, as the last text, in a text/plain part a
//   mail program shows: the message's own body or an inline part of a top-level
//   multipart/mixed; the text part that took it holds its old text before it.
std::vector<std::string> DecorationFaults(std::string_view posting, std::string_view signature,
                                          const DecoratedBody& decorated);

}  // namespace corvanteer::mime
