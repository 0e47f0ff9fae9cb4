#include "oauth/OAuthStore.h"

#include "support/Text.h"

namespace corvanteer {

namespace {

int64_t ReadSeconds(const SettingsStore& store, const std::string& key, const char* name) {
    const std::string text = store.ReadRegString(key, name, "0");
    try {
        return std::stoll(text);
    } catch (const std::exception&) {
        return 0;
    }
}

// Quoted for a POSIX shell when it holds anything but plain characters.
std::string ShellWord(const std::string& word) {
    if (!word.empty() &&
        word.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                               "/._-+=:@%,") == std::string::npos) {
        return word;
    }
    return "'" + ReplaceAll(word, "'", "'\\''") + "'";
}

}  // namespace

OAuthAccount AccountNamed(const AppPaths& paths, std::string_view name) {
    if (SameText(name, kSmtpAccount)) {
        return {kSmtpAccount, paths.SettingsKey() + "\\OAuth\\SMTP"};
    }
    if (SameText(name, kListServerAccount)) {
        return {kListServerAccount, paths.SettingsKey() + "\\OAuth\\ListServer"};
    }
    return {std::string(name), paths.ListKey(name) + "\\OAuth"};
}

StoredTokens ReadTokens(const SettingsStore& store, const OAuthAccount& account) {
    StoredTokens tokens;
    tokens.user = store.ReadRegString(account.key, "User", "");
    tokens.refreshToken = UnscramblePassword(store.ReadRegString(account.key, "RefreshToken", ""));
    tokens.accessToken = UnscramblePassword(store.ReadRegString(account.key, "AccessToken", ""));
    tokens.expires = ReadSeconds(store, account.key, "AccessTokenExpires");
    tokens.signedIn = ReadSeconds(store, account.key, "SignedIn");
    tokens.refused = ReadSeconds(store, account.key, "RefusedAt");
    return tokens;
}

void WriteTokens(SettingsStore& store, const OAuthAccount& account, const StoredTokens& tokens) {
    store.WriteRegString(account.key, "User", tokens.user);
    store.WriteRegString(account.key, "RefreshToken", ScramblePassword(tokens.refreshToken));
    store.WriteRegString(account.key, "AccessToken", ScramblePassword(tokens.accessToken));
    store.WriteRegString(account.key, "AccessTokenExpires", std::to_string(tokens.expires));
    store.WriteRegString(account.key, "SignedIn", std::to_string(tokens.signedIn));
    store.WriteRegString(account.key, "RefusedAt", std::to_string(tokens.refused));
}

bool ForgetTokens(SettingsStore& store, const OAuthAccount& account) {
    return store.DeleteKey(account.key);
}

std::string SignInCommand(const AppPaths& paths, std::string_view account) {
    std::string command = "corvanteer-cli";
    std::string dir = paths.appDir;
    std::string usual;
    try {
        usual = AppPaths::ResolveAppDir(std::nullopt);
    } catch (const std::exception&) {
        usual.clear();  // no default to compare with: name the folder
    }
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    while (usual.size() > 1 && usual.back() == '/') {
        usual.pop_back();
    }
    if (dir != usual) {
        command += " --home " + ShellWord(dir);
    }
    if (paths.testMode) {
        command += " --test";
    }
    return command + " oauth login " + ShellWord(std::string(account));
}

}  // namespace corvanteer
