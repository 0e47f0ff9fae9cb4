#pragma once

// The messages bounce handling sends: the notice to a member whose delivery was disabled
// (the list's Bounce_Disabled template, with the re-enable code in its subject), and the
// notices to the list's owner (disabled, with the last failure report attached as
// message/rfc822; removed). Each is a whole message (CR LF line ends) from the List Server
// address, marked "Auto-Submitted: auto-generated" and carrying the list header lines.

#include <string>
#include <string_view>
#include <vector>

#include "engine/Services.h"
#include "support/SettingTables.h"

namespace corvanteer::bounce {

// The template section of the member's notice, and its text when a list has none (a new
// installation writes it into "Default List.dat").
inline constexpr const char* kNoticeSection = "Bounce_Disabled";
extern const char* const kDefaultNoticeText;

// "Delivery of " + list + " to you is disabled (" + code + ")". A reply to the List Server
// whose subject is "Re: " + this enables delivery again.
std::string NoticeSubject(std::string_view list, std::string_view code);

// "enable-" + 10 characters of 0-9 and A-Z.
std::string NewEnableCode(RandomSource& random);

// The list's owner: the ErrorsTo address, or, when it is empty, the moderators' addresses.
std::vector<std::string> OwnerAddresses(const ListSettings& settings);

// What every notice of one list is made of.
struct NoticeContext {
    std::string list;  // as the list set holds it
    const ListSettings& settings;
    std::string listServerAddress;
    std::string smtpHost;
};

struct MemberNoticeValues {
    std::string address;
    std::string code;
    std::string status;  // the last status, "5.1.1"
    std::string score;   // "5.0"
};

// The member's notice: the template filled in ({Email}, {ListName}, {ListAddress},
// {ListServerAddress} as in the other answers, {Code} the re-enable code, {Status} the last
// status, {Score} the score) under the subject NoticeSubject.
std::string MemberNotice(Services& services, const NoticeContext& notice,
                         const MemberNoticeValues& values, std::string_view templateText);

// A notice to the owner addresses with the text as its body; a non-empty attachment (a
// whole message) is attached as message/rfc822.
std::string OwnerNotice(Services& services, const NoticeContext& notice,
                        const std::vector<std::string>& owners, const std::string& subject,
                        const std::string& text, std::string_view attachment = {});

}  // namespace corvanteer::bounce
