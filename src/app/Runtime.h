#pragma once

// The parts a front end runs on, assembled the same way for the command line and the window:
// the mail clients with the OAuth tokens as their token source, clock and random sources, the
// store and session locks, the HTTP client, and the engine's Services over them. A face hands
// in only what differs: its observer and its console, and (tests) stand-ins for the parts
// that reach outside.

#include <memory>
#include <string>

#include "app/ActionResult.h"
#include "app/OAuthAccounts.h"
#include "engine/Services.h"
#include "oauth/CryptoRandom.h"
#include "oauth/OAuthSignIn.h"
#include "oauth/OAuthTokens.h"
#include "support/AppPaths.h"
#include "support/Clock.h"
#include "support/Locks.h"
#include "support/Random.h"
#include "support/SettingsStore.h"
#include "transport/CurlHttpClient.h"
#include "transport/TPop3Client.h"
#include "transport/TSmtpClient.h"

namespace corvanteer {

// Stand-ins for the real parts; a null member takes the real one. Each must outlive the
// runtime.
struct RuntimeParts {
    const Clock* clock = nullptr;
    RandomSource* random = nullptr;  // also the source of a sign-in's secrets
    Pop3Client* pop3 = nullptr;
    SmtpClient* smtp = nullptr;
    HttpClient* http = nullptr;
};

// Opens the settings store of the application directory (read-only: a command that only
// reads works on a full disk and in a read-only directory). A new installation gets the
// default texts of "Default List" once the store exists. Raises Failure when either fails.
std::unique_ptr<SettingsStore> OpenInstallation(const AppPaths& paths, bool readOnly = false);

class Runtime {
public:
    // paths, store, observer and console must outlive the runtime. Raises Failure when a lock
    // file cannot be opened.
    Runtime(const AppPaths& paths, SettingsStore& store, ScanObserver& observer, Console& console,
            const RuntimeParts& parts = {});
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    Services& services() { return services_; }
    OAuthTokens& tokens() { return tokens_; }
    // The HTTP client of the token refreshes, the sign-ins and the update check.
    HttpClient& http() { return http_; }
    // Keeps scans and postings of every thread and process apart.
    SessionLock& sessionLock() { return sessionLock_; }

    // SignInMailbox with this runtime's HTTP client and a random source an attacker cannot
    // guess. The tokens are stored under locks of the sign-in's own: the window runs it on a
    // thread of its own, and file locks exclude per open file, so it and the worker's
    // refreshes keep each other out as two processes would. Raises as SignInMailbox does.
    ActionResult SignIn(const MailboxAccount& mailbox, const SignInRequest& request,
                        const SignInHooks& hooks);

private:
    RandomSource& SecretRandom();

    RuntimeParts parts_;
    TPop3Client pop3_;
    TSmtpClient smtp_;
    SystemClock clock_;
    std::unique_ptr<SystemRandom> random_;  // only when no stand-in is given
    CryptoRandom crypto_;
    CurlHttpClient curl_;
    HttpClient& http_;
    StoreLock storeLock_;
    SessionLock sessionLock_;
    OAuthTokens tokens_;
    Services services_;
};

}  // namespace corvanteer
