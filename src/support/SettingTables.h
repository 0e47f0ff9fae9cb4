#pragma once

// The global and per-list settings: one table each, the single source of names, types,
// defaults and ranges for the window, the command line and the scan.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/SettingsStore.h"

namespace corvanteer {

enum class SettingType {
    String,
    Integer,
    Boolean,   // stored as the integers 1 and 0; any non-zero integer reads as true
    Password,  // a string stored scrambled
};

// Checks a text value before it is stored: the form to store (a choice in its canonical
// spelling), or nullopt when the text is not one of the value's forms.
using TextCheck = std::optional<std::string> (*)(std::string_view text);

struct SettingDef {
    std::string name;  // value name as written
    SettingType type = SettingType::String;
    std::string shownDefault;  // what the window shows when the value is absent ("1"/"0" for
                               // booleans, decimal for integers); "{appDir}Backup" is expanded
    std::optional<std::string> scanDefault;  // what a scan uses; nullopt: the scan never reads it
    std::optional<int32_t> min;              // range of integers, when limited
    std::optional<int32_t> max;
    std::string caption;        // the window's caption or meaning, for help texts
    TextCheck check = nullptr;  // strings only: what the value may hold; nullptr: anything
    std::string form;           // with check: the values allowed, for the refusal's text
    bool multiLine = false;     // may hold line breaks (Moderators); every other string and
                                // password is one line without any control character
    // What the setting does, for the settings reference; rows without one take theirs from
    // SettingDescriptions.cpp.
    std::string description{};
};

const std::vector<SettingDef>& GlobalSettingTable();
const std::vector<SettingDef>& ListSettingTable();
// The entry of that name (compared without regard to case), or nullptr.
const SettingDef* FindSetting(const std::vector<SettingDef>& table, std::string_view name);
// The same for a name the program itself uses: raises Failure (Refused, "Unknown setting
// ...") when the table has no such entry.
const SettingDef& FindSettingOrFail(const std::vector<SettingDef>& table, std::string_view name);

// A stored value that the table's checks refuse now, and why (SettingRefusal's message, one
// line).
struct RefusedValue {
    std::string name;
    std::string message;
};

// Reads single values of one table under one key, each with the table's default: the scan
// default when `scan` is set and the entry has one, else the shown default ("{appDir}"
// expanded). Names must be in the table (FindSettingOrFail). Passwords come back in plain.
class SettingReader {
public:
    SettingReader(const SettingsStore& store, std::string_view key,
                  const std::vector<SettingDef>& table, bool scan, std::string_view appDir = "");
    std::string Text(std::string_view name) const;
    int32_t Integer(std::string_view name) const;
    bool Boolean(std::string_view name) const;
    // From now on a stored text or integer that SettingRefusal refuses (an older program
    // stored it) is read as its default, and noted in refused.
    void RefuseInto(std::vector<RefusedValue>& refused) { refused_ = &refused; }

private:
    std::string Default(const SettingDef& def) const;
    void Note(const SettingDef& def, std::string message) const;

