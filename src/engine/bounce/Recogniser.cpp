#include "engine/bounce/Recogniser.h"

#include <gmime/gmime.h>

#include <algorithm>
#include <cctype>

#include "engine/bounce/MemberToken.h"
#include "engine/bounce/PlainTextForms.h"
#include "engine/mime/MimeLibrary.h"
#include "support/Address.h"
#include "support/Text.h"

namespace corvanteer::bounce {

namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.';
}

// Digits from pos, at least 1 and at most max; their count, or 0.
size_t DigitRun(std::string_view text, size_t pos, size_t max) {
    size_t n = 0;
    while (pos + n < text.size() && IsDigit(text[pos + n])) {
        ++n;
    }
    return n >= 1 && n <= max ? n : 0;
}

// Length of an enhanced status code ("5.1.1") starting at pos, or 0.
size_t StatusAt(std::string_view text, size_t pos) {
    if (pos + 5 > text.size()) {
        return 0;
    }
    const char cls = text[pos];
    if ((cls != '2' && cls != '4' && cls != '5') || text[pos + 1] != '.') {
        return 0;
    }
    size_t at = pos + 2;
    const size_t subject = DigitRun(text, at, 3);
    if (subject == 0 || at + subject >= text.size() || text[at + subject] != '.') {
        return 0;
    }
    at += subject + 1;
    const size_t detail = DigitRun(text, at, 3);
    if (detail == 0) {
        return 0;
    }
    at += detail;
    // "5.1.1." ends a sentence; "5.1.1.2" is something else (a version, an address).
    if (at < text.size() &&
        (IsDigit(text[at]) || (text[at] == '.' && at + 1 < text.size() && IsDigit(text[at + 1])))) {
        return 0;
    }
    return at - pos;
}

std::string ValidStatus(std::string_view value) {
    const std::string word = Trim(Before(Trim(value), " "));
    const size_t length = StatusAt(word, 0);
    return length == word.size() && length > 0 ? word : std::string();
}

// "rfc822; Ann@Example.org" -> "ann@example.org"; "" when no address.
std::string RecipientAddress(std::string_view value) {
    std::string text(value);
    const size_t semicolon = text.find(';');
    if (semicolon != std::string::npos) {
        text = text.substr(semicolon + 1);
    }
    text = Trim(text);
    if (!text.empty() && text.front() == '<' && text.back() == '>') {
        text = Trim(std::string_view(text).substr(1, text.size() - 2));
    }
    return IsValidEmail(text) ? LowerCase(text) : std::string();
}

// A status given in a DSN as a class only ("5.0.0") takes the detail of the diagnostic
// code when it names one of the same class ("550 5.7.1 blocked as spam").
std::string RefinedStatus(const std::string& status, std::string_view diagnostic) {
    const std::string diagnosed = StatusIn(diagnostic);
    if (status.empty()) {
        return diagnosed;
    }
    if (diagnosed.empty() || diagnosed[0] != status[0] || !EndsWith(status, ".0.0")) {
        return status;
    }
    return diagnosed;
}

// A failure reported without a status still gets one for the records.
void FillStatus(FailedRecipient& recipient) {
    if (!recipient.status.empty()) {
        return;
    }
    if (recipient.verdict == Verdict::Hard) {
        recipient.status = "5.0.0";
    } else if (recipient.verdict == Verdict::Soft) {
        recipient.status = "4.0.0";
    }
}

// The field groups of a delivery-status body: blank lines separate groups, and lines that
// begin with a blank continue the field above them. Names lower case, values trimmed.
using FieldGroup = std::vector<std::pair<std::string, std::string>>;

