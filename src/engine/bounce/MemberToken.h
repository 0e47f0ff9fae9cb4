#pragma once

// The per-member token on individual copies of a posting ("X-Corvanteer-Member: <token>"):
// a keyed hash of the list and the member's address, so a failure report that returns the
// copy's header names the member even when the address that failed is another one (a
// forwarding address). The token does not reveal the address; only this installation, which
// keeps the key, can tell whose it is.

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/SettingsStore.h"

namespace corvanteer::bounce {

inline constexpr const char* kMemberHeaderName = "X-Corvanteer-Member";

// The key: 32 random bytes as 64 hex digits, kept as the value "BounceTokenKey" directly
// under the settings key (so backup and restore keep it). Made from the system's random
// source at first use; a read-only store without one gives "".
std::string MemberTokenKey(SettingsStore& store, std::string_view settingsKey);

// HMAC-SHA256 under the key of the list name and the address (both lower-cased), its first
// 16 bytes as 32 lower-case hex digits. "" when the key is empty.
std::string MemberToken(std::string_view key, std::string_view list, std::string_view address);

// The values of every "X-Corvanteer-Member:" line (any case) in a text: the first word
// after the colon.
std::vector<std::string> TokensInText(std::string_view text);

// The token a field value carries: its first word (up to a blank, tab or line end, so a
// folded value gives no line break); "" when the value is blank.
std::string TokenOfValue(std::string_view value);

// Token -> member address for one list's roster, so a report's token is found without
// hashing every member again for every report.
class MemberTokenIndex {
public:
    MemberTokenIndex() = default;
    MemberTokenIndex(std::string_view key, std::string_view list,
                     const std::vector<std::string>& addresses);
    // The member whose token it is, or nullptr.
    const std::string* Find(std::string_view token) const;
    bool empty() const { return members_.empty(); }

private:
    std::unordered_map<std::string, std::string> members_;
};

}  // namespace corvanteer::bounce
