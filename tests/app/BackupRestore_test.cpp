#include "app/BackupRestore.h"

#include <gmock/gmock.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "AppFixture.h"
#include "support/Files.h"
#include "support/Status.h"

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
    const std::string bounces = "amy@example.test 1.0 2026-03-09 5.1.1 no - 0 - -\r\n";
    ForceDirectories(paths.appDir + "Lists/news");
    Spit(paths.BounceStateFile("news"), bounces);

    ActionResult backup = Backup(services, dir.File("Backup"));
    ASSERT_TRUE(backup.ok) << backup.message;
    EXPECT_EQ(backup.message, "Finished Backup.");
    EXPECT_THAT(observer.statusTexts, ::testing::ElementsAre("Finished Backup."));
    EXPECT_FALSE(FileExists(folder + "gone.dat"));
    EXPECT_FALSE(FileExists(folder + "quiet.dat"));
    EXPECT_FALSE(FileExists(folder + "registry.cfg.new"));
    EXPECT_EQ(Slurp(folder + "news.dat"), newsBefore);
    EXPECT_EQ(Slurp(folder + "chat.dat"), chatBefore);
    EXPECT_EQ(Slurp(folder + "news.bounces"), bounces);
    EXPECT_FALSE(FileExists(folder + "chat.bounces"));
    const std::string snapshot = Slurp(folder + "registry.cfg");
    EXPECT_EQ(snapshot.rfind("[\\Software\\Brask Software\\Corvanteer]\r\n", 0), 0u);
    EXPECT_THAT(snapshot, HasSubstr("[\\Software\\Brask Software\\Corvanteer\\Lists\\quiet]"));

    store->WriteRegString(ListKey("news"), "ListPostingAddress", "changed@example.test");
    store->WriteRegInteger(ListKey("chat"), "AllowPostBy", 0);
    SetSection("news", "MemberList", {});
    Spit(DataFile("chat"), "damaged");
    DeleteFileIfExists(paths.BounceStateFile("news"));

    ActionResult restore = Restore(services, dir.File("Backup"));
    ASSERT_TRUE(restore.ok) << restore.message;
    EXPECT_EQ(restore.message, "Configuration restored.\r\nPlease restart Corvanteer now.");
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "ListPostingAddress", ""), "news@example.test");
    EXPECT_EQ(store->ReadRegInteger(ListKey("chat"), "AllowPostBy", -1), 2);
    EXPECT_EQ(Slurp(DataFile("news")), newsBefore);
    EXPECT_EQ(Slurp(DataFile("chat")), chatBefore);
    EXPECT_EQ(Slurp(paths.BounceStateFile("news")), bounces);
}

// A backup of an older program may hold values the checks refuse: they are left out (and
// named), the rest comes back.
TEST_F(BackupRestoreTest, RestoreLeavesOutValuesTheChecksRefuse) {
    store->WriteRegString(ListKey("news"), "Pop3User", "news\r\nDELE 1");
    store->WriteRegInteger(paths.SettingsKey(), "SMTPPort", 99999);
    store->WriteRegString(paths.SettingsKey(), "SMTPHost", "smtp.example.test");
    ASSERT_TRUE(Backup(services, dir.File("Backup")).ok);
    store->DeleteValue(ListKey("news"), "Pop3User");
    store->DeleteValue(paths.SettingsKey(), "SMTPPort");
    store->WriteRegString(ListKey("news"), "ListPostingAddress", "changed@example.test");

    ActionResult restore = Restore(services, dir.File("Backup"));
    ASSERT_TRUE(restore.ok) << restore.message;
    EXPECT_EQ(restore.message,
              "Configuration restored.\r\nPlease restart Corvanteer now.\r\n"
              "Left out: SMTPPort (SMTPPort must lie between 1 and 65535 (not 99999))\r\n"
              "Left out: Pop3User of list news (Pop3User must be one line of text without "
              "control characters (CR, LF, NUL, tab and the like))");
    EXPECT_FALSE(store->ValueExists(ListKey("news"), "Pop3User"));
    EXPECT_FALSE(store->ValueExists(paths.SettingsKey(), "SMTPPort"));
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "ListPostingAddress", ""), "news@example.test");
}

