#pragma once

// The standard list header lines (List-Id, List-Post, List-Help, List-Subscribe,
// List-Unsubscribe, Precedence) that mail programs and providers use to file a list's
// postings, filter them and offer to unsubscribe.

#include <string>
#include <string_view>

#include "support/Text.h"

namespace corvanteer {

// What the list header lines of one posting are made of.
struct ListHeaderValues {
    std::string listName;           // the list as the list set holds it
    std::string postingAddress;     // ListPostingAddress
    std::string listServerAddress;  // the global ListServerAddress
    int allowPostBy = 0;            // 0: only moderators may post
    bool allowUserSubscribe = true;
};

// The list's label: its posting address (the address part, trimmed) with "@" turned into
// ".", as in news@example.org -> news.example.org; "" when there is no posting address.
std::string ListLabel(std::string_view postingAddress);

// The lines, in this order and each one line: "List-Id: " + list name as a phrase (quoted
// when it needs quoting, left out when it is not plain ASCII) + " <" + label + ">";
// "List-Post: <mailto:" + posting address + ">" ("List-Post: NO" when only moderators may
// post); "List-Help: <mailto:" + List Server address + "?subject=help%20" + name + ">"; with
// AllowUserSubscribe, List-Subscribe and List-Unsubscribe alike with "subscribe%20" and
// "unsubscribe%20"; "Precedence: list". A line that needs an address left empty is left out;
// so is a line whose header name one of the given extra header lines already carries (the
// operator's own value stands).
Lines ListHeaderLines(const ListHeaderValues& values, const Lines& extraHeaders = {});

// The text with every byte but A-Z, a-z, 0-9 and those in `keep` written as "%" + two
// upper-case hex digits.
std::string PercentEncode(std::string_view text, std::string_view keep = "-._~");

}  // namespace corvanteer