    const SettingsStore& store_;
    std::string key_;
    const std::vector<SettingDef>& table_;
    bool scan_;
    std::string appDir_;
    std::vector<RefusedValue>* refused_ = nullptr;
};

// A list's values as a scan reads them (list table, scan defaults).
SettingReader ListScanReader(const SettingsStore& store, std::string_view listKey);

// The placeholder address the window shows for an absent ListTo.
inline constexpr const char* kListToPlaceholder = "all-members@list.invalid";
// What earlier versions showed for an absent ChangeSenderEmailTo, and stored once the field was
// left: no address anybody takes, so postings read it as empty (the list posting address).
inline constexpr const char* kChangeSenderPlaceholder = "member@list.invalid";

// Text form of a setting's value for the command line and the snapshot: booleans "1"/"0",
// integers in decimal, passwords in plain. Reading an absent value gives the shown default.
std::string ReadSettingText(const SettingsStore& store, std::string_view key, const SettingDef& def,
                            std::string_view appDir);
// Why the text cannot be the setting's value: booleans take 1/0/true/false/on/off (any case);
// integers whole numbers within the range (ports 1-65535); a string or password that is not
// multiLine no control character (CR, LF, NUL and the rest); a string with a check must pass
// it (host names, addresses through the member address gate, a CA file that exists and can
// be read, the choices). The message names the setting and the allowed form, and quotes no
// password; nullopt when the text fits. The one checker of the window, the command line,
// restore and anything that reads values in.
std::optional<std::string> SettingRefusal(const SettingDef& def, std::string_view text);

// Parses and stores a value given as text, after SettingRefusal. Raises Failure (Refused)
// with its message when the text does not fit; nothing is written then.
void WriteSettingText(SettingsStore& store, std::string_view key, const SettingDef& def,
                      std::string_view text);

// Per-list values as a scan uses them (LoadListSettings applies the scan defaults).
struct ListSettings {
    bool AllowUserSubscribe = true;
    bool VerifySubscribe = true;
    int32_t VerifyDays = 7;
    bool ModerateList = false;
    bool RequirePassword = false;
    bool ForwardErrorMsgs = false;
    bool HideSenderEmail = true;
    int32_t AllowPostBy = 0;
    int32_t PostingMethod = 0;
    std::string Moderators;
    std::string ListTo;
    std::string ListPostingAddress;
    std::string ErrorsTo;
    std::string ChangeSenderEmailTo;
    std::string VerifySubject = "List Server Response";
    std::string VerifyErrSubject = "List Server Response";
    std::string AlreadyAMemberSubject = "List Server Response";
    std::string NotMemberSubject = "List Server Response";
    std::string SubscribeConfirmSubject = "List Server Response";
    std::string UnSubscribeConfirmSubject = "List Server Response";
    std::string PasswordNotifySubject = "List Server Response";
    std::string Pop3Host;
    std::string Pop3User;
    std::string Pop3Password;  // in plain
    int32_t Pop3Port = 110;
    std::string Pop3Security = "auto";  // auto, tls, starttls or none (ParseSecurity)
    std::string Pop3TlsFingerprint;     // pinned SHA-256 of the server certificate, as typed
    std::string Pop3Auth = "password";  // password or oauth2 (ParseLoginMethod)
    bool ListHeaders = true;            // List-Id, List-Post, ... on postings
    // Stored values the checks refuse, read as their defaults instead: never sent. A refused
    // port reads as 0 and a refused password clears the user, so the mailbox counts as not
    // configured rather than being reached with values nobody chose.
    std::vector<RefusedValue> refused;
    bool HtmlArchive = false;  // build the HTML archive after a scan that posted
    bool HtmlArchiveShowAddresses = false;
    std::string ArchiveBaseURL;  // where the HTML archive is published; "" none
    // Failed deliveries: scored, and delivery disabled at the threshold (engine/bounce).
    bool BounceProcessing = true;
    int32_t BounceScoreThreshold = 5;
    int32_t BounceInfoStaleAfter = 7;  // days
    int32_t BounceWarnInterval = 7;    // days
    int32_t BounceWarnings = 3;
};

// Reads every per-list value (but HelpSubject) from the list key with the scan defaults,
// creating the key when it is missing; values the checks refuse are left out (refused).
ListSettings LoadListSettings(SettingsStore& store, std::string_view listKey);

// Global values as the program uses them, with the defaults of the global table.
struct GlobalSettings {
    std::string ListServerAddress;
    std::string ListServerHost;
    std::string ListServerUserID;
    std::string ListServerPassword;  // in plain
    int32_t ListServerPort = 110;
    std::string ListServerSecurity = "auto";  // auto, tls, starttls or none (ParseSecurity)
    std::string ListServerTlsFingerprint;     // pinned SHA-256 of the certificate, as typed
    std::string SMTPHost;
    int32_t SMTPPort = 25;
    std::string SMTPSecurity = "auto";
    std::string SMTPTlsFingerprint;
    std::string TlsCAFile;  // PEM file of CAs trusted besides the system's
    // password or oauth2 (ParseLoginMethod). The OAuth client settings are read where a
    // token is needed (OAuthSettingsFrom).
    std::string ListServerAuth = "password";
    std::string SMTPAuth = "password";
    bool ReqSmtpAuth = false;
    std::string SmtpUser;
    std::string SmtpPassword;  // in plain
    int32_t SessionInterval = 0;
    int32_t SmtpMaxAttempts = 2;
    // Recipients of one message (a Bcc posting goes out in parts of at most this many), and
    // recipients sent within any hour and any day (the sending caps); 0: no limit.
    int32_t MaxRecipientsPerMessage = 100;
    int32_t MaxRecipientsPerHour = 0;
    int32_t MaxRecipientsPerDay = 0;
    int32_t MaxMessageSize = 64 * 1024 * 1024;  // octets a downloaded message may have; 0: any
    bool TimerON = false;
    bool Minimized = false;
    bool Launch = false;
    std::string BackupDir;  // appDir + "Backup" when absent
    int32_t Top = 100;
    int32_t Left = 200;
    int32_t LastList = 0;
    // Stored values the checks refuse, read as their defaults (ports as 0, a refused
    // password clears its user), as with ListSettings.
    std::vector<RefusedValue> refused;
};

GlobalSettings LoadGlobalSettings(const SettingsStore& store, std::string_view settingsKey,
                                  std::string_view appDir);

}  // namespace corvanteer
