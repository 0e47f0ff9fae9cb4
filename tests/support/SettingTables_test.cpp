#include "support/SettingTables.h"

#include <gtest/gtest.h>

#include "common/TempDir.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer {
namespace {

using testing::TempDir;

constexpr const char* kSettingsKey = "Software\\Brask Software\\Corvanteer";
constexpr const char* kListKey = "Software\\Brask Software\\Corvanteer\\Lists\\news";

class SettingTablesTest : public ::testing::Test {
protected:
    const SettingDef& Global(const char* name) {
        const SettingDef* def = FindSetting(GlobalSettingTable(), name);
        EXPECT_NE(def, nullptr) << name;
        return *def;
    }
    const SettingDef& List(const char* name) {
        const SettingDef* def = FindSetting(ListSettingTable(), name);
        EXPECT_NE(def, nullptr) << name;
        return *def;
    }
    void ExpectRefused(const SettingDef& def, const char* text) {
        try {
            WriteSettingText(*store, kListKey, def, text);
            ADD_FAILURE() << def.name << " accepted \"" << text << "\"";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.kind(), ErrorKind::Refused);
            EXPECT_NE(std::string(failure.what()).find(def.name), std::string::npos)
                << failure.what();
        }
    }

    TempDir dir;
    std::unique_ptr<SettingsStore> store = SettingsStore::Open(dir.File("settings.sqlite"));
};

TEST_F(SettingTablesTest, TablesHoldEveryValueOnce) {
    EXPECT_EQ(GlobalSettingTable().size(), 38u);
    EXPECT_EQ(ListSettingTable().size(), 47u);
    for (const auto* table : {&GlobalSettingTable(), &ListSettingTable()}) {
        for (const SettingDef& def : *table) {
            EXPECT_EQ(FindSetting(*table, def.name), &def) << def.name << " appears twice";
        }
    }
    // Found without regard to case: the window writes SmtpHost, start-up reads SMTPHost.
    EXPECT_EQ(FindSetting(GlobalSettingTable(), "SmtpHost"), &Global("SMTPHost"));
    EXPECT_EQ(FindSetting(GlobalSettingTable(), "NoSuchValue"), nullptr);
    EXPECT_EQ(FindSetting(ListSettingTable(), "SmtpHost"), nullptr);
    // The help answer reads HelpSubject with the scan's subject, like the other answers.
    EXPECT_EQ(List("HelpSubject").scanDefault, std::optional<std::string>("List Server Response"));
    EXPECT_EQ(Global("SessionInterval").max, 9999);
    EXPECT_EQ(List("VerifyDays").min, 1);
    EXPECT_EQ(List("VerifyDays").max, 60);
    EXPECT_EQ(List("Pop3Password").type, SettingType::Password);
    EXPECT_EQ(List("ListHeaders").type, SettingType::Boolean);
    EXPECT_EQ(List("ListHeaders").scanDefault, std::optional<std::string>("1"));
    EXPECT_EQ(Global("SmtpPassword").type, SettingType::Password);
}

TEST_F(SettingTablesTest, LoadListSettingsUsesScanDefaultsAndCreatesTheKey) {
    ASSERT_FALSE(store->KeyExists(kListKey));
    ListSettings s = LoadListSettings(*store, kListKey);
    EXPECT_TRUE(store->KeyExists(kListKey));
    EXPECT_TRUE(store->Values(kListKey).empty());  // only the key, no values
    EXPECT_TRUE(s.AllowUserSubscribe);
    EXPECT_TRUE(s.VerifySubscribe);
    EXPECT_EQ(s.VerifyDays, 7);
    EXPECT_FALSE(s.ModerateList);
    EXPECT_TRUE(s.HideSenderEmail);
    EXPECT_EQ(s.AllowPostBy, 0);
    EXPECT_EQ(s.ListTo, "");  // the window shows a placeholder, the scan uses nothing
    EXPECT_EQ(s.ChangeSenderEmailTo, "");
    EXPECT_EQ(s.VerifySubject, "List Server Response");
    EXPECT_EQ(s.PasswordNotifySubject, "List Server Response");
    EXPECT_EQ(s.Pop3Port, 110);
    EXPECT_EQ(s.Pop3Password, "");
    EXPECT_TRUE(s.ListHeaders);
    EXPECT_TRUE(s.BounceProcessing);
    EXPECT_EQ(s.BounceScoreThreshold, 5);
    EXPECT_EQ(s.BounceInfoStaleAfter, 7);
    EXPECT_EQ(s.BounceWarnInterval, 7);
    EXPECT_EQ(s.BounceWarnings, 3);

    // What the window shows for the same absent values.
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("ListTo"), ""), kListToPlaceholder);
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("ChangeSenderEmailTo"), ""), "");
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("VerifySubject"), ""), "ListServer Response");
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("HelpSubject"), ""), "ListServer Response");
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("HideSenderEmail"), ""), "1");
}

