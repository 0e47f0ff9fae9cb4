#pragma once

// The From line of postings: whose address it shows, and the line itself, which must carry a
// valid address whatever the settings hold.

#include <string>
#include <string_view>

namespace corvanteer {

// The address a posting's From line shows: the sender's own, or with hideSenderEmail the
// trimmed changeSenderEmailTo; the list posting address when that is empty (the default) or
// still the placeholder address earlier versions stored.
std::string ShownSenderAddress(bool hideSenderEmail, std::string_view changeSenderEmailTo,
                               std::string_view senderAddress, std::string_view listPostingAddress);

// "From: " + the display name and address, the name quoted or encoded where it must be
// (mime::MailboxText).
std::string PostingFromLine(std::string_view displayName, std::string_view address);

// The From line of a manual posting. With hideSenderEmail: the display name of the From
// field with ShownSenderAddress. Without: the trimmed From field as it is, or, when it holds
// no address, the field as the name of the list posting address.
std::string ManualFromLine(std::string_view fromField, bool hideSenderEmail,
                           std::string_view changeSenderEmailTo,
                           std::string_view listPostingAddress);

}  // namespace corvanteer
