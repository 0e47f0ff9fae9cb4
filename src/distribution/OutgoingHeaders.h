#pragma once

#include <string_view>

#include "scan/ScanContext.h"
#include "scan/Services.h"
#include "support/Text.h"

namespace corvanteer {

// Inserts at the top of the message, each at index 0 in this order: Date, X-Mailer,
// Message-ID ("<Corvanteer-" + Pop3User + message number + "-yyyymmddhhmmss@" + SMTPHost +
// ">"), then MIME-Version, Content-Type and Content-Transfer-Encoding of the incoming message
// when not empty after trimming. The block thus reads, from the top: the MIME lines present,
// Message-ID, X-Mailer, Date.
void AddStandardHeaders(Lines& message, const ScanContext& context, Services& services);

// True when the line may be added to a posting as an extra header: not empty, holds ": ",
// and does not begin (lower-cased, untrimmed) with a header the program writes itself.
bool IsAllowedExtraHeader(std::string_view line);

// "X-Mailer: " value: window title + " (" + maker's web address + ")".
std::string MailerName();

}  // namespace corvanteer
