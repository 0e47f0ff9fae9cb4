#include "engine/Moderation.h"

#include "engine/ActivityLog.h"
#include "engine/Delivery.h"
#include "engine/ListPosting.h"
#include "engine/OutgoingHeaders.h"
#include "support/Address.h"
#include "support/HeaderFields.h"

namespace corvanteer {

namespace {

constexpr const char* kApprovalInstructions =
    "Please hit reply and then make your changes to the message body\r\n"
    "between the boundaries before sending it.";

void LogNotUnderstood(ScanContext& context, Services& services) {
    WriteLog(services, Stamp(services) + context.ListName + ": approval reply from " +
                           context.SenderAddress + " not understood - not posted");
}

// The quoted posting of an approval reply, between the marker lines with the quote prefix
// taken off; false when a marker is missing.
bool UnquotePosting(const Lines& body, Lines& posting) {
    size_t begin = body.size();
    size_t markerPos = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        markerPos = body[i].find(kApprovalBegin);
        if (markerPos != std::string::npos) {
            begin = i;
            break;
        }
    }
    if (begin == body.size()) {
        return false;
    }
    size_t end = body.size();
    for (size_t i = body.size(); i-- > begin + 1;) {
        if (body[i].find(kApprovalEnd) != std::string::npos) {
            end = i;
            break;
        }
    }
    if (end == body.size()) {
        return false;
    }

    const std::string prefix = body[begin].substr(0, markerPos);
    // Mail programs quote an empty line as the prefix without its trailing blank (">").
    const std::string barePrefix = TrimRight(prefix);
    posting.clear();
    posting.reserve(end - begin - 1);
    for (size_t i = begin + 1; i < end; ++i) {
        const std::string& line = body[i];
        if (!prefix.empty() && StartsWith(line, prefix)) {
            posting.push_back(line.substr(prefix.size()));
        } else if (!barePrefix.empty() && barePrefix != prefix && line == barePrefix) {
            posting.push_back("");
        } else {
            posting.push_back(line);
        }
    }
    return true;
}

}  // namespace

void RequestApproval(ScanContext& context, Services& services) {
    const ListSettings& settings = context.Settings;
    Envelope request{settings.ListPostingAddress, {}, {}};
    for (const auto& line : TextToLines(settings.Moderators)) {
        if (line.empty()) {
            continue;
        }
        // A line without an address (blanks only) would make the server refuse the whole
        // request, for every moderator.
        std::string address = ExtractEmail(line);
        if (!address.empty()) {
            request.recipients.push_back(std::move(address));
        }
    }
    std::string toValue;
    for (const auto& address : request.recipients) {
        toValue += address;
        toValue += ",";
    }
    while (!toValue.empty() && toValue.back() == ',') {
        toValue.pop_back();
    }

    const std::string smtpHost = services.console.Globals().SMTPHost;
    std::string& out = request.message;
    AppendCrLfLine(out, "From: " + settings.ListPostingAddress);
    AppendCrLfLine(out, "To: " + toValue);
    AppendCrLfLine(out, "Subject: " + context.ListName + " requesting approval");
    AppendCrLfLine(out, DateHeader(services.clock.Now()));
    AppendCrLfLine(out, "X-Mailer: " + MailerName());
    AppendCrLfLine(out,
                   MessageIdHeader(settings.Pop3User, context.MessageNumber, services.clock.Now(),
                                   MessageIdTag(services.random), smtpHost));
    AppendCrLfLine(out, kAutoSubmittedLine);
    out += "\r\n";
    AppendCrLfLine(out, kApprovalInstructions);
    out += "\r\n";
    AppendCrLfLine(out, kApprovalBegin);
    // The header lines as received, without the empty line that ends them: exactly one empty
    // line separates them from the body.
    for (const auto& line : context.HeaderLines) {
        if (line.empty()) {
            break;
        }
        AppendCrLfLine(out, line);
    }
    out += "\r\n";
    for (const auto& line : context.BodyLines) {
        AppendCrLfLine(out, line);
    }
    AppendCrLfLine(out, kApprovalEnd);

    SendForwarded(context, services, request,
                  context.ListName + ": msg from " + context.SenderAddress);
}

bool HandleApprovalReply(ScanContext& context, Services& services) {
    Lines posting;
    if (!UnquotePosting(context.BodyLines, posting)) {
        LogNotUnderstood(context, services);
        return false;
    }
    // The quoted header: at least one line, ended by an empty line.
    size_t headerEnd = 0;
    while (headerEnd < posting.size() && !posting[headerEnd].empty()) {
        ++headerEnd;
    }
    if (headerEnd == 0 || headerEnd == posting.size()) {
        LogNotUnderstood(context, services);
        return false;
    }

    // The posting goes out under its author's name and subject, not the moderator's.
    const std::string from = GetHeaderValue("From", posting);
    context.Subject = GetHeaderValue("Subject", posting);
    context.SenderName = ExtractDisplayName(from);
    context.SenderAddress = LowerCase(ExtractEmail(from));
    context.MimeVersion = GetHeaderValue("MIME-Version", posting);
    context.ContentType = GetHeaderValue("Content-Type", posting);
    context.ContentTransferEncoding = GetHeaderValue("Content-Transfer-Encoding", posting);
    // The quoted header describes the quoted body (its Content-* lines) for the posting.
    context.HeaderLines.assign(posting.begin(),
                               posting.begin() + static_cast<std::ptrdiff_t>(headerEnd) + 1);

    posting.erase(posting.begin(), posting.begin() + static_cast<std::ptrdiff_t>(headerEnd) + 1);
    PostToList(context, services, posting, context.Settings.PostingMethod);
    return true;
}

}  // namespace corvanteer
