#pragma once

#include <string>
#include <string_view>

#include "engine/ScanContext.h"
#include "engine/Services.h"
#include "engine/mime/Decoration.h"
#include "support/Clock.h"
#include "support/Random.h"
#include "support/Text.h"

namespace corvanteer {

// Inserts at the top of the message, each at index 0 in this order: Date, X-Mailer,
// Message-ID ("<Corvanteer-" + Pop3User + message number + "-yyyymmddhhmmss" + a tag drawn
// from the random source + "@" + SMTPHost + ">"), then MIME-Version, Content-Type and
// Content-Transfer-Encoding of the incoming message when not empty after trimming. The block
// thus reads, from the top: the MIME lines present, Message-ID, X-Mailer, Date. The clock is
// read once for the Date and once more for the Message-ID; SMTPHost is the console's current
// value.
void AddStandardHeaders(Lines& message, const ScanContext& context, Services& services);

// The block AddStandardHeaders inserts, top-down, with the given SMTP host and Message-ID tag,
// and the MIME lines of the given body fields (AddStandardHeaders: the incoming message's;
// a posting: its decorated body's). Reads the clock as AddStandardHeaders does.
Lines StandardHeaderBlock(const ScanContext& context, const Clock& clock, std::string_view smtpHost,
                          std::string_view idTag, const mime::BodyFields& body);

// What makes a Message-ID unique where user, number and second are alike (two messages of one
// second, or of two processes): "." + 12 characters of 0-9 and a-z, about 62 random bits.
// Every distinct message draws its own; the copies of one posting share theirs.
std::string MessageIdTag(RandomSource& random);

// "Date: " + the RFC 822 date of the moment.
std::string DateHeader(const LocalTime& time);
// "Message-ID: <Corvanteer-" + user + number + "-" + yyyymmddhhmmss + tag + "@" + host + ">"
std::string MessageIdHeader(std::string_view pop3User, int messageNumber, const LocalTime& time,
                            std::string_view idTag, std::string_view smtpHost);

// Marks a message the List Server composed by itself (answers, approval requests), so that
// responders and other list servers do not answer it in turn.
inline constexpr const char* kAutoSubmittedLine = "Auto-Submitted: auto-replied";

// True when the line may be added to a posting as an extra header: not empty, holds ": ",
// and does not begin (lower-cased, untrimmed) with a header the program writes itself.
bool IsAllowedExtraHeader(std::string_view line);

// "X-Mailer: " value: window title + " (" + maker's web address + ")".
std::string MailerName();

}  // namespace corvanteer
