#include "engine/PostingFrom.h"

#include "engine/mime/HeaderText.h"
#include "support/Address.h"
#include "support/HeaderFields.h"
#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer {

std::string ShownSenderAddress(bool hideSenderEmail, std::string_view changeSenderEmailTo,
                               std::string_view senderAddress,
                               std::string_view listPostingAddress) {
    if (!hideSenderEmail) {
        return std::string(senderAddress);
    }
    const std::string replacement = Trim(changeSenderEmailTo);
    if (replacement.empty() || SameText(replacement, kChangeSenderPlaceholder)) {
        return Trim(listPostingAddress);
    }
    return replacement;
}

std::string PostingFromLine(std::string_view displayName, std::string_view address) {
    return "From: " + mime::MailboxText(displayName, address);
}

std::string ManualFromLine(std::string_view fromField, bool hideSenderEmail,
                           std::string_view changeSenderEmailTo,
                           std::string_view listPostingAddress) {
    const std::string from = Trim(fromField);
    if (hideSenderEmail) {
        return PostingFromLine(
            ExtractDisplayName(from),
            ShownSenderAddress(true, changeSenderEmailTo, "", listPostingAddress));
    }
    if (ExtractEmail(from).empty()) {
        return PostingFromLine(from, Trim(listPostingAddress));
    }
    return "From: " + from;
}

}  // namespace corvanteer
