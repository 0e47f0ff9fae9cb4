#include "app/BackupRestore.h"

#include <gmock/gmock.h>

#include "AppFixture.h"
#include "support/Files.h"

namespace corvanteer::testing {
namespace {

using ::testing::HasSubstr;

class BackupRestoreTest : public AppTest {
protected:
    BackupRestoreTest() {
        MakeList("news");
        MakeList("chat");
        store->WriteRegString(ListKey("news"), "ListPostingAddress", "news@example.test");
        store->WriteRegInteger(ListKey("chat"), "AllowPostBy", 2);
        SetSection("news", "MemberList", {"amy@example.test 0 111111"});
        SetSection("chat", "Signature", {"-- ", "chat"});
        folder = dir.File("Backup") + "/";
    }

    std::string folder;
};

TEST_F(BackupRestoreTest, BackupThenChangeThenRestoreGivesTheConfigurationBack) {
    // A list without a data file contributes its settings only; an old *.dat of the folder
    // (a list deleted since) does not survive.
    MakeList("quiet");
    ForceDirectories(folder);
    Spit(folder + "gone.dat", "old");
    const std::string newsBefore = Slurp(DataFile("news"));
    const std::string chatBefore = Slurp(DataFile("chat"));

    ActionResult backup = Backup(services, dir.File("Backup"));
    ASSERT_TRUE(backup.ok) << backup.message;
    EXPECT_EQ(backup.message, "Finished Backup.");
    EXPECT_THAT(observer.statusTexts, ::testing::ElementsAre("Finished Backup."));
    EXPECT_FALSE(FileExists(folder + "gone.dat"));
    EXPECT_FALSE(FileExists(folder + "quiet.dat"));
    EXPECT_FALSE(FileExists(folder + "registry.cfg.new"));
    EXPECT_EQ(Slurp(folder + "news.dat"), newsBefore);
    EXPECT_EQ(Slurp(folder + "chat.dat"), chatBefore);
    const std::string snapshot = Slurp(folder + "registry.cfg");
    EXPECT_EQ(snapshot.rfind("[\\Software\\Brask Software\\Corvanteer]\r\n", 0), 0u);
    EXPECT_THAT(snapshot, HasSubstr("[\\Software\\Brask Software\\Corvanteer\\Lists\\quiet]"));

    store->WriteRegString(ListKey("news"), "ListPostingAddress", "changed@example.test");
    store->WriteRegInteger(ListKey("chat"), "AllowPostBy", 0);
    SetSection("news", "MemberList", {});
    Spit(DataFile("chat"), "damaged");

    ActionResult restore = Restore(services, dir.File("Backup"));
    ASSERT_TRUE(restore.ok) << restore.message;
    EXPECT_EQ(restore.message, "Configuration restored.\r\nPlease restart Corvanteer now.");
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "ListPostingAddress", ""), "news@example.test");
    EXPECT_EQ(store->ReadRegInteger(ListKey("chat"), "AllowPostBy", -1), 2);
    EXPECT_EQ(Slurp(DataFile("news")), newsBefore);
    EXPECT_EQ(Slurp(DataFile("chat")), chatBefore);
}

TEST_F(BackupRestoreTest, BackupIntoAFolderThatCannotBeCreatedDeletesNothing) {
    // A file stands where a parent folder would have to be created.
    Spit(dir.File("blocker"), "x");
    ActionResult result = Backup(services, dir.File("blocker") + "/Backup");
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.message, HasSubstr(dir.File("blocker") + "/Backup/"));
    EXPECT_THAT(result.message, HasSubstr("cannot be created"));
    EXPECT_TRUE(observer.statusTexts.empty());

    EXPECT_FALSE(Backup(services, "  ").ok);
}

TEST_F(BackupRestoreTest, BackupIntoAFolderThatCannotBeWrittenIsRefused) {
    // Nobody, the superuser included, creates files in /proc.
    if (!DirectoryExists("/proc/self")) {
        GTEST_SKIP() << "no /proc here";
    }
    ActionResult result = Backup(services, "/proc");
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.message, HasSubstr("The backup folder \"/proc/\" cannot be written"));
    EXPECT_TRUE(observer.statusTexts.empty());
}

TEST_F(BackupRestoreTest, BackupThatCannotWriteItsSnapshotDeletesNothing) {
    // A folder where the new snapshot's name is taken by a folder: no file can be written
    // there, whoever runs the test.
    ForceDirectories(folder + "registry.cfg.new");
    Spit(folder + "news.dat", "older backup");
    Spit(folder + "registry.cfg", "older snapshot");
    ActionResult result = Backup(services, folder);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.message,
                HasSubstr("The backup folder \"" + folder + "\" cannot be written"));
    EXPECT_EQ(Slurp(folder + "news.dat"), "older backup");
    EXPECT_EQ(Slurp(folder + "registry.cfg"), "older snapshot");
    EXPECT_FALSE(FileExists(folder + "chat.dat"));
}

TEST_F(BackupRestoreTest, BackupIntoTheApplicationDirectoryIsRefused) {
    ActionResult result = Backup(services, paths.appDir);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.message, HasSubstr("application directory"));
    EXPECT_TRUE(FileExists(DataFile("news")));
    EXPECT_FALSE(FileExists(paths.appDir + "registry.cfg"));
}

TEST_F(BackupRestoreTest, RestoreFromAFolderWithoutABackupChangesNothing) {
    ForceDirectories(folder);
    Spit(folder + "notes.txt", "not a backup");
    const std::string newsBefore = Slurp(DataFile("news"));
    ActionResult result = Restore(services, folder);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.message, HasSubstr(folder));
    EXPECT_THAT(result.message, HasSubstr("registry.cfg"));
    EXPECT_EQ(Slurp(DataFile("news")), newsBefore);

    ActionResult missing = Restore(services, dir.File("nowhere"));
    EXPECT_FALSE(missing.ok);
    EXPECT_THAT(missing.message, HasSubstr("does not exist"));
}

TEST_F(BackupRestoreTest, RestoreWithoutSnapshotStillRestoresDataFiles) {
    ForceDirectories(folder);
    Spit(folder + "news.dat", "[MemberList]\r\nzed@example.test 0 999999\r\n\r\n####\r\n");
    ActionResult result = Restore(services, folder);
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(Section("news", "MemberList"), Lines{"zed@example.test 0 999999"});
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "ListPostingAddress", ""), "news@example.test");
}

TEST_F(BackupRestoreTest, DefaultFolderIsTheBackupFolderOfTheApplicationDirectory) {
    EXPECT_EQ(DefaultBackupFolder(services), paths.appDir + "Backup");
    ASSERT_TRUE(Backup(services, DefaultBackupFolder(services)).ok);
    EXPECT_TRUE(FileExists(paths.appDir + "Backup/registry.cfg"));
}

}  // namespace
}  // namespace corvanteer::testing
