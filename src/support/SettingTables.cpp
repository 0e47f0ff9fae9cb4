#include "support/SettingTables.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdint>

#include "support/Address.h"
#include "support/ConnectionSecurity.h"
#include "support/Files.h"
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
// The largest digest size that can be set, in KB: far beyond what mail servers take.
constexpr int32_t kMaxDigestKB = 1000000;

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

// An archive's address goes into header lines and links: empty, or an http(s) address
// without blanks, quotes or angle brackets.
std::optional<std::string> CheckWebAddress(std::string_view text) {
    const std::string kept = Trim(text);
    if (kept.empty()) {
        return kept;
    }
    if (!(StartsWithText(kept, "http://") || StartsWithText(kept, "https://")) ||
        kept.size() <= 8) {
        return std::nullopt;
    }
    for (unsigned char c : kept) {
        if (c <= ' ' || c == 0x7F || c == '<' || c == '>' || c == '"') {
            return std::nullopt;
        }
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

constexpr int32_t kLowestPort = 1;
constexpr int32_t kHighestPort = 65535;

// A host as the clients take it: a name of letters, digits, hyphens and dots (labels of 1 to
// 63 characters, 253 in all), or an IPv4 or IPv6 address; empty: not set.
std::optional<std::string> CheckHost(std::string_view text) {
    const std::string kept = Trim(text);
    if (kept.empty()) {
        return kept;
    }
    std::string literal = kept;
    if (literal.size() > 2 && literal.front() == '[' && literal.back() == ']') {
        literal = literal.substr(1, literal.size() - 2);
    }
    in6_addr address{};
    if (literal.find(':') != std::string::npos) {
        return inet_pton(AF_INET6, literal.c_str(), &address) == 1 ? std::optional(kept)
                                                                   : std::nullopt;
    }
    std::string name = kept;
    if (name.back() == '.') {
        name.pop_back();  // the root's dot
    }
    if (name.empty() || name.size() > 253) {
        return std::nullopt;
    }
    for (const std::string& label : SplitString(name, ".").parts) {
        if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-' ||
            label.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                    "0123456789-") != std::string::npos) {
            return std::nullopt;
        }
    }
    return kept;
}

// An address the list sends from or to, through the member address gate, with one "@"
// ("news@@example.org" passes the gate, which leaves quoted local parts alone, but is no
// address anyone configures); empty: not set.
std::optional<std::string> CheckAddress(std::string_view text) {
    const std::string kept = Trim(text);
    if (!kept.empty() && (!IsUsableMemberAddress(kept) || kept.find('@') != kept.rfind('@'))) {
        return std::nullopt;
    }
    return kept;
}

// A file that exists and can be read now; empty: none.
std::optional<std::string> CheckReadableFile(std::string_view text) {
    const std::string kept = Trim(text);
    if (!kept.empty() && (!FileExists(kept) || ::access(kept.c_str(), R_OK) != 0)) {
        return std::nullopt;
    }
    return kept;
}