TEST_F(SettingTablesTest, LoadListSettingsReadsStoredValues) {
    store->WriteRegInteger(kListKey, "verifydays", 30);
    store->WriteRegInteger(kListKey, "AllowUserSubscribe", 0);
    store->WriteRegInteger(kListKey, "ModerateList", 2);  // any non-zero is true
    store->WriteRegString(kListKey, "ListTo", "news@example.org");
    store->WriteRegString(kListKey, "Moderators", "a@x\r\nb@x");
    store->WriteRegString(kListKey, "Pop3Password", ScramblePassword("s\x80"));
    store->WriteRegInteger(kListKey, "listheaders", 0);
    ListSettings s = LoadListSettings(*store, kListKey);
    EXPECT_FALSE(s.ListHeaders);
    EXPECT_EQ(s.VerifyDays, 30);
    EXPECT_FALSE(s.AllowUserSubscribe);
    EXPECT_TRUE(s.ModerateList);
    EXPECT_EQ(s.ListTo, "news@example.org");
    EXPECT_EQ(s.Moderators, "a@x\r\nb@x");
    EXPECT_EQ(s.Pop3Password, "s\x80");

    // Another list without values still gets the defaults, not the first list's values.
    const std::string other = std::string(kSettingsKey) + "\\Lists\\other";
    EXPECT_EQ(LoadListSettings(*store, other).ListTo, "");

    // A value stored with the wrong type fails the load rather than passing as a default.
    store->WriteRegString(kListKey, "VerifyDays", "30");
    EXPECT_THROW(LoadListSettings(*store, kListKey), Failure);
}

TEST_F(SettingTablesTest, BooleansAcceptTheUsualWords) {
    const SettingDef& def = List("ModerateList");
    for (const char* yes : {"1", "true", "TRUE", "on", "On"}) {
        store->WriteRegInteger(kListKey, "ModerateList", 0);
        WriteSettingText(*store, kListKey, def, yes);
        EXPECT_EQ(store->ReadRegInteger(kListKey, "ModerateList", -1), 1) << yes;
    }
    for (const char* no : {"0", "false", "Off", "OFF"}) {
        store->WriteRegInteger(kListKey, "ModerateList", 1);
        WriteSettingText(*store, kListKey, def, no);
        EXPECT_EQ(store->ReadRegInteger(kListKey, "ModerateList", -1), 0) << no;
    }
    EXPECT_EQ(ReadSettingText(*store, kListKey, def, ""), "0");
    for (const char* bad : {"yes", "2", "", "truth"}) {
        ExpectRefused(def, bad);
    }
    EXPECT_EQ(store->ReadRegInteger(kListKey, "ModerateList", -1), 0);
}