std::vector<FieldGroup> FieldGroups(std::string_view text) {
    std::vector<FieldGroup> groups(1);
    for (const std::string& line : TextToLines(text)) {
        if (Trim(line).empty()) {
            if (!groups.back().empty()) {
                groups.emplace_back();
            }
            continue;
        }
        if ((line[0] == ' ' || line[0] == '\t') && !groups.back().empty()) {
            groups.back().back().second += " " + Trim(line);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        groups.back().emplace_back(LowerCase(Trim(line.substr(0, colon))),
                                   Trim(line.substr(colon + 1)));
    }
    return groups;
}

std::string FieldOf(const FieldGroup& group, std::string_view name) {
    for (const auto& field : group) {
        if (field.first == name) {
            return field.second;
        }
    }
    return "";
}

std::vector<FailedRecipient> ReadDeliveryStatus(std::string_view body) {
    std::vector<FailedRecipient> recipients;
    for (const FieldGroup& group : FieldGroups(body)) {
        const std::string final = RecipientAddress(FieldOf(group, "final-recipient"));
        const std::string original = RecipientAddress(FieldOf(group, "original-recipient"));
        if (final.empty() && original.empty()) {
            continue;  // the per-message fields, or a recipient without an address
        }
        FailedRecipient recipient;
        recipient.address = final.empty() ? original : final;
        recipient.original = original != recipient.address ? original : "";
        recipient.action = LowerCase(Trim(FieldOf(group, "action")));
        recipient.status =
            RefinedStatus(ValidStatus(FieldOf(group, "status")), FieldOf(group, "diagnostic-code"));
        recipient.verdict = VerdictOf(recipient.action, recipient.status);
        FillStatus(recipient);
        recipients.push_back(std::move(recipient));
    }
    return recipients;
}

bool IsType(GMimeObject* object, const char* type, const char* subtype) {
    GMimeContentType* contentType = g_mime_object_get_content_type(object);
    return contentType != nullptr && g_mime_content_type_is_type(contentType, type, subtype);
}

// What a walk over the parts of a bounce finds.
struct Parts {
    std::string deliveryStatus;  // body of the first message/(global-)delivery-status part
    bool hasDeliveryStatus = false;
    std::string reportText;  // the first text/plain part outside a returned message
    bool hasReportText = false;
    std::vector<std::string> tokens;
};

void AddTokens(Parts& parts, std::vector<std::string> found) {
    for (std::string& token : found) {
        if (std::find(parts.tokens.begin(), parts.tokens.end(), token) == parts.tokens.end()) {
            parts.tokens.push_back(std::move(token));
        }
    }
}

void Walk(GMimeObject* object, Parts& parts, int depth) {
    if (object == nullptr || depth > 32) {
        return;
    }
    if (GMIME_IS_MULTIPART(object)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(object);
        const int count = g_mime_multipart_get_count(multipart);
        for (int i = 0; i < count; ++i) {
            Walk(g_mime_multipart_get_part(multipart, i), parts, depth + 1);
        }
        return;
    }
    if (GMIME_IS_MESSAGE_PART(object)) {
        // The returned message: only its header matters (its text is not the report).
        GMimeMessage* returned = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
        if (returned != nullptr) {
            GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(returned));
            const int count = g_mime_header_list_get_count(headers);
            std::vector<std::string> found;
            for (int i = 0; i < count; ++i) {
                GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
                if (SameText(g_mime_header_get_name(header), kMemberHeaderName)) {
                    const char* raw = g_mime_header_get_raw_value(header);
                    std::string token = TokenOfValue(raw != nullptr ? raw : "");
                    if (!token.empty()) {
                        found.push_back(std::move(token));
                    }
                }
            }
            AddTokens(parts, std::move(found));
        }
        return;
    }
    if (!GMIME_IS_PART(object)) {
        return;
    }
    GMimePart* part = GMIME_PART(object);
    if (IsType(object, "message", "delivery-status") ||
        IsType(object, "message", "global-delivery-status")) {
        if (!parts.hasDeliveryStatus) {
            parts.deliveryStatus = mime::DecodedContent(part);
            parts.hasDeliveryStatus = true;
        }
        return;
    }
    const bool headers =
        IsType(object, "text", "rfc822-headers") || IsType(object, "message", "global-headers");
    if (headers || IsType(object, "text", "*")) {
        std::string text = GMIME_IS_TEXT_PART(object) ? mime::TextAsUtf8(GMIME_TEXT_PART(object))
                                                      : mime::DecodedContent(part);
        AddTokens(parts, TokensInText(text));
        if (!headers && !parts.hasReportText && IsType(object, "text", "plain")) {
            parts.reportText = std::move(text);
            parts.hasReportText = true;
        }
    }
}