TEST_F(BackupRestoreTest, DeliveryModesTravelWithTheirRoster) {
    Spit(paths.appDir + "news.modes", "amy@example.test digest\r\n");
    ASSERT_TRUE(Backup(services, folder).ok);
    EXPECT_EQ(Slurp(folder + "news.modes"), "amy@example.test digest\r\n");
    EXPECT_FALSE(FileExists(folder + "chat.modes"));

    Spit(paths.appDir + "news.modes", "amy@example.test nomail\r\n");
    Spit(paths.appDir + "chat.modes", "someone@example.test nomail\r\n");
    ASSERT_TRUE(Restore(services, folder).ok);
    EXPECT_EQ(Slurp(paths.appDir + "news.modes"), "amy@example.test digest\r\n");
    // The restored chat roster had no modes: every member gets each posting again.
    EXPECT_FALSE(FileExists(paths.appDir + "chat.modes"));

    // A modes file is part of the backup: damaged, the backup is refused.
    Spit(folder + "news.modes", "amy@example.test each\r\n");
    EXPECT_FALSE(Restore(services, folder).ok);
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

TEST_F(BackupRestoreTest, AFolderHoldingMoreThanABackupIsRefusedAsItIs) {
    // The folder is replaced as a whole, so one that holds anything else (/proc, a folder
    // where a file of the backup's is a folder, a document) is left alone.
    if (DirectoryExists("/proc/self")) {
        ActionResult result = Backup(services, "/proc");
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.message, HasSubstr("The backup folder \"/proc/\" also holds"));
    }
    ForceDirectories(folder + "registry.cfg.new");
    Spit(folder + "news.dat", "older backup");
    Spit(folder + "notes.txt", "mine");
    for (const char* foreign : {"registry.cfg.new", "notes.txt"}) {
        ActionResult result = Backup(services, folder);
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.message, HasSubstr("also holds \"" + std::string(foreign) + "\""));
        std::filesystem::remove_all(folder + foreign);
    }
    EXPECT_EQ(Slurp(folder + "news.dat"), "older backup");
    EXPECT_FALSE(FileExists(folder + "chat.dat"));
    EXPECT_TRUE(observer.statusTexts.empty());
    EXPECT_TRUE(Backup(services, folder).ok);  // only backup files left
}

// The folder's files by name, for "left exactly as it was" checks.
std::map<std::string, std::string> Contents(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        files[entry.path().filename().string()] = Slurp(entry.path().string());
    }
    return files;
}

TEST_F(BackupRestoreTest, ABackupKilledAtAnyStepLeavesTheOldOneWholeAndRestorable) {
    ASSERT_TRUE(Backup(services, folder).ok);
    const auto old = Contents(folder);
    EXPECT_EQ(old.count(kManifestName), 1u);
    SetSection("news", "MemberList", {"bob@example.test 0 222222"});
    store->WriteRegString(ListKey("news"), "ListPostingAddress", "new@example.test");

    for (const std::string step :
         {"registry.cfg", "chat.dat", "news.dat", "manifest.sha256", "swap"}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // A process of its own (its own store connection), ended at the step without
            // any cleaning up, as by kill -9.
            auto childStore = SettingsStore::Open(paths.SettingsDatabase());
            StoreConsole childConsole(*childStore, paths);
            StoreLock childLock(paths.StoreLockFile());
            Services childServices{paths,  *childStore, pop3,      smtp,        clock,
                                   random, observer,    childLock, childConsole};
            BackupHooks hooks;
            hooks.beforeStep = [&](const std::string& at) {
                if (at == step) {
                    ::_exit(0);
                }
            };
            try {
                Backup(childServices, folder, hooks);
            } catch (...) {
            }
            ::_exit(1);
        }
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << step;
        EXPECT_EQ(Contents(folder), old) << "killed before " << step;
    }
    ASSERT_TRUE(Restore(services, folder).ok);
    EXPECT_EQ(Section("news", "MemberList"), Lines{"amy@example.test 0 111111"});
    EXPECT_EQ(store->ReadRegString(ListKey("news"), "ListPostingAddress", ""), "news@example.test");

    // The next backup goes through; the killed ones' folders are young and stay for now.
    ASSERT_TRUE(Backup(services, folder).ok);
    EXPECT_EQ(Slurp(folder + "news.dat"), Slurp(DataFile("news")));
}

TEST_F(BackupRestoreTest, ABackupFailingHalfWayNamesTheFileAndKeepsTheOldOne) {
    ASSERT_TRUE(Backup(services, folder).ok);
    const auto old = Contents(folder);
    // A data file that cannot be read: a folder in its place.
    DeleteFileIfExists(DataFile("news"));
    ForceDirectories(DataFile("news"));
    try {
        Backup(services, folder);
        ADD_FAILURE() << "the backup did not fail";
    } catch (const Failure& failure) {
        EXPECT_THAT(failure.what(), HasSubstr("The backup stopped at \"news.dat\""));
        EXPECT_THAT(failure.what(), HasSubstr("is unchanged"));
    }
    EXPECT_EQ(Contents(folder), old);
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        EXPECT_FALSE(StartsWith(entry.path().filename().string(), ".Backup.new-"))
            << "work folder left behind";
    }
}