TEST_F(SettingTablesTest, IntegersOutsideTheirRangeAreRefusedWithoutWriting) {
    ExpectRefused(List("VerifyDays"), "0");
    ExpectRefused(List("VerifyDays"), "61");
    ExpectRefused(List("AllowPostBy"), "3");
    ExpectRefused(List("AllowPostBy"), "-1");
    ExpectRefused(List("PostingMethod"), "2");
    ExpectRefused(List("Pop3Port"), "pop");
    ExpectRefused(List("Pop3Port"), "99999999999");
    EXPECT_TRUE(store->Values(kListKey).empty());

    WriteSettingText(*store, kListKey, List("VerifyDays"), "60");
    WriteSettingText(*store, kListKey, List("AllowPostBy"), "2");
    WriteSettingText(*store, kListKey, List("Pop3Port"), "995");
    EXPECT_EQ(store->ReadRegInteger(kListKey, "VerifyDays", 0), 60);
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("AllowPostBy"), ""), "2");
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("Pop3Port"), ""), "995");

    // Global ranges: 0 is allowed (no limit / polling off), 10000 is not.
    WriteSettingText(*store, kSettingsKey, Global("SmtpMaxAttempts"), "0");
    WriteSettingText(*store, kSettingsKey, Global("SessionInterval"), "9999");
    EXPECT_THROW(WriteSettingText(*store, kSettingsKey, Global("SessionInterval"), "10000"),
                 Failure);
    EXPECT_EQ(store->ReadRegInteger(kSettingsKey, "SessionInterval", 0), 9999);
    // Ports are 1-65535.
    for (const char* port : {"-5", "0", "65536", "99999"}) {
        EXPECT_THROW(WriteSettingText(*store, kSettingsKey, Global("SMTPPort"), port), Failure);
    }
    WriteSettingText(*store, kSettingsKey, Global("SMTPPort"), "65535");
    EXPECT_EQ(store->ReadRegInteger(kSettingsKey, "SmtpPort", 0), 65535);
}

// One checker for every road a value comes in by: each kind of setting with values it takes
// and values it refuses (with the refusal naming the setting and quoting no password).
TEST_F(SettingTablesTest, ValuesAreCheckedByTheirKind) {
    const std::string caFile = dir.File("ca.pem");
    testing::Spit(caFile, "-----BEGIN CERTIFICATE-----\n");
    struct Case {
        const SettingDef& def;
        std::vector<std::string> taken;
        std::vector<std::string> refused;
    };
    const Case cases[] = {
        {Global("SMTPHost"),
         {"", "mail.example.org", "MAIL-1.example.org.", "10.0.0.1", "::1", "[2001:db8::1]"},
         {"mail example.org", "mail.example.org\r\nQUIT", "-mail.example.org", "a..b", "ma_il",
          "[::1", "1::2::3", std::string(64, 'a') + ".org"}},
        {List("Pop3Host"), {"pop.example.org"}, {"pop\x01.example.org"}},
        {List("ListPostingAddress"),
         {"", "news@example.org", " news@example.org "},
         {"not an address", "news@@example.org", "n\xc3\xa9ws@example.org",
          "news@example.org\r\nBcc: x@y.z"}},
        {Global("ListServerAddress"), {"lists@example.org"}, {"lists"}},
        {List("ErrorsTo"), {"errors@example.org"}, {"errors example.org"}},
        {List("ChangeSenderEmailTo"), {"member@list.invalid"}, {"member at list.invalid"}},
        {Global("TlsCAFile"), {"", caFile}, {dir.File("missing.pem"), dir.Path()}},
        {List("Pop3User"), {"alice", "alice@example.org"}, {"alice\r\nDELE 1", "a\tb"}},
        {List("VerifySubject"), {"Welcome to {ListName}"}, {"Hi\r\nBcc: all@example.org"}},
        {List("Pop3Password"), {"s3cret pass"}, {std::string("se\0cret", 7), "secret\n"}},
        {List("Moderators"), {"ann@example.org\r\nbob@example.org"}, {"ann@example.org\x1b"}},
    };
    for (const Case& test : cases) {
        for (const std::string& text : test.taken) {
            EXPECT_EQ(SettingRefusal(test.def, text), std::nullopt) << test.def.name << " " << text;
        }
        for (const std::string& text : test.refused) {
            const std::optional<std::string> refusal = SettingRefusal(test.def, text);
            ASSERT_TRUE(refusal.has_value()) << test.def.name << " took \"" << text << "\"";
            EXPECT_NE(refusal->find(test.def.name + " must be"), std::string::npos) << *refusal;
            if (test.def.type == SettingType::Password) {
                EXPECT_EQ(refusal->find("cret"), std::string::npos) << *refusal;
            }
        }
    }
    // Stored as checked: blanks around a host or an address go.
    WriteSettingText(*store, kListKey, List("ListPostingAddress"), " news@example.org ");
    EXPECT_EQ(store->ReadRegString(kListKey, "ListPostingAddress", ""), "news@example.org");
}

