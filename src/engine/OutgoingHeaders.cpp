#include "engine/OutgoingHeaders.h"

#include <array>
#include <cstdint>

#include "support/DateTime.h"
#include "support/Version.h"

namespace corvanteer {

std::string DateHeader(const LocalTime& time) {
    return "Date: " + Rfc822Date(time);
}

std::string MessageIdHeader(std::string_view pop3User, int messageNumber, const LocalTime& time,
                            std::string_view idTag, std::string_view smtpHost) {
    std::string line = "Message-ID: <Corvanteer-";
    line += pop3User;
    line += std::to_string(messageNumber);
    line += "-";
    line += Stamp14(time);
    line += idTag;
    line += "@";
    line += smtpHost;
    line += ">";
    return line;
}

std::string MessageIdTag(RandomSource& random) {
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    static constexpr uint32_t kSixDigits = 36u * 36u * 36u * 36u * 36u * 36u;  // fits 32 bits
    std::string tag = ".";
    for (int half = 0; half < 2; ++half) {
        uint32_t value = random.Below(kSixDigits);
        char digits[6];
        for (int i = 5; i >= 0; --i) {
            digits[i] = kDigits[value % 36];
            value /= 36;
        }
        tag.append(digits, 6);
    }
    return tag;
}

std::string MailerName() {
    return WindowTitle() + " (" + kMakerWebAddress + ")";
}

Lines StandardHeaderBlock(const ScanContext& context, const Clock& clock, std::string_view smtpHost,
                          std::string_view idTag, const mime::BodyFields& body) {
    // Built in the order the lines reach the top of the message, then reversed: each line of
    // the block is inserted above the one before it.
    Lines block;
    block.push_back(DateHeader(clock.Now()));
    block.push_back("X-Mailer: " + MailerName());
    block.push_back(MessageIdHeader(context.Settings.Pop3User, context.MessageNumber, clock.Now(),
                                    idTag, smtpHost));
    if (!Trim(body.mimeVersion).empty()) {
        block.push_back("MIME-Version: " + body.mimeVersion);
    }
    if (!Trim(body.contentType).empty()) {
        block.push_back("Content-Type: " + body.contentType);
    }
    if (!Trim(body.contentTransferEncoding).empty()) {
        block.push_back("Content-Transfer-Encoding: " + body.contentTransferEncoding);
    }
    return Lines(block.rbegin(), block.rend());
}

void AddStandardHeaders(Lines& message, const ScanContext& context, Services& services) {
    Lines block = StandardHeaderBlock(context, services.clock, services.console.Globals().SMTPHost,
                                      MessageIdTag(services.random),
                                      mime::BodyFields{context.MimeVersion, context.ContentType,
                                                       context.ContentTransferEncoding});
    message.insert(message.begin(), std::make_move_iterator(block.begin()),
                   std::make_move_iterator(block.end()));
}

bool IsAllowedExtraHeader(std::string_view line) {
    static constexpr std::array<std::string_view, 8> kOwnHeaders = {"to:",
                                                                    "from:",
                                                                    "reply-to:",
                                                                    "message-id:",
                                                                    "mime-version:",
                                                                    "content-type:",
                                                                    "content-transfer-encoding:",
                                                                    "x-mailer:"};
    std::string lower = LowerCase(line);
    std::string trimmed = Trim(lower);
    if (trimmed.empty() || !Contains(trimmed, ": ")) {
        return false;
    }
    // The prefix test is made on the untrimmed line, so " To: x" passes.
    for (std::string_view own : kOwnHeaders) {
        if (StartsWith(lower, own)) {
            return false;
        }
    }
    return true;
}

}  // namespace corvanteer
