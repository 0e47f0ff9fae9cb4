#include "support/SettingTables.h"

#include <cstdint>

#include "support/ConnectionSecurity.h"
#include "support/LoginMethod.h"
#include "support/SettingDescriptions.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr const char* kAppDirMarker = "{appDir}";
constexpr const char* kShownSubject = "ListServer Response";
constexpr const char* kScanSubject = "List Server Response";
// The largest recipient limit that can be set: far beyond any provider's.
constexpr int32_t kMaxRecipientCount = 10000000;

SettingDef Def(const char* name, SettingType type, std::string shown,
               std::optional<std::string> scan, const char* caption,
               std::optional<int32_t> min = std::nullopt,
               std::optional<int32_t> max = std::nullopt) {
    return SettingDef{name,    type, std::move(shown), std::move(scan), min, max, caption,
                      nullptr, ""};
}

std::optional<std::string> CheckSecurity(std::string_view text) {
    auto security = ParseSecurity(text);
    if (!security) {
        return std::nullopt;
    }
    return std::string(SecurityName(*security));
}

// Kept as typed (with or without colons, any case); empty means no pin.
std::optional<std::string> CheckFingerprint(std::string_view text) {
    const std::string kept = Trim(text);
    if (!kept.empty() && !ParseFingerprint(kept)) {
        return std::nullopt;
    }
    return kept;
}

// The security mode of one kind of server; the same for the global and the per-list table.
SettingDef SecurityDef(const char* name, const char* caption) {
    SettingDef def = Def(name, SettingType::String, "auto", std::string("auto"), caption);
    def.check = CheckSecurity;
    def.form = "auto, tls, starttls or none";
    return def;
}

SettingDef FingerprintDef(const char* name, const char* caption) {
    SettingDef def = Def(name, SettingType::String, "", std::string(), caption);
    def.check = CheckFingerprint;
    def.form = "empty or a SHA-256 fingerprint of 64 hex digits, colons allowed";
    return def;
}

std::optional<std::string> CheckLoginMethod(std::string_view text) {
    auto method = ParseLoginMethod(text);
    if (!method) {
        return std::nullopt;
    }
    return std::string(LoginMethodName(*method));
}

// The login method of one kind of server; the same for the global and the per-list table.
SettingDef LoginMethodDef(const char* name, const char* caption) {
    SettingDef def = Def(name, SettingType::String, "password", std::string("password"), caption);
    def.check = CheckLoginMethod;
    def.form = "password or oauth2";
    return def;
}

std::optional<std::string> CheckProvider(std::string_view text) {
    const std::string word = LowerCase(Trim(text));
    if (word == "microsoft" || word == "google" || word == "custom") {
        return word;
    }
    return std::nullopt;
}

// Goes into the endpoint addresses as a path segment: a name or an id, nothing that would
// change the address.
std::optional<std::string> CheckTenant(std::string_view text) {
    const std::string kept = Trim(text);
    if (kept.empty() || kept.find_first_not_of(
                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") !=
                            std::string::npos) {
        return std::nullopt;
    }
    return kept;
}

// Tokens travel only over HTTPS, so an endpoint is an https address or nothing.
std::optional<std::string> CheckEndpoint(std::string_view text) {
    const std::string kept = Trim(text);
    if (kept.empty()) {
        return kept;
    }
    if (!StartsWithText(kept, "https://") || kept.size() <= 8) {
        return std::nullopt;
    }
    for (char c : kept) {
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) {
            return std::nullopt;
        }
    }
    return kept;
}

SettingDef Checked(const char* name, const char* value, const char* caption, TextCheck check,
                   const char* form) {
    SettingDef def = Def(name, SettingType::String, value, std::string(value), caption);
    def.check = check;
    def.form = form;
    return def;
}

// Global values are read the same way everywhere, so the scan default is the shown one.
SettingDef Global(const char* name, SettingType type, const char* value, const char* caption,
                  std::optional<int32_t> min = std::nullopt,
                  std::optional<int32_t> max = std::nullopt) {
    return Def(name, type, value, std::string(value), caption, min, max);
}

