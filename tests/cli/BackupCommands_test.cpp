// backup and restore: the settings and the data files come back as they were.

#include <gmock/gmock.h>

#include "cli/CliFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class BackupCommandsTest : public CliTest {
protected:
    void SetUp() override {
        ASSERT_EQ(Run({"lists", "add", "news"}).status, 0);
        ASSERT_EQ(Run({"config", "set", "SMTPHost", "before.example.test"}).status, 0);
        ASSERT_EQ(Run({"config", "set", "VerifyDays", "3", "--list", "news"}).status, 0);
        ASSERT_EQ(Run({"section", "set", "news", "Signature"}, "-- \nbefore\n").status, 0);
    }
    TempDir elsewhere;
};

TEST_F(BackupCommandsTest, ABackupAChangeAndARestoreBringBackSettingsAndDataFiles) {
    const std::string folder = elsewhere.File("saved");
    const std::string before = Fingerprint();
    CliResult backup = Run({"backup", folder});
    EXPECT_EQ(backup.status, 0) << backup.err;
    EXPECT_EQ(backup.out, "Finished Backup.\n");
    EXPECT_TRUE(FileExists(folder + "/registry.cfg"));
    EXPECT_EQ(Slurp(folder + "/news.dat"), Slurp(DataFile("news")));

    ASSERT_EQ(Run({"config", "set", "SMTPHost", "after.example.test"}).status, 0);
    ASSERT_EQ(Run({"config", "set", "VerifyDays", "9", "--list", "news"}).status, 0);
    ASSERT_EQ(Run({"section", "set", "news", "Signature"}, "after\n").status, 0);
    ASSERT_NE(Fingerprint(), before);

    CliResult restore = Run({"restore", folder});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(restore.out, "Configuration restored.\nPlease restart Corvanteer now.\n");
    EXPECT_EQ(Fingerprint(), before);
    EXPECT_EQ(Run({"config", "get", "SMTPHost"}).out, "before.example.test\n");
}

TEST_F(BackupCommandsTest, WithoutAFolderTheBackupDirSettingIsUsed) {
    CliResult r = Run({"backup"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(FileExists(paths.appDir + "Backup/news.dat"));
    ASSERT_EQ(Run({"config", "set", "BackupDir", elsewhere.File("configured")}).status, 0);
    ASSERT_EQ(Run({"backup"}).status, 0);
    EXPECT_TRUE(FileExists(elsewhere.File("configured/registry.cfg")));
}

TEST_F(BackupCommandsTest, RestoreFromAFolderWithoutABackupChangesNothing) {
    const std::string before = Fingerprint();
    ForceDirectories(elsewhere.File("empty"));
    CliResult empty = Run({"restore", elsewhere.File("empty")});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(OutputLines(empty.err).size(), 1u);
    CliResult missing = Run({"restore", elsewhere.File("missing")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(Fingerprint(), before);
}

TEST_F(BackupCommandsTest, ABackupFolderThatCannotBeMadeIsRefusedBeforeAnythingIsDeleted) {
    Spit(elsewhere.File("file"), "x");
    CliResult r = Run({"backup", elsewhere.File("file/sub")});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("file/sub"));
    CliResult self = Run({"backup", home.Path()});
    EXPECT_EQ(self.status, 1);
    EXPECT_TRUE(FileExists(DataFile("news")));
}

TEST_F(BackupCommandsTest, AnUpdateCheckThatCannotFetchSaysUnknownAndFails) {
    // Nothing listens on port 1 of the loopback address: the connection is refused at once.
    CliResult r = Run({"check-update", "--url", "http://127.0.0.1:1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "The latest version is unknown.\n");
    EXPECT_EQ(OutputLines(r.err).size(), 1u) << r.err;
    EXPECT_FALSE(FileExists(paths.appDir + "temp.txt"));
}

}  // namespace
}  // namespace corvanteer::testing