// A calendar day as yyyy-mm-dd, or empty.
std::optional<std::string> CheckDay(std::string_view text) {
    const std::string kept = Trim(text);
    if (kept.empty()) {
        return kept;
    }
    if (kept.size() != 10 || kept[4] != '-' || kept[7] != '-') {
        return std::nullopt;
    }
    for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (kept[i] < '0' || kept[i] > '9') {
            return std::nullopt;
        }
    }
    const int month = StrToIntDef(kept.substr(5, 2), 0);
    const int day = StrToIntDef(kept.substr(8, 2), 0);
    if (month < 1 || month > 12 || day < 1 || day > 31) {
        return std::nullopt;
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

SettingDef HostDef(SettingDef def) {
    def.check = CheckHost;
    def.form = "a host name (letters, digits, hyphens, dots) or an IP address";
    return def;
}

SettingDef AddressDef(SettingDef def) {
    def.check = CheckAddress;
    def.form = "empty or one email address (name@example.org)";
    return def;
}

SettingDef MultiLine(SettingDef def) {
    def.multiLine = true;
    return def;
}

SettingDef PortDef(SettingDef def) {
    def.min = kLowestPort;
    def.max = kHighestPort;
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
        AddressDef(Global("ListServerAddress", T::String, "", "List Server address")),
        HostDef(Global("ListServerHost", T::String, "", "List Server POP3 host")),
        Global("ListServerUserID", T::String, "", "List Server POP3 user name"),
        Global("ListServerPassword", T::Password, "", "List Server POP3 password"),
        PortDef(Global("ListServerPort", T::Integer, "110", "List Server POP3 port")),
        SecurityDef("ListServerSecurity", "List Server POP3 security: auto, tls, starttls, none"),
        FingerprintDef("ListServerTlsFingerprint",
                       "List Server POP3 certificate pinned by its SHA-256 fingerprint"),
        HostDef(Global("SMTPHost", T::String, "", "SMTP (outgoing) host")),
        PortDef(Global("SMTPPort", T::Integer, "25", "SMTP (outgoing) port")),
        SecurityDef("SMTPSecurity", "SMTP (outgoing) security: auto, tls, starttls, none"),
        FingerprintDef("SMTPTlsFingerprint",
                       "SMTP (outgoing) certificate pinned by its SHA-256 fingerprint"),
        Global("ReqSmtpAuth", T::Boolean, "0", "Authentication required"),
        Global("SmtpUser", T::String, "", "SMTP user name"),
        Global("SmtpPassword", T::Password, "", "SMTP password"),
        Checked("TlsCAFile", "", "PEM file of CAs trusted besides the system's", CheckReadableFile,
                "empty or a file that exists and can be read"),
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
        MultiLine(same("Moderators", T::String, "", "Moderator addresses, one per line")),
        Def("ListTo", T::String, kListToPlaceholder, std::string(), "To (Bcc postings)"),
        AddressDef(same("ListPostingAddress", T::String, "", "List posting address")),
        AddressDef(same("ErrorsTo", T::String, "", "Recipient of unauthorized/error msgs")),
        AddressDef(same("ChangeSenderEmailTo", T::String, "",
                        "Address put in place of the sender's; empty: the list posting address")),
        subject("VerifySubject", "Subject of the verification request"),
        subject("VerifyErrSubject", "Subject of the verification-error reply"),
        subject("AlreadyAMemberSubject", "Subject of the already-a-member reply"),
        subject("NotMemberSubject", "Subject of the not-a-member reply"),
        subject("SubscribeConfirmSubject", "Subject of the subscription confirmation"),
        subject("UnSubscribeConfirmSubject", "Subject of the unsubscription confirmation"),
        subject("PasswordNotifySubject", "Subject of the password notice"),
        subject("HelpSubject", "Subject of the help reply"),
        HostDef(same("Pop3Host", T::String, "", "List POP3 host")),
        same("Pop3User", T::String, "", "List POP3 user"),
        same("Pop3Password", T::Password, "", "List POP3 password"),
        PortDef(same("Pop3Port", T::Integer, "110", "List POP3 port")),
        SecurityDef("Pop3Security", "List POP3 security: auto, tls, starttls, none"),
        FingerprintDef("Pop3TlsFingerprint",
                       "List POP3 certificate pinned by its SHA-256 fingerprint"),
        LoginMethodDef("Pop3Auth", "List POP3 login: password or oauth2"),
        same("ListHeaders", T::Boolean, "1",
             "Add list headers (List-Id, List-Post, List-Help, ...) to postings"),
        same("HtmlArchive", T::Boolean, "0", "Build the HTML archive after each scan that posted"),
        same("HtmlArchiveShowAddresses", T::Boolean, "0",
             "Show e-mail addresses in the HTML archive (else hidden)"),
        [] {
            SettingDef def = Def("ArchiveBaseURL", SettingType::String, "", std::string(),
                                 "Web address of the published HTML archive (List-Archive and "
                                 "Archived-At on postings); empty: none");
            def.check = CheckWebAddress;
            def.form = "empty or an http:// or https:// address";
            return def;
        }(),
        subject("ModeChangedSubject", "Subject of the delivery-mode reply"),
        subject("WhichSubject", "Subject of the which reply (read from the Default List)"),
        subject("ListsSubject", "Subject of the lists reply (read from the Default List)"),
        same("DigestEnabled", T::Boolean, "1",
             "Offer digests (when off, digest members get each posting)"),
        same("DigestMaxKB", T::Integer, "30",
             "A digest goes out once its postings pass this many KB; 0 = daily only", 0,
             kMaxDigestKB),
        same("DigestHour", T::Integer, "6", "Hour of the daily digest (0-23)", 0, 23),
        same("DigestVolume", T::Integer, "1", "Volume of the digests (rises on 1 January)", 1,
             INT32_MAX),
        same("DigestIssue", T::Integer, "0",
             "Issue number of the last digest (the next is one more)", 0, INT32_MAX),
        Checked("DigestLastDate", "", "Day of the last digest (yyyy-mm-dd); empty: none yet",
                CheckDay, "empty or a day as yyyy-mm-dd"),
        same("BounceProcessing", T::Boolean, "1",
             "Score failed deliveries and disable members whose mail keeps failing"),
        same("BounceScoreThreshold", T::Integer, "5",
             "Bounce score that disables a member's delivery (hard 1.0, soft 0.5 a day)", 1, 1000),
        same("BounceInfoStaleAfter", T::Integer, "7",
             "Days after the last bounce when a score starts again from zero", 1, 365),
        same("BounceWarnInterval", T::Integer, "7", "Days between notices to a disabled member", 1,
             365),
        same("BounceWarnings", T::Integer, "3",
             "Notices to a disabled member before removal from the list", 1, 100),
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
    std::string text;
    if (def.type == SettingType::Password) {
        // Scrambling is its own inverse, so the plain default comes back out.
        text = UnscramblePassword(
            store_.ReadRegString(key_, def.name, ScramblePassword(Default(def))));
    } else {
        text = store_.ReadRegString(key_, def.name, Default(def));
    }
    // A CA file that cannot be read now is refused where it is loaded, with the connection
    // that needs it; left out here, the connection would go on without it.
    if (refused_ != nullptr && def.check != CheckReadableFile) {
        if (std::optional<std::string> refusal = SettingRefusal(def, text)) {
            Note(def, std::move(*refusal));
            return Default(def);
        }
    }
    return text;
}

int32_t SettingReader::Integer(std::string_view name) const {
    const SettingDef& def = FindSettingOrFail(table_, name);
    const int32_t fallback = StrToIntDef(Default(def), 0);
    const int32_t value = store_.ReadRegInteger(key_, def.name, fallback);
    // Of the numbers only a port goes to a server; the others keep the behaviour a value out
    // of range always had where it is used.
    const bool port = def.min == kLowestPort && def.max == kHighestPort;
    if (refused_ != nullptr && port) {
        if (std::optional<std::string> refusal = SettingRefusal(def, std::to_string(value))) {
            Note(def, std::move(*refusal));
            return fallback;
        }
    }
    return value;
}

void SettingReader::Note(const SettingDef& def, std::string message) const {
    refused_->push_back({def.name, OneLineText(message)});
}

namespace {

bool WasRefused(const std::vector<RefusedValue>& refused, std::string_view name) {
    for (const RefusedValue& value : refused) {
        if (SameText(value.name, name)) {
            return true;
        }
    }
    return false;
}

}  // namespace

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

std::optional<std::string> SettingRefusal(const SettingDef& def, std::string_view text) {
    const std::string quoted = "\"" + std::string(text) + "\"";
    switch (def.type) {
        case SettingType::String:
        case SettingType::Password: {
            const std::string_view breaks = def.multiLine ? "\r\n" : "";
            for (char c : text) {
                if ((static_cast<unsigned char>(c) < 0x20 || c == 0x7F) &&
                    breaks.find(c) == std::string_view::npos) {
                    return def.name + " must be " +
                           (def.multiLine ? "lines of text" : "one line of text") +
                           " without control characters (CR, LF, NUL, tab and the like)";
                }
            }
            if (def.check != nullptr && !def.check(text)) {
                return def.name + " must be " + def.form + " (not " + quoted + ")";
            }
            return std::nullopt;
        }
        case SettingType::Boolean:
            if (!ParseBoolean(text)) {
                return def.name + " must be one of 1, 0, true, false, on, off (not " + quoted + ")";
            }
            return std::nullopt;
        case SettingType::Integer: {
            int number = 0;
            if (!TryParseInt(text, number)) {
                return def.name + " must be a whole number (not " + quoted + ")";
            }
            if ((def.min && number < *def.min) || (def.max && number > *def.max)) {
                const std::string low = def.min ? std::to_string(*def.min) : "-2147483648";
                const std::string high = def.max ? std::to_string(*def.max) : "2147483647";
                return def.name + " must lie between " + low + " and " + high + " (not " +
                       std::to_string(number) + ")";
            }
            return std::nullopt;
        }
    }
    return std::nullopt;
}

void WriteSettingText(SettingsStore& store, std::string_view key, const SettingDef& def,
                      std::string_view text) {
    if (std::optional<std::string> refusal = SettingRefusal(def, text)) {
        throw Failure(ErrorKind::Refused, *refusal);
    }
    switch (def.type) {
        case SettingType::String:
            store.WriteRegString(key, def.name,
                                 def.check != nullptr ? *def.check(text) : std::string(text));
            return;
        case SettingType::Password:
            store.WriteRegString(key, def.name, ScramblePassword(text));
            return;
        case SettingType::Boolean:
            store.WriteRegBool(key, def.name, *ParseBoolean(text));
            return;
        case SettingType::Integer:
            store.WriteRegInteger(key, def.name, StrToIntDef(text, 0));
            return;
    }
}

ListSettings LoadListSettings(SettingsStore& store, std::string_view listKey) {
    store.CreateKey(listKey);
    SettingReader read = ListScanReader(store, listKey);
    ListSettings s;
    read.RefuseInto(s.refused);
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
    if (WasRefused(s.refused, "Pop3Port")) {
        s.Pop3Port = 0;
    }
    if (WasRefused(s.refused, "Pop3Password")) {
        s.Pop3User.clear();
    }
    s.HtmlArchive = read.Boolean("HtmlArchive");
    s.HtmlArchiveShowAddresses = read.Boolean("HtmlArchiveShowAddresses");
    s.ArchiveBaseURL = read.Text("ArchiveBaseURL");
    s.BounceProcessing = read.Boolean("BounceProcessing");
    s.BounceScoreThreshold = read.Integer("BounceScoreThreshold");
    s.BounceInfoStaleAfter = read.Integer("BounceInfoStaleAfter");
    s.BounceWarnInterval = read.Integer("BounceWarnInterval");
    s.BounceWarnings = read.Integer("BounceWarnings");
    return s;
}

GlobalSettings LoadGlobalSettings(const SettingsStore& store, std::string_view settingsKey,
                                  std::string_view appDir) {
    SettingReader read(store, settingsKey, GlobalSettingTable(), /*scan=*/false, appDir);
    GlobalSettings g;
    read.RefuseInto(g.refused);
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
    for (auto [port, value] :
         {std::pair{"ListServerPort", &g.ListServerPort}, std::pair{"SMTPPort", &g.SMTPPort}}) {
        if (WasRefused(g.refused, port)) {
            *value = 0;
        }
    }
    if (WasRefused(g.refused, "ListServerPassword")) {
        g.ListServerUserID.clear();
    }
    if (WasRefused(g.refused, "SmtpPassword")) {
        g.SmtpUser.clear();
    }
    return g;
}

}  // namespace corvanteer
