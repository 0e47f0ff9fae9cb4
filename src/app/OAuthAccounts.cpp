#include "app/OAuthAccounts.h"

#include "app/ListOperations.h"
#include "oauth/OAuthProfile.h"
#include "support/SettingTables.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

LoginMethod MethodOf(const std::string& stored) {
    return ParseLoginMethod(stored).value_or(LoginMethod::Password);
}

MailboxAccount SmtpMailbox(Services& services, const GlobalSettings& globals) {
    return {AccountNamed(services.paths, kSmtpAccount), globals.SmtpUser,
            MethodOf(globals.SMTPAuth), "SMTPAuth", "SmtpUser"};
}

MailboxAccount ListServerMailbox(Services& services, const GlobalSettings& globals) {
    return {AccountNamed(services.paths, kListServerAccount), globals.ListServerUserID,
            MethodOf(globals.ListServerAuth), "ListServerAuth", "ListServerUserID"};
}

MailboxAccount ListMailbox(Services& services, const std::string& list) {
    const std::string key = services.paths.ListKey(list);
    const SettingReader read = ListScanReader(services.store, key);
    return {AccountNamed(services.paths, list), read.Text("Pop3User"),
            MethodOf(read.Text("Pop3Auth")), "Pop3Auth", "Pop3User"};
}

}  // namespace

std::optional<MailboxAccount> FindMailboxAccount(Services& services, std::string_view name) {
    if (SameText(name, kSmtpAccount)) {
        return SmtpMailbox(services, services.console.Globals());
    }
    if (SameText(name, kListServerAccount)) {
        return ListServerMailbox(services, services.console.Globals());
    }
    if (std::optional<std::string> list = ResolveList(services, name)) {
        return ListMailbox(services, *list);
    }
    return std::nullopt;
}

std::vector<MailboxAccount> MailboxAccounts(Services& services) {
    const GlobalSettings globals = services.console.Globals();
    std::vector<MailboxAccount> accounts = {SmtpMailbox(services, globals),
                                            ListServerMailbox(services, globals)};
    for (const std::string& list : services.console.ListNames()) {
        accounts.push_back(ListMailbox(services, list));
    }
    return accounts;
}

std::string AccountStatusLine(const MailboxAccount& mailbox, const StoredTokens& tokens,
                              int64_t now, const AppPaths& paths) {
    const bool oauth = mailbox.method == LoginMethod::OAuth2;
    std::string line = mailbox.account.name + ": " + LoginMethodName(mailbox.method);
    if (!oauth && !tokens.SignedIn()) {
        return line;
    }
    line += ", " + (mailbox.user.empty() ? std::string("no user name") : mailbox.user) + ": ";
    const std::string command = SignInCommand(paths, mailbox.account.name);
    if (!tokens.SignedIn()) {
        if (tokens.refused != 0) {
            return line + "sign-in refused by the provider on " + UtcText(tokens.refused) +
                   "; sign in again with: " + command;
        }
        return line + "not signed in; sign in with: " + command;
    }
    line += "signed in";
    if (!SameText(Trim(tokens.user), Trim(mailbox.user))) {
        line += " as " + tokens.user + ", not as the user name; sign in again with: " + command;
        return line;
    }
    if (tokens.expires > now) {
        line += ", access token valid until " + UtcText(tokens.expires);
    } else {
        line += ", access token expired on " + UtcText(tokens.expires);
    }
    line += tokens.refreshToken.empty() ? ", no refresh token" : ", refreshed when needed";
    if (!oauth) {
        line += " (not used: " + mailbox.methodSetting + " is password)";
    }
    return line;
}

ActionResult SignInMailbox(const MailboxAccount& mailbox, const SignInRequest& request,
                           Services& services, OAuthTokens& tokens, HttpClient& http,
                           RandomSource& random, const SignInHooks& hooks) {
    if (Trim(mailbox.user).empty()) {
        return ActionResult::Refused("The user name of " + mailbox.account.name +
                                     " is empty: set " + mailbox.userSetting +
                                     " to the mailbox's address first.");
    }
    std::string problem;
    const std::optional<OAuthProfile> profile =
        MakeOAuthProfile(ReadOAuthSettings(services.store, services.paths.SettingsKey()), problem);
    if (!profile) {
        return ActionResult::Refused(problem);
    }
    const bool device = !profile->deviceUrl.empty() && !request.browser;
    if (!device && profile->authorizeUrl.empty()) {
        return ActionResult::Refused("The OAuth provider offers no sign-in in a browser.");
    }
    OAuthServer server(*profile, http);
    const GrantResult result = device
                                   ? SignInWithDevice(server, hooks, services.clock, mailbox.user)
                                   : SignInWithBrowser(server, hooks, random, mailbox.user);
    if (!result.ok()) {
        return ActionResult::Refused(result.error);
    }
    tokens.SaveSignIn(mailbox.account, mailbox.user, result.tokens);
    const StoredTokens stored = tokens.Read(mailbox.account);
    std::string text = "Signed in: " + mailbox.account.name + " (" + mailbox.user +
                       "); the access token is valid until " + UtcText(stored.expires) + ".";
    if (result.tokens.refreshToken.empty()) {
        text += " The provider gave no refresh token: sign in again after that.";
    }
    if (mailbox.method != LoginMethod::OAuth2) {
        text += " " + mailbox.methodSetting + " is password: set it to oauth2 to log in with it.";
    }
    return ActionResult::Done(text);
}

}  // namespace corvanteer
