#pragma once

// The --json forms of the command line's listings: each one JSON object and "\n", members in
// the order given below, so scripts read them with jq. Texts that are not valid UTF-8 have
// their bytes from 0x80 up written as the characters of those codes, so the output is always
// valid JSON. Empty texts that stand for "none" are null.
//
//   lists          {"lists": [NAME, ...]}
//   members show   {"list": NAME, "total": N, "banned": N,
//                   "members": [{"address": ADDRESS, "banned": BOOL}, ...]}
//                  (the members' passwords are left out)
//   posts list     {"list": NAME, "posts": [NAME, ...]}
//   queue          {"messages": [{"file": NAME, "malformed": BOOL, "held": BOOL,
//                   "attempts": N, "from": TEXT|null, "recipients": N}, ...]}
//   check          {"passed": BOOL, "checked": N, "servers": [{"kind": "smtp"|"listserver"|
//                   "list", "list": NAME|null, "configured": BOOL, "host", "port", "user",
//                   "security", "connected": BOOL, "tls": null|{"version", "cipher",
//                   "resumed", "verified", "pinned", "certificate": {"subject", "issuer",
//                   "expires", "sha256"}}, "capabilities": [...], "login": "not tried"|
//                   "not required"|"accepted"|"refused", "messages": N|null,
//                   "passed": BOOL, "error": TEXT|null}, ...]}
//   oauth status   {"accounts": [{"account": NAME, "method": "password"|"oauth2"|...,
//                   "user": TEXT|null, "signedIn": BOOL, "tokenUser": TEXT|null,
//                   "expires": "YYYY-MM-DD HH:MM:SS UTC"|null, "expired": BOOL,
//                   "refreshToken": BOOL, "refused": TEXT|null}, ...]}
//                  (no token is ever written)

#include <cstdint>
#include <string>
#include <vector>

#include "app/ConnectionCheck.h"
#include "app/OAuthAccounts.h"
#include "app/QueueListing.h"
#include "app/RosterOperations.h"

namespace corvanteer {

// A text as the JSON writer takes it: valid UTF-8 as it is; otherwise (a list name in Latin-1)
// its bytes from 0x80 up taken as the characters of those codes. status --json uses it too.
std::string JsonUtf8(const std::string& text);

std::string ListsJson(const std::vector<std::string>& names);
std::string MembersJson(const std::string& list, const RosterView& roster);
std::string PostsJson(const std::string& list, const std::vector<std::string>& names);
std::string QueueJson(const std::vector<QueueEntry>& entries);
std::string CheckJson(const CheckReport& report);

struct AccountState {
    MailboxAccount mailbox;
    StoredTokens tokens;
};
std::string OAuthStatusJson(const std::vector<AccountState>& accounts, int64_t now);

}  // namespace corvanteer
