#pragma once

// The plain-text failure reports of servers that send no delivery status notification:
// a small table, one short rule per form (how to know it, where its addresses stand, what a
// failure it reports when the text gives no status).

#include <string>
#include <string_view>
#include <vector>

#include "engine/bounce/Recogniser.h"

namespace corvanteer::bounce {

struct PlainTextResult {
    std::string formName;  // "" when no form of the table matched
    std::vector<FailedRecipient> recipients;
};

// Reads the report text of a bounce (its first text part, decoded). The first form whose
// marker the text holds decides; each address it lists gets the status written under it
// (or, when the form lists one address, anywhere in the report), else the form's verdict.
PlainTextResult ReadPlainTextForms(std::string_view text);

// The names of the forms in the table, in order (for tests and the benchmark).
std::vector<std::string> PlainTextFormNames();

}  // namespace corvanteer::bounce