std::vector<SettingDef> MakeGlobalTable() {
    using T = SettingType;
    return {
        Global("ListServerAddress", T::String, "", "List Server address"),
        Global("ListServerHost", T::String, "", "List Server POP3 host"),
        Global("ListServerUserID", T::String, "", "List Server POP3 user name"),
        Global("ListServerPassword", T::Password, "", "List Server POP3 password"),
        Global("ListServerPort", T::Integer, "110", "List Server POP3 port"),
        SecurityDef("ListServerSecurity", "List Server POP3 security: auto, tls, starttls, none"),
        FingerprintDef("ListServerTlsFingerprint",
                       "List Server POP3 certificate pinned by its SHA-256 fingerprint"),
        Global("SMTPHost", T::String, "", "SMTP (outgoing) host"),
        Global("SMTPPort", T::Integer, "25", "SMTP (outgoing) port"),
        SecurityDef("SMTPSecurity", "SMTP (outgoing) security: auto, tls, starttls, none"),
        FingerprintDef("SMTPTlsFingerprint",
                       "SMTP (outgoing) certificate pinned by its SHA-256 fingerprint"),
        Global("ReqSmtpAuth", T::Boolean, "0", "Authentication required"),
        Global("SmtpUser", T::String, "", "SMTP user name"),
        Global("SmtpPassword", T::Password, "", "SMTP password"),
        Global("TlsCAFile", T::String, "", "PEM file of CAs trusted besides the system's"),
        LoginMethodDef("ListServerAuth", "List Server POP3 login: password or oauth2"),
        LoginMethodDef("SMTPAuth", "SMTP (outgoing) login: password or oauth2"),
        Checked("OAuthProvider", "microsoft", "OAuth 2.0 provider: microsoft, google or custom",
                CheckProvider, "microsoft, google or custom"),
        Global("OAuthClientId", T::String, "", "OAuth 2.0 client id of your app registration"),
        Global("OAuthClientSecret", T::Password, "",
               "OAuth 2.0 client secret (Google installed apps; empty for public clients)"),
        Checked("OAuthTenant", "common",
                "Microsoft tenant: common, organizations, consumers or "
                "your tenant's id or domain",
                CheckTenant, "a tenant name or id"),
        Checked("OAuthAuthorizeUrl", "", "custom provider: authorization endpoint (https)",
                CheckEndpoint, "empty or an https:// address"),
        Checked("OAuthTokenUrl", "", "custom provider: token endpoint (https)", CheckEndpoint,
                "empty or an https:// address"),
        Checked("OAuthDeviceUrl", "", "custom provider: device authorization endpoint (https)",
                CheckEndpoint, "empty or an https:// address"),
        Global("OAuthScopes", T::String, "", "custom provider: scopes, separated by blanks"),
        Global("SessionInterval", T::Integer, "0", "Poll interval (mins); 0 = polling disabled", 0,
               9999),
        Global("SmtpMaxAttempts", T::Integer, "2", "Max attempts for outgoing msgs; 0 = no limit",
               0, 9999),
        Global("MaxRecipientsPerMessage", T::Integer, "100",
               "Max recipients per message (Bcc postings go out in parts); 0 = no limit", 0,
               kMaxRecipientCount),
        Global("MaxRecipientsPerHour", T::Integer, "0",
               "Max recipients sent per hour (sliding); 0 = no limit", 0, kMaxRecipientCount),
        Global("MaxRecipientsPerDay", T::Integer, "0",
               "Max recipients sent per day (sliding); 0 = no limit", 0, kMaxRecipientCount),
        Global("MaxMessageSize", T::Integer, "67108864",
               "Largest message downloaded (bytes); 0 = no limit", 0, INT32_MAX),
        Global("TimerON", T::Boolean, "0", "Auto-scan ON at startup"),
        Global("Minimized", T::Boolean, "0", "Start minimized"),
        Global("Launch", T::Boolean, "0", "Launch at startup"),
        Global("BackupDir", T::String, "{appDir}Backup", "Backup directory"),
        Global("Top", T::Integer, "100", "Main window's top edge"),
        Global("Left", T::Integer, "200", "Main window's left edge"),
        Global("LastList", T::Integer, "0", "Index of the selected list"),
    };
}

