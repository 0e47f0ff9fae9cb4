#include "app/Runtime.h"

#include "app/FirstRun.h"

namespace corvanteer {

std::unique_ptr<SettingsStore> OpenInstallation(const AppPaths& paths, bool readOnly) {
    // Asked first: opening the store creates it.
    const bool newInstallation = IsNewInstallation(paths);
    std::unique_ptr<SettingsStore> store =
        readOnly ? SettingsStore::OpenReadOnly(paths.SettingsDatabase())
                 : SettingsStore::Open(paths.SettingsDatabase());
    if (newInstallation) {
        WriteDefaultListTexts(paths);
    }
    return store;
}

Runtime::Runtime(const AppPaths& paths, SettingsStore& store, ScanObserver& observer,
                 Console& console, const RuntimeParts& parts)
    : parts_(parts),
      random_(parts.random != nullptr ? nullptr : std::make_unique<SystemRandom>()),
      http_(parts.http != nullptr ? *parts.http : curl_),
      storeLock_(paths.StoreLockFile()),
      sessionLock_(paths.SessionLockFile()),
      tokens_(store, paths, storeLock_, http_, parts.clock != nullptr ? *parts.clock : clock_),
      services_{paths,
                store,
                parts.pop3 != nullptr ? *parts.pop3 : pop3_,
                parts.smtp != nullptr ? *parts.smtp : smtp_,
                parts.clock != nullptr ? *parts.clock : clock_,
                parts.random != nullptr ? *parts.random : *random_,
                observer,
                storeLock_,
                console} {
    services_.pop3.Tokens = &tokens_;
    services_.smtp.Tokens = &tokens_;
}

RandomSource& Runtime::SecretRandom() {
    return parts_.random != nullptr ? *parts_.random : static_cast<RandomSource&>(crypto_);
}

ActionResult Runtime::SignIn(const MailboxAccount& mailbox, const SignInRequest& request,
                             const SignInHooks& hooks) {
    StoreLock storeLock(services_.paths.StoreLockFile());
    OAuthTokens tokens(services_.store, services_.paths, storeLock, http_, services_.clock);
    return SignInMailbox(mailbox, request, services_, tokens, http_, SecretRandom(), hooks);
}

}  // namespace corvanteer