// X-Failed-Recipients: hard, unless the report text gives another status for the address
// on its line or the three lines under it.
std::vector<FailedRecipient> ReadFailedRecipientsField(GMimeMessage* message,
                                                       const std::string& reportText) {
    std::vector<FailedRecipient> recipients;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    const int count = g_mime_header_list_get_count(headers);
    const Lines lines = TextToLines(reportText);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        if (!SameText(g_mime_header_get_name(header), "X-Failed-Recipients")) {
            continue;
        }
        const char* raw = g_mime_header_get_raw_value(header);
        for (const std::string& part : SplitString(raw != nullptr ? raw : "", ",").parts) {
            const std::string address = RecipientAddress(part);
            if (address.empty()) {
                continue;
            }
            FailedRecipient recipient;
            recipient.address = address;
            for (size_t l = 0; l < lines.size() && recipient.status.empty(); ++l) {
                if (!Contains(LowerCase(lines[l]), address)) {
                    continue;
                }
                for (size_t k = l; k < std::min(lines.size(), l + 4); ++k) {
                    recipient.status = StatusIn(lines[k]);
                    if (!recipient.status.empty()) {
                        break;
                    }
                }
            }
            recipient.verdict =
                recipient.status.empty() ? Verdict::Hard : VerdictOf("failed", recipient.status);
            FillStatus(recipient);
            recipients.push_back(std::move(recipient));
        }
    }
    return recipients;
}

}  // namespace

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Hard:
            return "hard";
        case Verdict::Soft:
            return "soft";
        case Verdict::Policy:
            return "policy";
        case Verdict::NotCounted:
            return "not counted";
    }
    return "";
}

Verdict VerdictOf(std::string_view action, std::string_view status) {
    const std::string what = LowerCase(Trim(action));
    if (what == "delayed" || what == "delivered" || what == "relayed" || what == "expanded") {
        return Verdict::NotCounted;
    }
    const std::string code = ValidStatus(status);
    if (code.empty()) {
        return Verdict::Hard;
    }
    switch (code[0]) {
        case '2':
            return Verdict::NotCounted;
        case '4':
            return Verdict::Soft;
        default:
            return StartsWith(code, "5.7.") ? Verdict::Policy : Verdict::Hard;
    }
}

std::string StatusIn(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0 && IsWordChar(text[i - 1])) {
            continue;
        }
        const size_t length = StatusAt(text, i);
        if (length > 0) {
            return std::string(text.substr(i, length));
        }
    }
    for (size_t i = 0; i + 3 <= text.size(); ++i) {
        const char before = i == 0 ? '\n' : text[i - 1];
        if (before != '\n' && before != '\r' && before != ' ' && before != '\t' && before != ':' &&
            before != '\'' && before != '"' && before != '(') {
            continue;
        }
        if ((text[i] != '4' && text[i] != '5') || !IsDigit(text[i + 1]) || !IsDigit(text[i + 2])) {
            continue;
        }
        const char after = i + 3 < text.size() ? text[i + 3] : ' ';
        if (after == ' ' || after == '-' || after == '\r' || after == '\n' || after == ';') {
            return std::string(1, text[i]) + ".0.0";
        }
    }
    return "";
}

BounceReport RecogniseBounce(std::string_view bytes) {
    mime::Ptr<GMimeMessage> message = mime::ParseMessage(bytes);
    return RecogniseBounce(message.get());
}

BounceReport RecogniseBounce(GMimeMessage* message) {
    BounceReport report;
    if (message == nullptr) {
        return report;
    }
    Parts parts;
    Walk(g_mime_message_get_mime_part(message), parts, 0);
    report.memberTokens = std::move(parts.tokens);

    if (parts.hasDeliveryStatus) {
        report.recipients = ReadDeliveryStatus(parts.deliveryStatus);
        if (!report.recipients.empty()) {
            report.form = ReportForm::DeliveryStatus;
            report.formName = "delivery status";
            return report;
        }
    }
    report.recipients = ReadFailedRecipientsField(message, parts.reportText);
    if (!report.recipients.empty()) {
        report.form = ReportForm::FailedRecipientsField;
        report.formName = "X-Failed-Recipients";
        return report;
    }
    PlainTextResult plain = ReadPlainTextForms(parts.reportText);
    if (!plain.recipients.empty()) {
        report.form = ReportForm::PlainText;
        report.formName = std::move(plain.formName);
        report.recipients = std::move(plain.recipients);
        for (FailedRecipient& recipient : report.recipients) {
            FillStatus(recipient);
        }
    }
    return report;
}

}  // namespace corvanteer::bounce