std::vector<SettingDef> MakeListTable() {
    using T = SettingType;
    auto same = [](const char* name, SettingType type, const char* value, const char* caption,
                   std::optional<int32_t> min = std::nullopt,
                   std::optional<int32_t> max = std::nullopt) {
        return Def(name, type, value, std::string(value), caption, min, max);
    };
    auto subject = [](const char* name, const char* caption) {
        return Def(name, T::String, kShownSubject, std::string(kScanSubject), caption);
    };
    return {
        same("AllowUserSubscribe", T::Boolean, "1", "Allow user subscribe/unsubscribe"),
        same("VerifySubscribe", T::Boolean, "1", "Require verification within ... days"),
        same("VerifyDays", T::Integer, "7", "Days a verification stays pending", 1, 60),
        same("ModerateList", T::Boolean, "0", "Moderate List"),
        same("RequirePassword", T::Boolean, "0", "Require password"),
        same("ForwardErrorMsgs", T::Boolean, "0", "Fwd unauthorized/error msgs to"),
        same("HideSenderEmail", T::Boolean, "1", "Change sender email address to"),
        same("AllowPostBy", T::Integer, "0", "Permissions: 0 moderators only, 1 members, 2 anybody",
             0, 2),
        same("PostingMethod", T::Integer, "0", "Posting method: 0 Bcc, 1 individually", 0, 1),
        same("Moderators", T::String, "", "Moderator addresses, one per line"),
        Def("ListTo", T::String, kListToPlaceholder, std::string(), "To (Bcc postings)"),
        same("ListPostingAddress", T::String, "", "List posting address"),
        same("ErrorsTo", T::String, "", "Recipient of unauthorized/error msgs"),
        Def("ChangeSenderEmailTo", T::String, kChangeSenderPlaceholder, std::string(),
            "Address put in place of the sender's"),
        subject("VerifySubject", "Subject of the verification request"),
        subject("VerifyErrSubject", "Subject of the verification-error reply"),
        subject("AlreadyAMemberSubject", "Subject of the already-a-member reply"),
        subject("NotMemberSubject", "Subject of the not-a-member reply"),
        subject("SubscribeConfirmSubject", "Subject of the subscription confirmation"),
        subject("UnSubscribeConfirmSubject", "Subject of the unsubscription confirmation"),
        subject("PasswordNotifySubject", "Subject of the password notice"),
        subject("HelpSubject", "Subject of the help reply"),
        same("Pop3Host", T::String, "", "List POP3 host"),
        same("Pop3User", T::String, "", "List POP3 user"),
        same("Pop3Password", T::Password, "", "List POP3 password"),
        same("Pop3Port", T::Integer, "110", "List POP3 port"),
        SecurityDef("Pop3Security", "List POP3 security: auto, tls, starttls, none"),
        FingerprintDef("Pop3TlsFingerprint",
                       "List POP3 certificate pinned by its SHA-256 fingerprint"),
        LoginMethodDef("Pop3Auth", "List POP3 login: password or oauth2"),
        same("ListHeaders", T::Boolean, "1",
             "Add list headers (List-Id, List-Post, List-Help, ...) to postings"),
    };
}

std::string ExpandDefault(const std::string& text, std::string_view appDir) {
    return ReplaceAll(text, kAppDirMarker, appDir);
}

std::optional<bool> ParseBoolean(std::string_view text) {
    const std::string word = LowerCase(Trim(text));
    if (word == "1" || word == "true" || word == "on") {
        return true;
    }
    if (word == "0" || word == "false" || word == "off") {
        return false;
    }
    return std::nullopt;
}

std::vector<SettingDef> Described(
    std::vector<SettingDef> table,
    const std::vector<std::pair<std::string_view, std::string_view>>& descriptions) {
    for (SettingDef& def : table) {
        for (const auto& [name, text] : descriptions) {
            if (def.description.empty() && name == def.name) {
                def.description = text;
            }
        }
    }
    return table;
}

}  // namespace

const std::vector<SettingDef>& GlobalSettingTable() {
    static const std::vector<SettingDef> table =
        Described(MakeGlobalTable(), GlobalSettingDescriptions());
    return table;
}

const std::vector<SettingDef>& ListSettingTable() {
    static const std::vector<SettingDef> table =
        Described(MakeListTable(), ListSettingDescriptions());
    return table;
}

const SettingDef* FindSetting(const std::vector<SettingDef>& table, std::string_view name) {
    for (const SettingDef& def : table) {
        if (SameText(def.name, name)) {
            return &def;
        }
    }
    return nullptr;
}

