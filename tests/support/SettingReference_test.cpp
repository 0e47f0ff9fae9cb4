#include "support/SettingReference.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "common/TempDir.h"
#include "support/SettingDescriptions.h"
#include "support/Text.h"

namespace corvanteer {
namespace {

using testing::TempDir;

constexpr const char* kSettingsKey = "Software\\Brask Software\\Corvanteer";
constexpr const char* kListKey = "Software\\Brask Software\\Corvanteer\\Lists\\news";
constexpr const char* kAppDir = "/srv/lists/";

std::string Text(bool value) {
    return value ? "1" : "0";
}
std::string Text(int32_t value) {
    return std::to_string(value);
}
std::string Text(const std::string& value) {
    return value;
}

// The values the program falls back on in code, field by field, as `config get` would print
// them. Settings that no struct holds (the window's, OAuth's) are read where they are used,
// with the table's default, and are checked against a new store below.
template <typename Settings>
using Fields = std::map<std::string, std::function<std::string(const Settings&)>>;

#define FIELD(name)                                       \
    {                                                     \
#name, [](const auto& s) { return Text(s.name); } \
    }

const Fields<GlobalSettings>& GlobalFields() {
    static const Fields<GlobalSettings> fields = {
        FIELD(ListServerAddress),
        FIELD(ListServerHost),
        FIELD(ListServerUserID),
        FIELD(ListServerPassword),
        FIELD(ListServerPort),
        FIELD(ListServerSecurity),
        FIELD(SMTPHost),
        FIELD(SMTPPort),
        FIELD(SMTPSecurity),
        FIELD(SMTPTlsFingerprint),
        FIELD(ListServerTlsFingerprint),
        FIELD(TlsCAFile),
        FIELD(ListServerAuth),
        FIELD(SMTPAuth),
        FIELD(ReqSmtpAuth),
        FIELD(SmtpUser),
        FIELD(SmtpPassword),
        FIELD(SessionInterval),
        FIELD(SmtpMaxAttempts),
        FIELD(MaxRecipientsPerMessage),
        FIELD(MaxRecipientsPerHour),
        FIELD(MaxRecipientsPerDay),
        FIELD(MaxMessageSize),
        FIELD(TimerON),
        FIELD(Minimized),
        FIELD(Launch),
        FIELD(Top),
        FIELD(Left),
        FIELD(LastList),
    };
    return fields;
}

const Fields<ListSettings>& ListFields() {
    static const Fields<ListSettings> fields = {
        FIELD(AllowUserSubscribe),
        FIELD(VerifySubscribe),
        FIELD(VerifyDays),
        FIELD(ModerateList),
        FIELD(RequirePassword),
        FIELD(ForwardErrorMsgs),
        FIELD(HideSenderEmail),
        FIELD(AllowPostBy),
        FIELD(PostingMethod),
        FIELD(Moderators),
        FIELD(ListTo),
        FIELD(ListPostingAddress),
        FIELD(ErrorsTo),
        FIELD(ChangeSenderEmailTo),
        FIELD(VerifySubject),
        FIELD(VerifyErrSubject),
        FIELD(AlreadyAMemberSubject),
        FIELD(NotMemberSubject),
        FIELD(SubscribeConfirmSubject),
        FIELD(UnSubscribeConfirmSubject),
        FIELD(PasswordNotifySubject),
        FIELD(Pop3Host),
        FIELD(Pop3User),
        FIELD(Pop3Password),
        FIELD(Pop3Port),
        FIELD(Pop3Security),
        FIELD(Pop3TlsFingerprint),
        FIELD(Pop3Auth),
        FIELD(ListHeaders),
    };
    return fields;
}

#undef FIELD

TEST(SettingReferenceTest, EverySettingIsDescribedAndEveryDescriptionNamesASetting) {
    for (const SettingFacts& facts : SettingReference()) {
        EXPECT_GE(facts.description.size(), 20u)
            << ScopeName(facts.scope) << " setting " << facts.name
            << " has no description: add one to src/support/SettingDescriptions.cpp";
    }
    const std::pair<const std::vector<SettingDef>*, decltype(&GlobalSettingDescriptions)> sets[] = {
        {&GlobalSettingTable(), &GlobalSettingDescriptions},
        {&ListSettingTable(), &ListSettingDescriptions}};
    for (const auto& [table, descriptions] : sets) {
        for (const auto& [name, text] : descriptions()) {
            EXPECT_NE(FindSetting(*table, name), nullptr)
                << "a description of \"" << name << "\", which is no setting of its table";
        }
    }
}

// What the reference tells as the default is what the program uses when the value is absent:
// `config get` on a new installation, and the values the code starts from.
TEST(SettingReferenceTest, EveryDefaultShownIsTheProgramsDefault) {
    TempDir dir;
    auto store = SettingsStore::Open(dir.File("settings.sqlite"));
    const GlobalSettings codeGlobals;
    const ListSettings codeList;
    const GlobalSettings loadedGlobals = LoadGlobalSettings(*store, kSettingsKey, kAppDir);
    const ListSettings loadedList = LoadListSettings(*store, kListKey);
    int fromCode = 0;
    for (const SettingFacts& facts : SettingReference()) {
        const bool global = facts.scope == SettingScope::Global;
        const SettingDef& def =
            *FindSetting(global ? GlobalSettingTable() : ListSettingTable(), facts.name);
        const std::string expanded = ReplaceAll(facts.defaultValue, "{appDir}", kAppDir);
        EXPECT_EQ(ReadSettingText(*store, global ? kSettingsKey : kListKey, def, kAppDir), expanded)
            << facts.name;
        if (global) {
            if (auto field = GlobalFields().find(facts.name); field != GlobalFields().end()) {
                EXPECT_EQ(field->second(codeGlobals), facts.defaultValue) << facts.name;
                EXPECT_EQ(field->second(loadedGlobals), facts.defaultValue) << facts.name;
                ++fromCode;
            }
            continue;
        }
        // A scan reads a list's absent value with the scan default, given separately where it
        // differs from the window's.
        const std::string scanValue = def.scanDefault ? *def.scanDefault : def.shownDefault;
        EXPECT_EQ(facts.scanDefaultText.empty(), scanValue == facts.defaultValue) << facts.name;
        if (auto field = ListFields().find(facts.name); field != ListFields().end()) {
            EXPECT_EQ(field->second(codeList), scanValue) << facts.name;
            EXPECT_EQ(field->second(loadedList), scanValue) << facts.name;
            ++fromCode;
        }
    }
    EXPECT_EQ(fromCode, static_cast<int>(GlobalFields().size() + ListFields().size()));
    // The backup folder is worked out from the application directory when absent.
    EXPECT_EQ(loadedGlobals.BackupDir, std::string(kAppDir) + "Backup");
}

TEST(SettingReferenceTest, DescriptionBlocksAreWrappedAndSayWhatTheTableSays) {
    const SettingFacts interval =
        FactsOf(*FindSetting(GlobalSettingTable(), "SessionInterval"), SettingScope::Global);
    const std::string block = DescribeSetting(interval);
    EXPECT_EQ(block.substr(0, block.find('\n')),
              "    global, integer, default 0; values: 0 to 9999");
    EXPECT_NE(block.find("    Caption: Poll interval (mins); 0 = polling disabled\n"),
              std::string::npos)
        << block;

    const SettingFacts subject =
        FactsOf(*FindSetting(ListSettingTable(), "VerifySubject"), SettingScope::List);
    EXPECT_EQ(subject.defaultText, "\"ListServer Response\"");
    EXPECT_EQ(subject.scanDefaultText, "\"List Server Response\"");
    const SettingFacts flag =
        FactsOf(*FindSetting(ListSettingTable(), "HideSenderEmail"), SettingScope::List);
    EXPECT_EQ(flag.defaultText, "on (1)");
    EXPECT_EQ(flag.scanDefaultText, "");
    const SettingFacts backup =
        FactsOf(*FindSetting(GlobalSettingTable(), "BackupDir"), SettingScope::Global);
    EXPECT_EQ(backup.defaultText, "the folder Backup of the application directory");

    for (const SettingFacts& facts : SettingReference()) {
        for (const std::string& line : TextToLines(DescribeSetting(facts))) {
            EXPECT_LE(line.size(), 80u) << facts.name << ": " << line;
            EXPECT_TRUE(StartsWith(line, "    ")) << facts.name << ": " << line;
        }
    }
}

}  // namespace
}  // namespace corvanteer
