#include "app/ConfigTransfer.h"

#include <gmock/gmock.h>

#include <filesystem>

#include "AppFixture.h"
#include "app/RegistrySnapshot.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

class ConfigTransferTest : public AppTest {
protected:
    ConfigTransferTest() {
        MakeList("news");
        store->WriteRegString(paths.SettingsKey(), "SmtpPassword", ScramblePassword("s3cret"));
        store->WriteRegInteger(ListKey("news"), "AllowPostBy", 2);
        store->WriteRegString(ListKey("news"), "Moderators",
                              "ann@example.test\r\nbob@example.test");
        SetSection("news", "Signature", {"-- ", "The news list"});
        SetSection("news", "MemberList", {"amy@example.test 0 111111"});
    }

    // Everything an import could change: the settings and the list's data file.
    std::string State() {
        return RegistrySnapshotText(*store, "Software") + Slurp(DataFile("news"));
    }
};

TEST_F(ConfigTransferTest, ExportNamesEverySettingWithDefaultsAndSecretsAsComments) {
    const std::string text = ExportConfig(services, false);
    EXPECT_THAT(text, HasSubstr("\n[global]\n"));
    EXPECT_THAT(text, HasSubstr("\nSMTPPort = 2525\n"));
    EXPECT_THAT(text, HasSubstr("\n# SmtpMaxAttempts = 2\n"));
    EXPECT_THAT(text, HasSubstr("\n# SmtpPassword = (set)\n"));
    EXPECT_THAT(text, HasSubstr("\n# ListServerPassword =\n"));
    EXPECT_THAT(text, Not(HasSubstr("s3cret")));
    EXPECT_THAT(text, HasSubstr("\n[list \"news\"]\nAllowPostBy = 2\n"));
    EXPECT_THAT(text, HasSubstr("\nModerators = ann@example.test\\r\\nbob@example.test\n"));
    EXPECT_THAT(text, HasSubstr("\n[list \"news\" section \"Signature\"]\n|-- \n|The news list\n"));
    // The texts of digests and bounces are configuration too.
    SetSection("news", "Bounce_Disabled", {"Mail to you bounced."});
    EXPECT_THAT(
        ExportConfig(services, false),
        HasSubstr("\n[list \"news\" section \"Bounce_Disabled\"]\n|Mail to you bounced.\n"));
    // The roster is data, not configuration.
    EXPECT_THAT(text, Not(HasSubstr("amy@example.test")));
    EXPECT_THAT(ExportConfig(services, true), HasSubstr("\nSmtpPassword = s3cret\n"));
}

TEST_F(ConfigTransferTest, ImportStoresWhatItNamesAndCreatesNewLists) {
    const ImportOutcome outcome = ImportConfig(services,
                                               "[global]\n"
                                               "SessionInterval = 15\n"
                                               "# SMTPPort = 25\n"
                                               "[list \"NEWS\"]\n"
                                               "VerifyDays = 3\n"
                                               "[list \"chat\"]\n"
                                               "Pop3Password = pw\n"
                                               "[list \"chat\" section \"signature\"]\n"
                                               "|chat\n"
                                               "[list \"chat\" section \"mode_verify\"]\n"
                                               "|confirm\n");
    ASSERT_THAT(outcome.problems, ElementsAre());
    EXPECT_EQ(outcome.settings, 3);
    EXPECT_EQ(outcome.sections, 2);
    EXPECT_THAT(outcome.newLists, ElementsAre("chat"));
    EXPECT_EQ(store->ReadRegInteger(paths.SettingsKey(), "SessionInterval", 0), 15);
    // A comment changes nothing; what the text does not name keeps its value.
    EXPECT_EQ(store->ReadRegInteger(paths.SettingsKey(), "SMTPPort", 0), 2525);
    EXPECT_EQ(store->ReadRegInteger(ListKey("news"), "AllowPostBy", 0), 2);
    EXPECT_EQ(store->ReadRegInteger(ListKey("news"), "VerifyDays", 0), 3);
    EXPECT_EQ(UnscramblePassword(store->ReadRegString(ListKey("chat"), "Pop3Password", "")), "pw");
    EXPECT_THAT(console.ListNames(), ::testing::Contains("chat"));
    EXPECT_THAT(Section("chat", "Signature"), ElementsAre("chat"));
    EXPECT_THAT(Section("chat", "Mode_Verify"), ElementsAre("confirm"));
    EXPECT_THAT(Section("news", "MemberList"), ElementsAre("amy@example.test 0 111111"));
}

TEST_F(ConfigTransferTest, AnyProblemChangesNothingAndEachIsNamedByItsLine) {
    const std::string before = State();
    const ImportOutcome outcome = ImportConfig(services,
                                               "[global]\n"
                                               "SessionInterval = 20\n"
                                               "SMTPPort = many\n"
                                               "AllowPostBy = 1\n"
                                               "NoSuchSetting = 1\n"
                                               "[list \"news\"]\n"
                                               "VerifyDays = 2\n"
                                               "SMTPHost = x\n"
                                               "[list \"news\" section \"MemberList\"]\n"
                                               "|eve@example.test 0 1\n"
                                               "[list \"brand new\"]\n"
                                               "VerifyDays = 2\n");
    EXPECT_THAT(outcome.problems,
                ElementsAre(HasSubstr("line 3: "),
                            "line 4: unknown setting \"AllowPostBy\" (a setting of a list: put "
                            "it in a [list \"NAME\"] block)",
                            "line 5: unknown setting \"NoSuchSetting\"",
                            "line 8: unknown setting \"SMTPHost\" (a global setting: put it in "
                            "the [global] block)",
                            HasSubstr("line 9: unknown section \"MemberList\""),
                            HasSubstr("line 11: the list name \"brand new\" cannot be used")));
    EXPECT_EQ(outcome.settings, 0);
    EXPECT_THAT(outcome.newLists, ElementsAre());
    EXPECT_EQ(State(), before);
    EXPECT_THAT(console.ListNames(), Not(::testing::Contains("brand new")));

    // A text that does not parse is refused before anything is looked at.
    const ImportOutcome garbled = ImportConfig(services, "SessionInterval = 5\n");
    EXPECT_THAT(garbled.problems, ElementsAre(HasSubstr("line 1: a setting outside a block")));
    EXPECT_EQ(State(), before);
}

// A data file that cannot be written (here a folder stands where it should be) ends the
// import after others were written: they are put back, the new list's file goes, and the
// settings roll back.
TEST_F(ConfigTransferTest, AFailedWritePutsBackEveryFileAndSetting) {
    MakeList("zed");
    std::filesystem::remove(DataFile("zed"));
    std::filesystem::create_directory(DataFile("zed"));
    const std::string before = State();
    EXPECT_THROW(ImportConfig(services,
                              "[global]\n"
                              "SessionInterval = 20\n"
                              "[list \"chat\"]\n"
                              "VerifyDays = 3\n"
                              "[list \"news\" section \"Signature\"]\n"
                              "|changed\n"
                              "[list \"zed\" section \"Help\"]\n"
                              "|help\n"),
                 Failure);
    EXPECT_EQ(State(), before);
    EXPECT_FALSE(std::filesystem::exists(DataFile("chat")));
    EXPECT_THAT(console.ListNames(), Not(::testing::Contains("chat")));
}

}  // namespace
}  // namespace corvanteer::testing