const SettingDef& FindSettingOrFail(const std::vector<SettingDef>& table, std::string_view name) {
    const SettingDef* def = FindSetting(table, name);
    if (def == nullptr) {
        throw Failure(ErrorKind::Refused, "Unknown setting \"" + std::string(name) + "\"");
    }
    return *def;
}

SettingReader::SettingReader(const SettingsStore& store, std::string_view key,
                             const std::vector<SettingDef>& table, bool scan,
                             std::string_view appDir)
    : store_(store), key_(key), table_(table), scan_(scan), appDir_(appDir) {}

std::string SettingReader::Text(std::string_view name) const {
    const SettingDef& def = FindSettingOrFail(table_, name);
    if (def.type == SettingType::Password) {
        // Scrambling is its own inverse, so the plain default comes back out.
        return UnscramblePassword(
            store_.ReadRegString(key_, def.name, ScramblePassword(Default(def))));
    }
    return store_.ReadRegString(key_, def.name, Default(def));
}

int32_t SettingReader::Integer(std::string_view name) const {
    const SettingDef& def = FindSettingOrFail(table_, name);
    return store_.ReadRegInteger(key_, def.name, StrToIntDef(Default(def), 0));
}

bool SettingReader::Boolean(std::string_view name) const {
    const SettingDef& def = FindSettingOrFail(table_, name);
    return store_.ReadRegBool(key_, def.name, StrToIntDef(Default(def), 0) != 0);
}

std::string SettingReader::Default(const SettingDef& def) const {
    const std::string& text = scan_ && def.scanDefault ? *def.scanDefault : def.shownDefault;
    return ExpandDefault(text, appDir_);
}

SettingReader ListScanReader(const SettingsStore& store, std::string_view listKey) {
    return SettingReader(store, listKey, ListSettingTable(), /*scan=*/true);
}

std::string ReadSettingText(const SettingsStore& store, std::string_view key, const SettingDef& def,
                            std::string_view appDir) {
    const std::string fallback = ExpandDefault(def.shownDefault, appDir);
    switch (def.type) {
        case SettingType::String:
            return store.ReadRegString(key, def.name, fallback);
        case SettingType::Password:
            return UnscramblePassword(
                store.ReadRegString(key, def.name, ScramblePassword(fallback)));
        case SettingType::Integer:
            return std::to_string(store.ReadRegInteger(key, def.name, StrToIntDef(fallback, 0)));
        case SettingType::Boolean:
            return store.ReadRegBool(key, def.name, StrToIntDef(fallback, 0) != 0) ? "1" : "0";
    }
    return fallback;
}

void WriteSettingText(SettingsStore& store, std::string_view key, const SettingDef& def,
                      std::string_view text) {
    switch (def.type) {
        case SettingType::String: {
            if (def.check == nullptr) {
                store.WriteRegString(key, def.name, text);
                return;
            }
            auto checked = def.check(text);
            if (!checked) {
                throw Failure(ErrorKind::Refused, def.name + " must be " + def.form + " (not \"" +
                                                      std::string(text) + "\")");
            }
            store.WriteRegString(key, def.name, *checked);
            return;
        }
        case SettingType::Password:
            store.WriteRegString(key, def.name, ScramblePassword(text));
            return;
        case SettingType::Boolean: {
            auto flag = ParseBoolean(text);
            if (!flag) {
                throw Failure(ErrorKind::Refused,
                              def.name + " must be one of 1, 0, true, false, on, off (not \"" +
                                  std::string(text) + "\")");
            }
            store.WriteRegBool(key, def.name, *flag);
            return;
        }
        case SettingType::Integer: {
            int number = 0;
            if (!TryParseInt(text, number)) {
                throw Failure(ErrorKind::Refused, def.name + " must be a whole number (not \"" +
                                                      std::string(text) + "\")");
            }
            if ((def.min && number < *def.min) || (def.max && number > *def.max)) {
                const std::string low = def.min ? std::to_string(*def.min) : "-2147483648";
                const std::string high = def.max ? std::to_string(*def.max) : "2147483647";
                throw Failure(ErrorKind::Refused, def.name + " must lie between " + low + " and " +
                                                      high + " (not " + std::to_string(number) +
                                                      ")");
            }
            store.WriteRegInteger(key, def.name, number);
            return;
        }
    }
}

