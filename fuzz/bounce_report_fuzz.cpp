// Failure reports: RecogniseBounce, StatusIn and TokensInText on hostile mail. The recogniser
// reads whatever arrives in a list mailbox, so nothing it is given may crash it or make it
// name something that is not an address.
//
// Input: a whole message (header, empty line, body), as a list mailbox would hold it.
//
// Checked: a report names recipients exactly when it has a form (and a form name); each
// recipient is a lower-case valid address with a status that reads as itself; the verdict
// agrees with the status class (hard 5 but not 5.7, soft 4, policy 5.7); a report read twice
// reads the same; member tokens are single non-empty words; the status found in any text is
// an enhanced code that is found in itself again.

#include <cstdint>
#include <string>
#include <string_view>

#include "common/FuzzCheck.h"
#include "engine/bounce/MemberToken.h"
#include "engine/bounce/Recogniser.h"
#include "support/Address.h"
#include "support/Text.h"

namespace corvanteer::fuzz {
namespace {

using bounce::BounceReport;
using bounce::FailedRecipient;
using bounce::ReportForm;
using bounce::Verdict;

void CheckStatus(const std::string& status) {
    if (status.empty()) {
        return;
    }
    FUZZ_CHECK(status.size() >= 5 && status.size() <= 9);
    FUZZ_CHECK(status[0] == '2' || status[0] == '4' || status[0] == '5');
    FUZZ_CHECK(status[1] == '.');
    FUZZ_CHECK(bounce::StatusIn(status) == status);
}

void CheckToken(const std::string& token) {
    FUZZ_CHECK(!token.empty());
    FUZZ_CHECK(token.find_first_of(" \t\r\n") == std::string::npos);
}

void CheckRecipient(const FailedRecipient& recipient, ReportForm form) {
    FUZZ_CHECK(!recipient.address.empty());
    FUZZ_CHECK(recipient.address == LowerCase(recipient.address));
    FUZZ_CHECK(IsValidEmail(recipient.address));
    if (!recipient.original.empty()) {
        FUZZ_CHECK(recipient.original == LowerCase(recipient.original));
        FUZZ_CHECK(recipient.original != recipient.address);
    }
    CheckStatus(recipient.status);
    switch (recipient.verdict) {
        case Verdict::Hard:
            FUZZ_CHECK(!recipient.status.empty() && recipient.status[0] == '5');
            FUZZ_CHECK(!StartsWith(recipient.status, "5.7."));
            break;
        case Verdict::Soft:
            FUZZ_CHECK(!recipient.status.empty() && recipient.status[0] == '4');
            break;
        case Verdict::Policy:
            FUZZ_CHECK(StartsWith(recipient.status, "5.7."));
            break;
        case Verdict::NotCounted:
            break;
    }
    if (form == ReportForm::DeliveryStatus) {
        FUZZ_CHECK(bounce::VerdictOf(recipient.action, recipient.status) == recipient.verdict);
    }
}

bool Same(const BounceReport& a, const BounceReport& b) {
    if (a.form != b.form || a.formName != b.formName || a.memberTokens != b.memberTokens ||
        a.recipients.size() != b.recipients.size()) {
        return false;
    }
    for (size_t i = 0; i < a.recipients.size(); ++i) {
        const FailedRecipient& x = a.recipients[i];
        const FailedRecipient& y = b.recipients[i];
        if (x.address != y.address || x.original != y.original || x.action != y.action ||
            x.status != y.status || x.verdict != y.verdict) {
            return false;
        }
    }
    return true;
}

void CheckReport(std::string_view message) {
    const BounceReport report = bounce::RecogniseBounce(message);
    FUZZ_CHECK((report.form == ReportForm::None) == report.recipients.empty());
    FUZZ_CHECK((report.form == ReportForm::None) == report.formName.empty());
    for (const FailedRecipient& recipient : report.recipients) {
        CheckRecipient(recipient, report.form);
    }
    for (const std::string& token : report.memberTokens) {
        CheckToken(token);
    }
    FUZZ_CHECK(Same(report, bounce::RecogniseBounce(message)));
}

}  // namespace
}  // namespace corvanteer::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvanteer;
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    fuzz::CheckReport(message);
    fuzz::CheckStatus(bounce::StatusIn(message));
    for (const std::string& token : bounce::TokensInText(message)) {
        fuzz::CheckToken(token);
    }
    return 0;
}
