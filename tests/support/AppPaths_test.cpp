#include "support/AppPaths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include "common/TempDir.h"
#include "support/Files.h"

namespace corvanteer {
namespace {

using testing::TempDir;

// Sets (or clears, for nullptr) an environment variable for one test and puts it back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_.c_str(), old_->c_str(), 1);
        } else {
            ::unsetenv(name_.c_str());
        }
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

TEST(AppPaths, DirectoryComesFromOptionThenEnvironmentThenHome) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().c_str());
    ScopedEnv data("XDG_DATA_HOME", nullptr);
    ScopedEnv corv("CORVANTEER_HOME", nullptr);
    EXPECT_EQ(AppPaths::ResolveAppDir(std::nullopt), dir.Path() + "/.local/share/corvanteer/");
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/data");  // invalid, ignored
        EXPECT_EQ(AppPaths::ResolveAppDir(std::nullopt), dir.Path() + "/.local/share/corvanteer/");
    }
    ScopedEnv xdg("XDG_DATA_HOME", (dir.Path() + "/data").c_str());
    EXPECT_EQ(AppPaths::ResolveAppDir(std::nullopt), dir.Path() + "/data/corvanteer/");
    ScopedEnv env("CORVANTEER_HOME", (dir.Path() + "/env").c_str());
    EXPECT_EQ(AppPaths::ResolveAppDir(std::nullopt), dir.Path() + "/env/");
    EXPECT_EQ(AppPaths::ResolveAppDir(dir.Path() + "/opt/"), dir.Path() + "/opt/");
    EXPECT_EQ(AppPaths::ResolveAppDir(std::string()), dir.Path() + "/env/");
}

TEST(AppPaths, CreateMakesAPrivateDirectory) {
    TempDir dir;
    const std::string home = dir.Path() + "/a/b/corvanteer";
    AppPaths paths = AppPaths::Create(home, false);
    EXPECT_EQ(paths.appDir, home + "/");
    ASSERT_TRUE(DirectoryExists(home));
    struct stat st {};
    ASSERT_EQ(::stat(home.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // An existing directory is used as it is; test mode works in a private folder of its own.
    const AppPaths test = AppPaths::Create(home + "/", true);
    EXPECT_EQ(test.appDir, home + "/test/");
    EXPECT_EQ(test.homeDir, home + "/");
    ASSERT_EQ(::stat((home + "/test").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    testing::Spit(dir.File("file"), "x");
    EXPECT_ANY_THROW(AppPaths::Create(dir.File("file"), false));
}

TEST(AppPaths, FixedNamesAndKeys) {
    AppPaths normal = AppPaths::ForDirectory("/data/corv");
    EXPECT_EQ(normal.appDir, "/data/corv/");
    EXPECT_EQ(normal.SettingsKey(), "Software\\Brask Software\\Corvanteer");
    EXPECT_EQ(normal.ListsKey(), "Software\\Brask Software\\Corvanteer\\Lists");
    EXPECT_EQ(normal.ListKey("Default List"),
              "Software\\Brask Software\\Corvanteer\\Lists\\Default List");
    EXPECT_EQ(normal.SettingsDatabase(), "/data/corv/settings.sqlite");
    EXPECT_EQ(normal.LogFile(), "/data/corv/Corvanteer.log");
    EXPECT_EQ(normal.VericodeFile(), "/data/corv/vericode.dat");
    EXPECT_EQ(normal.ShutdownFile(), "/data/corv/shutdown");
    EXPECT_EQ(normal.InstanceLockFile(), "/data/corv/Corvanteer_MUTEX.lock");
    EXPECT_EQ(normal.SessionLockFile(), "/data/corv/session.lock");
    EXPECT_EQ(normal.StoreLockFile(), "/data/corv/store.lock");
    EXPECT_EQ(normal.OutFolder(), "/data/corv/out/");
    EXPECT_EQ(normal.BadQueueFolder(), "/data/corv/out/bad/");
    EXPECT_EQ(normal.DefaultBackupDir(), "/data/corv/Backup");
    EXPECT_EQ(normal.ListDataFile("news"), "/data/corv/news.dat");
    EXPECT_EQ(normal.TempFolder("news"), "/data/corv/temp/news");
    EXPECT_EQ(normal.ThreadsFolder("news"), "/data/corv/Lists/news/threads/");
    EXPECT_EQ(normal.PostsFolder("news"), "/data/corv/Lists/news/posts/");

    AppPaths test = AppPaths::ForDirectory("/data/corv/", true);
    EXPECT_EQ(test.SettingsKey(), "Software\\Brask Software\\CorvanteerTest");
    EXPECT_EQ(test.ListKey("news"), "Software\\Brask Software\\CorvanteerTest\\Lists\\news");
    EXPECT_EQ(test.InstanceLockFile(), "/data/corv/CorvanteerTEST_MUTEX.lock");
    EXPECT_EQ(test.LogFile(), "/data/corv/Corvanteer.log");
}

}  // namespace
}  // namespace corvanteer