ListSettings LoadListSettings(SettingsStore& store, std::string_view listKey) {
    store.CreateKey(listKey);
    const SettingReader read = ListScanReader(store, listKey);
    ListSettings s;
    s.AllowUserSubscribe = read.Boolean("AllowUserSubscribe");
    s.VerifySubscribe = read.Boolean("VerifySubscribe");
    s.VerifyDays = read.Integer("VerifyDays");
    s.ModerateList = read.Boolean("ModerateList");
    s.RequirePassword = read.Boolean("RequirePassword");
    s.ForwardErrorMsgs = read.Boolean("ForwardErrorMsgs");
    s.HideSenderEmail = read.Boolean("HideSenderEmail");
    s.AllowPostBy = read.Integer("AllowPostBy");
    s.PostingMethod = read.Integer("PostingMethod");
    s.Moderators = read.Text("Moderators");
    s.ListTo = read.Text("ListTo");
    s.ListPostingAddress = read.Text("ListPostingAddress");
    s.ErrorsTo = read.Text("ErrorsTo");
    s.ChangeSenderEmailTo = read.Text("ChangeSenderEmailTo");
    s.VerifySubject = read.Text("VerifySubject");
    s.VerifyErrSubject = read.Text("VerifyErrSubject");
    s.AlreadyAMemberSubject = read.Text("AlreadyAMemberSubject");
    s.NotMemberSubject = read.Text("NotMemberSubject");
    s.SubscribeConfirmSubject = read.Text("SubscribeConfirmSubject");
    s.UnSubscribeConfirmSubject = read.Text("UnSubscribeConfirmSubject");
    s.PasswordNotifySubject = read.Text("PasswordNotifySubject");
    s.Pop3Host = read.Text("Pop3Host");
    s.Pop3User = read.Text("Pop3User");
    s.Pop3Password = read.Text("Pop3Password");
    s.Pop3Port = read.Integer("Pop3Port");
    s.Pop3Security = read.Text("Pop3Security");
    s.Pop3TlsFingerprint = read.Text("Pop3TlsFingerprint");
    s.Pop3Auth = read.Text("Pop3Auth");
    s.ListHeaders = read.Boolean("ListHeaders");
    return s;
}

GlobalSettings LoadGlobalSettings(const SettingsStore& store, std::string_view settingsKey,
                                  std::string_view appDir) {
    const SettingReader read(store, settingsKey, GlobalSettingTable(), /*scan=*/false, appDir);
    GlobalSettings g;
    g.ListServerAddress = read.Text("ListServerAddress");
    g.ListServerHost = read.Text("ListServerHost");
    g.ListServerUserID = read.Text("ListServerUserID");
    g.ListServerPassword = read.Text("ListServerPassword");
    g.ListServerPort = read.Integer("ListServerPort");
    g.ListServerSecurity = read.Text("ListServerSecurity");
    g.ListServerTlsFingerprint = read.Text("ListServerTlsFingerprint");
    g.SMTPHost = read.Text("SMTPHost");
    g.SMTPPort = read.Integer("SMTPPort");
    g.SMTPSecurity = read.Text("SMTPSecurity");
    g.SMTPTlsFingerprint = read.Text("SMTPTlsFingerprint");
    g.ReqSmtpAuth = read.Boolean("ReqSmtpAuth");
    g.SmtpUser = read.Text("SmtpUser");
    g.SmtpPassword = read.Text("SmtpPassword");
    g.TlsCAFile = read.Text("TlsCAFile");
    g.ListServerAuth = read.Text("ListServerAuth");
    g.SMTPAuth = read.Text("SMTPAuth");
    g.SessionInterval = read.Integer("SessionInterval");
    g.SmtpMaxAttempts = read.Integer("SmtpMaxAttempts");
    g.MaxRecipientsPerMessage = read.Integer("MaxRecipientsPerMessage");
    g.MaxRecipientsPerHour = read.Integer("MaxRecipientsPerHour");
    g.MaxRecipientsPerDay = read.Integer("MaxRecipientsPerDay");
    g.MaxMessageSize = read.Integer("MaxMessageSize");
    g.TimerON = read.Boolean("TimerON");
    g.Minimized = read.Boolean("Minimized");
    g.Launch = read.Boolean("Launch");
    g.BackupDir = read.Text("BackupDir");
    g.Top = read.Integer("Top");
    g.Left = read.Integer("Left");
    g.LastList = read.Integer("LastList");
    return g;
}

}  // namespace corvanteer
