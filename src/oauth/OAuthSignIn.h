#pragma once

// The two ways an operator signs a mailbox in: the device authorization grant (RFC 8628: a
// code typed on a page of the provider, in any browser on any device) and the authorization
// code grant with PKCE and a loopback redirect (RFC 7636, RFC 8252: a browser on this
// machine). Both end with the tokens (a granted GrantResult) or, in the operator's words, why
// there are none; storing them is the caller's.

#include <cstdint>
#include <functional>
#include <string>

#include "oauth/OAuthGrants.h"
#include "support/Clock.h"
#include "support/Random.h"

namespace corvanteer {

struct SignInHooks {
    std::function<void(const std::string&)> say;  // one line for the operator
    // Waits ms (between the polls of the device grant); false ends the sign-in.
    std::function<bool(int64_t ms)> wait;
    // True ends the sign-in (asked while the browser sign-in waits for its redirect).
    std::function<bool()> stopped;
    // Opens the address in a browser; empty when there is none to open.
    std::function<void(const std::string& url)> openBrowser;
};

// Asks for a device code, tells the operator where to enter it, and polls the token endpoint
// every interval the server asks (five seconds more after each slow_down) until the sign-in
// is done, refused, or the code has expired (by clock). Three polls in a row without an
// answer end it too.
GrantResult SignInWithDevice(OAuthServer& server, const SignInHooks& hooks, const Clock& clock,
                             const std::string& user);

// Listens on 127.0.0.1, tells the operator the authorization address (and opens it), takes
// the redirect that carries this sign-in's state, and exchanges its code with the PKCE
// verifier. Requests without a code, or with another state, are answered and ignored. Gives
// up after timeoutMs.
GrantResult SignInWithBrowser(OAuthServer& server, const SignInHooks& hooks, RandomSource& random,
                              const std::string& user, int64_t timeoutMs = 10 * 60 * 1000);

}  // namespace corvanteer
