#include "oauth/OAuthSignIn.h"

#include <chrono>

#include "oauth/LoopbackListener.h"
#include "transport/HttpClient.h"

namespace corvanteer {

namespace {

constexpr int kMaxSilentPolls = 3;
constexpr int64_t kSlowDownSeconds = 5;  // RFC 8628 section 3.5

// outcome: the grant's outcome that ended the sign-in; NoAnswer when none came.
GrantResult Failed(std::string error, GrantOutcome outcome = GrantOutcome::NoAnswer) {
    GrantResult result;
    result.outcome = outcome;
    result.error = std::move(error);
    return result;
}

std::string Minutes(int64_t seconds) {
    const int64_t minutes = (seconds + 59) / 60;
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
}

}  // namespace

GrantResult SignInWithDevice(OAuthServer& server, const SignInHooks& hooks, const Clock& clock,
                             const std::string& user) {
    std::string error;
    const std::optional<DeviceAuthorization> device = server.StartDevice(error);
    if (!device) {
        return Failed("The sign-in could not start: " + error);
    }
    hooks.say("To sign in" + (user.empty() ? std::string() : " as " + user) + ", open " +
              device->verificationUri + " in a browser and enter the code " + device->userCode);
    hooks.say("Waiting for the sign-in (the code expires in " + Minutes(device->expiresIn) +
              ")...");
    const int64_t deadline = clock.MonotonicMs() + device->expiresIn * 1000;
    int64_t interval = device->interval;
    int silent = 0;
    for (;;) {
        if (!hooks.wait(interval * 1000)) {
            return Failed("The sign-in was stopped.");
        }
        if (clock.MonotonicMs() >= deadline) {
            return Failed("The code expired before the sign-in was done; start again.");
        }
        GrantResult result = server.PollDevice(device->deviceCode);
        switch (result.outcome) {
            case GrantOutcome::Granted:
                return result;
            case GrantOutcome::Pending:
                silent = 0;
                continue;
            case GrantOutcome::SlowDown:
                silent = 0;
                interval += kSlowDownSeconds;
                continue;
            case GrantOutcome::NoAnswer:
                if (++silent < kMaxSilentPolls) {
                    continue;
                }
                return Failed("The sign-in failed: " + result.error);
            case GrantOutcome::Denied:
                return Failed("The sign-in was declined: " + result.error, result.outcome);
            case GrantOutcome::Expired:
                return Failed("The code expired before the sign-in was done; start again.",
                              result.outcome);
            default:
                return Failed("The sign-in failed: " + result.error, result.outcome);
        }
    }
}

GrantResult SignInWithBrowser(OAuthServer& server, const SignInHooks& hooks, RandomSource& random,
                              const std::string& user, int64_t timeoutMs) {
    LoopbackListener listener;
    if (!listener.Listening()) {
        return Failed("The sign-in could not listen on 127.0.0.1 for the browser's answer.");
    }
    const std::string redirect = listener.RedirectUri();
    const std::string state = RandomToken(random, 16);
    const Pkce pkce = MakePkce(random);
    const std::string url = server.AuthorizationUrl(redirect, state, pkce.challenge, user);
    hooks.say("To sign in" + (user.empty() ? std::string() : " as " + user) +
              ", open this address in a browser on this computer:");
    hooks.say(url);
    if (hooks.openBrowser) {
        hooks.openBrowser(url);
    }
    hooks.say("Waiting for the browser (at most " + Minutes(timeoutMs / 1000) + ")...");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int64_t left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now())
                                 .count();
        std::optional<LoopbackRequest> request = listener.Next(left, hooks.stopped);
        if (!request) {
            return Failed(hooks.stopped && hooks.stopped()
                              ? "The sign-in was stopped."
                              : "No answer came from the browser in time; start again.");
        }
        const std::string query = request->Query();
        const std::string code = QueryValue(query, "code");
        const std::string refusal = QueryValue(query, "error");
        if (request->Path() != "/" || (code.empty() && refusal.empty())) {
            request->Answer(404, "Not found", "This address only takes the sign-in's answer.");
            continue;
        }
        // An answer for another sign-in (or forged by another program on this machine).
        if (QueryValue(query, "state") != state) {
            request->Answer(400, "Sign-in not accepted",
                            "This answer does not belong to the sign-in Corvanteer waits for.");
            continue;
        }
        if (!refusal.empty()) {
            request->Answer(200, "Sign-in refused", "Return to Corvanteer.");
            std::string words = refusal;
            for (char& c : words) {
                c = (c >= ' ' && c < 0x7f) ? c : ' ';
            }
            return Failed("The sign-in was refused: " + words.substr(0, 64), GrantOutcome::Denied);
        }
        GrantResult result = server.ExchangeCode(code, pkce.verifier, redirect);
        if (!result.ok()) {
            request->Answer(200, "Sign-in failed", "Return to Corvanteer to see why.");
            return Failed("The sign-in failed: " + result.error, result.outcome);
        }
        request->Answer(200, "Signed in", "Corvanteer has the sign-in. You may close this window.");
        return result;
    }
}

}  // namespace corvanteer