TEST_F(BackupRestoreTest, ABackupOnAFullDiskFailsAndKeepsTheOldOne) {
    const std::string disk = dir.File("disk");
    ForceDirectories(disk);
    if (!MountTmpfs(disk, "64k")) {
        GTEST_SKIP() << "this process may not mount";
    }
    struct Unmounter {
        std::string path;
        ~Unmounter() { Unmount(path); }
    } unmount{disk};
    const std::string small = disk + "/Backup/";
    ASSERT_TRUE(Backup(services, small).ok);
    const auto old = Contents(small);
    SetSection("news", "MemberList", Lines(4000, "member@example.test 0 123456"));
    try {
        Backup(services, small);
        ADD_FAILURE() << "the backup did not fail";
    } catch (const Failure& failure) {
        EXPECT_THAT(failure.what(), HasSubstr("\"news.dat\""));
        EXPECT_THAT(failure.what(), HasSubstr("No space left on device"));
    }
    EXPECT_EQ(Contents(small), old);
    EXPECT_TRUE(Restore(services, small).ok);
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

TEST_F(BackupRestoreTest, RestoreRefusesADamagedBackupAndChangesNothing) {
    ASSERT_TRUE(Backup(services, folder).ok);
    const std::string whole = Slurp(folder + "news.dat");
    std::string flipped = whole;
    flipped[flipped.size() - 3] ^= 1;
    struct Case {
        std::string file;
        std::string bytes;  // "" removes the file
        bool withManifest;
        std::string why;
    };
    const Case cases[] = {
        {"news.dat", whole.substr(0, whole.size() / 2), true, "bytes where manifest.sha256 says"},
        {"news.dat", flipped, true, "the SHA-256 of \"news.dat\" differs"},
        {"news.dat", "", true, "\"news.dat\" named in manifest.sha256 is missing"},
        {"extra.dat", "[A]\r\n####\r\n", true, "\"extra.dat\" is not named in"},
        {"manifest.sha256", "not a manifest\r\n", true, "manifest.sha256 cannot be read"},
        // A backup of an earlier version has no manifest: its data files must be whole.
        {"news.dat", whole.substr(0, whole.size() / 2), false, "is not a whole data file"},
    };
    SetSection("news", "MemberList", {"changed@example.test 0 333333"});
    store->WriteRegInteger(ListKey("chat"), "AllowPostBy", 1);
    const std::string before = Slurp(DataFile("news"));
    for (const Case& c : cases) {
        TempDir copy;
        std::filesystem::copy(folder, copy.Path(), std::filesystem::copy_options::recursive);
        if (!c.withManifest) {
            DeleteFileIfExists(copy.File(kManifestName));
        }
        if (c.bytes.empty()) {
            DeleteFileIfExists(copy.File(c.file));
        } else {
            Spit(copy.File(c.file), c.bytes);
        }
        ActionResult result = Restore(services, copy.Path());
        EXPECT_FALSE(result.ok) << c.why;
        EXPECT_THAT(result.message, HasSubstr(c.why));
        EXPECT_THAT(result.message, HasSubstr("Nothing was restored."));
        EXPECT_EQ(Slurp(DataFile("news")), before);
        EXPECT_EQ(store->ReadRegInteger(ListKey("chat"), "AllowPostBy", -1), 1);
    }
    // Without its manifest, the whole backup is restored.
    DeleteFileIfExists(folder + kManifestName);
    ASSERT_TRUE(Restore(services, folder).ok);
    EXPECT_EQ(Slurp(DataFile("news")), whole);
}

TEST_F(BackupRestoreTest, DefaultFolderIsTheBackupFolderOfTheApplicationDirectory) {
    EXPECT_EQ(DefaultBackupFolder(services), paths.appDir + "Backup");
    ASSERT_TRUE(Backup(services, DefaultBackupFolder(services)).ok);
    EXPECT_TRUE(FileExists(paths.appDir + "Backup/registry.cfg"));
}

}  // namespace
}  // namespace corvanteer::testing

namespace corvanteer::testing {
namespace {

TEST_F(BackupRestoreTest, ArchivesOfPostingsAreLeftOutAndTheMessageSaysSo) {
    ForceDirectories(paths.MboxFolder("news"));
    Spit(paths.MboxFolder("news") + "2026-05.mbox", "From a Fri May  1 12:00:00 2026\n\nx\n\n");
    ActionResult backup = Backup(services, dir.File("Backup"));
    ASSERT_TRUE(backup.ok) << backup.message;
    EXPECT_EQ(backup.message,
              "Finished Backup.\r\nThe archives of postings (Lists/<list>/mbox) are not part of "
              "the backup; copy them yourself if you need them: news.");
    EXPECT_THAT(observer.statusTexts, ::testing::ElementsAre("Finished Backup."));
    EXPECT_FALSE(FileExists(folder + "2026-05.mbox"));
}

}  // namespace
}  // namespace corvanteer::testing
