#pragma once

// The client side of SASL mechanisms (RFC 4422) as the mail clients run them: a mechanism
// gives its initial response and answers the server's challenges; the client carries them
// in its protocol's AUTH command and Base64. New mechanisms (a token instead of a password)
// plug in here without reshaping the clients.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvanteer {

class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    // The name in the AUTH command: "PLAIN", "LOGIN".
    virtual std::string Name() const = 0;
    // Sent with the AUTH command itself; nullopt when the mechanism waits for the server.
    virtual std::optional<std::string> InitialResponse() = 0;
    // The answer (not yet Base64-encoded) to a challenge as the server sent it (Base64
    // text); nullopt when the mechanism has nothing more to say, which ends the login.
    virtual std::optional<std::string> Respond(std::string_view challenge) = 0;
};

// PLAIN (RFC 4616): "\0user\0password" as the initial response; one round trip.
std::unique_ptr<SaslMechanism> MakePlainMechanism(std::string user, std::string password);
// LOGIN: the user name to the first challenge, the password to the second, whatever the
// challenges say.
std::unique_ptr<SaslMechanism> MakeLoginMechanism(std::string user, std::string password);

// The mechanism names of an SMTP server's "AUTH" (or old "AUTH=") capability lines, upper
// case, in order.
std::vector<std::string> OfferedMechanisms(const std::vector<std::string>& capabilities);

// PLAIN when offered, else LOGIN when offered; null when neither is.
std::unique_ptr<SaslMechanism> PickPasswordMechanism(const std::vector<std::string>& offered,
                                                     const std::string& user,
                                                     const std::string& password);

}  // namespace corvanteer
