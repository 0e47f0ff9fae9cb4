#pragma once

// Response templates: the body texts of the automatic answers, with variables in braces.

#include <string>
#include <string_view>

#include "engine/ScanContext.h"

namespace corvanteer {

// What "{Password}" stands for in an answer when the list requires passwords.
enum class TemplatePassword {
    Generated,  // the password just made for the member (subscription confirmed, password
                // notice)
    Withheld,   // every other answer: no member's password belongs there, so it becomes ""
};

// Fills in the variables of a template, each replaced everywhere (exact case, left to right,
// inserted text not searched again by the same step), in this order: "{Email}" (the sender
// address), "{ListName}" (the context's list name as it stands), "{ListAddress}" (the list's
// posting address), "{ListServerAddress}", and, only when the list's RequirePassword is on,
// "{Password}". Later steps see text inserted by earlier ones; other words in braces stay.
std::string FillTemplate(std::string_view text, const ScanContext& context,
                         std::string_view listServerAddress,
                         TemplatePassword password = TemplatePassword::Withheld);

}  // namespace corvanteer
