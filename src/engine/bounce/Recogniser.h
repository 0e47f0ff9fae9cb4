#pragma once

// Reading a delivery failure: which addresses a returned message says failed, how (a hard
// or a soft failure, a refusal by policy, or nothing to count), and the member token of the
// copy that failed when the returned headers carry one.
//
// Three kinds of report are read, in this order, and the first that names recipients
// decides: a delivery status notification (multipart/report with message/delivery-status or
// message/global-delivery-status), an X-Failed-Recipients header field, and a small table of
// the plain-text forms some servers still send (PlainTextForms.h).

#include <string>
#include <string_view>
#include <vector>

// The library's message type, declared as the library does, so that this header (which
// the scan context includes) does not bring the library's headers into every user.
struct _GMimeMessage;
typedef struct _GMimeMessage GMimeMessage;

namespace corvanteer::bounce {

enum class Verdict {
    Hard,        // 5.x.x: the address does not take mail
    Soft,        // 4.x.x: it may take mail again later
    Policy,      // 5.7.x: refused as spam, by DMARC, a blocked sender: the list's problem
    NotCounted,  // delayed, delivered, relayed, expanded, or a success status
};

const char* VerdictName(Verdict verdict);  // "hard", "soft", "policy", "not counted"

struct FailedRecipient {
    std::string address;   // lower case: Final-Recipient, or the address the text names
    std::string original;  // lower case Original-Recipient when the report gives one, else ""
    std::string action;    // lower case, "" when the report has none
    std::string status;    // "5.1.1"; "" when the report gives none
    Verdict verdict = Verdict::Hard;
};

enum class ReportForm { None, DeliveryStatus, FailedRecipientsField, PlainText };

struct BounceReport {
    ReportForm form = ReportForm::None;
    std::string formName;  // "delivery status", "X-Failed-Recipients", or the plain form's name
    std::vector<FailedRecipient> recipients;  // in the report's order
    // Values of X-Corvanteer-Member fields in the returned message or headers, trimmed.
    std::vector<std::string> memberTokens;
};

// Reads a whole message (header, empty line, body). Never fails: a message that is no
// bounce gives a report that names nobody.
BounceReport RecogniseBounce(std::string_view message);
BounceReport RecogniseBounce(GMimeMessage* message);

// The verdict of one recipient: an action of delayed, delivered, relayed or expanded never
// counts; otherwise the status class decides (5.7.x policy, 5 hard, 4 soft, 2 not counted),
// and a failure without a usable status is hard.
Verdict VerdictOf(std::string_view action, std::string_view status);

// The first enhanced status code ("5.1.1") in a text, as a word of its own; failing that, a
// reply code at the start of a line or after a blank, colon or quote ("550" gives "5.0.0",
// "452" gives "4.0.0"); "" when the text has neither.
std::string StatusIn(std::string_view text);

}  // namespace corvanteer::bounce
