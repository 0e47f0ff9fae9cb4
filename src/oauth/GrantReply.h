#pragma once

// What a token endpoint (RFC 6749 section 5) or a device authorization endpoint (RFC 8628
// section 3.2) answers: the members of the JSON object this program uses. Servers are
// strangers: nothing in a body makes the reader raise.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

struct GrantReply {
    std::string error;  // the error code; empty when the reply is no error
    std::string errorDescription;
    // A token reply.
    std::string accessToken;
    std::string refreshToken;
    std::string tokenType;
    std::optional<int64_t> expiresIn;  // seconds; for a device reply those of the code
    // A device authorization reply.
    std::string deviceCode;
    std::string userCode;
    std::string verificationUri;  // or Google's spelling, verification_url
    std::string verificationUriComplete;
    std::optional<int64_t> interval;
};

// The reply in the body. nullopt, with problem saying why ("no JSON", "expires_in of the
// wrong type"), when the body is not one JSON object or a member read has the wrong type:
// texts must be strings, numbers whole numbers or strings of digits (some servers quote
// them). A member that is absent or null reads as empty; members not read are not looked at.
std::optional<GrantReply> ReadGrantReply(std::string_view body, std::string& problem);

}  // namespace corvanteer