TEST_F(SettingTablesTest, SecurityModesAndFingerprintsAreCheckedBeforeStoring) {
    const std::string fingerprint(64, 'a');
    struct Case {
        const SettingDef& def;
        const char* text;
        const char* stored;  // nullptr: refused
    };
    const Case cases[] = {
        {Global("SMTPSecurity"), "STARTTLS", "starttls"},
        {Global("ListServerSecurity"), " tls ", "tls"},
        {List("Pop3Security"), "None", "none"},
        {List("Pop3Security"), "ssl", nullptr},
        {List("Pop3Security"), "", nullptr},
        {Global("SMTPTlsFingerprint"), "", ""},
        {List("Pop3TlsFingerprint"), "AA:aa", nullptr},
        {Global("ListServerTlsFingerprint"), "zz", nullptr},
        {List("DigestLastDate"), " 2026-03-09 ", "2026-03-09"},
        {List("DigestLastDate"), "", ""},
        {List("DigestLastDate"), "2026-13-01", nullptr},
        {List("DigestLastDate"), "2026-3-9", nullptr},
        {List("DigestLastDate"), "2026-+1-01", nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(std::string(test.def.name) +
                     " = "
                     " + test.text + "
                     "");
        store->DeleteValue(kListKey, test.def.name);
        if (test.stored == nullptr) {
            ExpectRefused(test.def, test.text);
            EXPECT_FALSE(store->ValueExists(kListKey, test.def.name));
        } else {
            WriteSettingText(*store, kListKey, test.def, test.text);
            EXPECT_EQ(store->ReadRegString(kListKey, test.def.name, "?"), test.stored);
        }
    }
    // A fingerprint stays as typed, colons and case included.
    const std::string typed = "AB:" + fingerprint.substr(2);
    WriteSettingText(*store, kListKey, List("Pop3TlsFingerprint"), typed);
    EXPECT_EQ(ReadSettingText(*store, kListKey, List("Pop3TlsFingerprint"), ""), typed);
    EXPECT_EQ(ReadSettingText(*store, kSettingsKey, Global("SMTPSecurity"), ""), "auto");
}

TEST_F(SettingTablesTest, LoginMethodsAndOAuthValuesAreCheckedBeforeStoring) {
    const std::pair<const SettingDef&, std::pair<const char*, const char*>> cases[] = {
        {Global("SMTPAuth"), {"OAuth2", "oauth2"}},
        {Global("ListServerAuth"), {" password ", "password"}},
        {List("Pop3Auth"), {"token", nullptr}},
        {Global("OAuthProvider"), {"Google", "google"}},
        {Global("OAuthProvider"), {"yahoo", nullptr}},
        {Global("OAuthTenant"), {"contoso.onmicrosoft.com", "contoso.onmicrosoft.com"}},
        {Global("OAuthTenant"), {"common/../x", nullptr}},
        {Global("OAuthTenant"), {"", nullptr}},
        {Global("OAuthTokenUrl"),
         {"https://auth.example.org/token", "https://auth.example.org/token"}},
        {Global("OAuthTokenUrl"), {"", ""}},
        {Global("OAuthDeviceUrl"), {"http://auth.example.org/device", nullptr}},
        {Global("OAuthAuthorizeUrl"), {"https://auth.example.org/a b", nullptr}},
    };
    for (const auto& [def, test] : cases) {
        SCOPED_TRACE(def.name + " = \"" + test.first + "\"");
        store->DeleteValue(kListKey, def.name);
        if (test.second == nullptr) {
            ExpectRefused(def, test.first);
            EXPECT_FALSE(store->ValueExists(kListKey, def.name));
        } else {
            WriteSettingText(*store, kListKey, def, test.first);
            EXPECT_EQ(store->ReadRegString(kListKey, def.name, "?"), test.second);
        }
    }
    EXPECT_EQ(Global("OAuthClientSecret").type, SettingType::Password);
    EXPECT_EQ(LoadGlobalSettings(*store, kSettingsKey, "/").SMTPAuth, "password");
    EXPECT_EQ(LoadListSettings(*store, kListKey).Pop3Auth, "password");
}

TEST_F(SettingTablesTest, PasswordsAreStoredScrambledAndShownPlain) {
    WriteSettingText(*store, kSettingsKey, Global("SmtpPassword"), "secret");
    EXPECT_EQ(store->ReadRegString(kSettingsKey, "SmtpPassword", ""), ScramblePassword("secret"));
    EXPECT_EQ(ReadSettingText(*store, kSettingsKey, Global("SmtpPassword"), ""), "secret");
    EXPECT_EQ(ReadSettingText(*store, kSettingsKey, Global("ListServerPassword"), ""), "");
}

TEST_F(SettingTablesTest, LoadGlobalSettingsDefaultsAndStoredValues) {
    GlobalSettings g = LoadGlobalSettings(*store, kSettingsKey, "/home/u/corv/");
    EXPECT_EQ(g.ListServerPort, 110);
    EXPECT_EQ(g.SMTPPort, 25);
    EXPECT_EQ(g.SessionInterval, 0);
    EXPECT_EQ(g.SmtpMaxAttempts, 2);
    EXPECT_EQ(g.MaxMessageSize, 67108864);
    EXPECT_FALSE(g.TimerON);
    EXPECT_FALSE(g.ReqSmtpAuth);
    EXPECT_EQ(g.BackupDir, "/home/u/corv/Backup");
    EXPECT_EQ(g.Top, 100);
    EXPECT_EQ(g.Left, 200);
    EXPECT_EQ(g.LastList, 0);
    EXPECT_EQ(g.SMTPSecurity, "auto");
    EXPECT_EQ(g.ListServerSecurity, "auto");
    EXPECT_EQ(g.TlsCAFile, "");
    EXPECT_FALSE(store->KeyExists(kSettingsKey));  // reading creates nothing
    EXPECT_EQ(ReadSettingText(*store, kSettingsKey, Global("BackupDir"), "/a/"), "/a/Backup");

    store->WriteRegString(kSettingsKey, "SmtpHost", "mail.example.org");
    store->WriteRegInteger(kSettingsKey, "SmtpPort", 587);
    store->WriteRegString(kSettingsKey, "ListServerPassword", ScramblePassword("pw"));
    store->WriteRegBool(kSettingsKey, "TimerON", true);
    store->WriteRegString(kSettingsKey, "BackupDir", "/elsewhere");
    store->WriteRegString(kSettingsKey, "SMTPSecurity", "tls");
    store->WriteRegString(kSettingsKey, "TlsCAFile", "/etc/company-ca.pem");
    WriteSettingText(*store, kSettingsKey, Global("MaxMessageSize"), "0");
    EXPECT_THROW(WriteSettingText(*store, kSettingsKey, Global("MaxMessageSize"), "-1"), Failure);
    g = LoadGlobalSettings(*store, kSettingsKey, "/home/u/corv/");
    EXPECT_EQ(g.SMTPSecurity, "tls");
    EXPECT_EQ(g.TlsCAFile, "/etc/company-ca.pem");
    EXPECT_EQ(g.MaxMessageSize, 0);
    EXPECT_EQ(g.SMTPHost, "mail.example.org");
    EXPECT_EQ(g.SMTPPort, 587);
    EXPECT_EQ(g.ListServerPassword, "pw");
    EXPECT_TRUE(g.TimerON);
    EXPECT_EQ(g.BackupDir, "/elsewhere");
}

}  // namespace
}  // namespace corvanteer
