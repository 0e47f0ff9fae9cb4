#include "support/AppPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

std::optional<std::string> Env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::string HomeDirectory() {
    if (auto home = Env("HOME")) {
        return *home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
        return entry->pw_dir;
    }
    throw Failure(ErrorKind::Unavailable,
                  "Cannot find the home directory (HOME is not set); use --home");
}

}  // namespace

std::string AppPaths::ResolveAppDir(const std::optional<std::string>& homeOption) {
    std::string dir;
    if (homeOption && !homeOption->empty()) {
        dir = *homeOption;
    } else if (auto home = Env("CORVANTEER_HOME")) {
        dir = *home;
    } else if (auto data = Env("XDG_DATA_HOME"); data && data->front() == '/') {
        // A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules ask.
        dir = *data + "/corvanteer";
    } else {
        dir = HomeDirectory() + "/.local/share/corvanteer";
    }
    // The program changes its current directory, so a relative --home is fixed now.
    std::error_code ignored;
    std::filesystem::path absolute = std::filesystem::absolute(dir, ignored);
    if (!absolute.empty()) {
        dir = absolute.lexically_normal().string();
    }
    return AddBackslash(dir);
}

namespace {

// Creates dir (without its final "/") when it is missing, mode 0700, and its parents.
void CreatePrivateFolder(std::string dir) {
    if (dir.size() > 1) {
        dir.pop_back();
    }
    if (DirectoryExists(dir)) {
        return;
    }
    std::filesystem::path parent = std::filesystem::path(dir).parent_path();
    if (!parent.empty()) {
        ForceDirectories(parent.string());
    }
    // The folder holds passwords (scrambled only): it is the user's alone.
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        ThrowIoError("Cannot create the folder", dir, errno);
    }
    if (!DirectoryExists(dir)) {
        ThrowIoError("Cannot create the folder", dir, ENOTDIR);
    }
}

}  // namespace

AppPaths AppPaths::Create(const std::optional<std::string>& homeOption, bool testMode) {
    const std::string home = ResolveAppDir(homeOption);
    AppPaths paths = ForDirectory(testMode ? home + "test/" : home, testMode);
    paths.homeDir = home;
    CreatePrivateFolder(home);
    if (testMode) {
        CreatePrivateFolder(paths.appDir);
    }
    return paths;
}

AppPaths AppPaths::ForDirectory(const std::string& dir, bool testMode) {
    AppPaths paths;
    paths.appDir = AddBackslash(dir);
    paths.homeDir = paths.appDir;
    paths.testMode = testMode;
    return paths;
}

std::string AppPaths::SettingsKey() const {
    return std::string(kSettingsKeyBase) + (testMode ? "Test" : "");
}

std::string AppPaths::ListsKey() const {
    return SettingsKey() + "\\Lists";
}

std::string AppPaths::ListKey(std::string_view listName) const {
    return ListsKey() + "\\" + std::string(listName);
}

std::string AppPaths::SettingsDatabase() const {
    return appDir + "settings.sqlite";
}
std::string AppPaths::LogFile() const {
    return appDir + "Corvanteer.log";
}
std::string AppPaths::VericodeFile() const {
    return appDir + "vericode.dat";
}
std::string AppPaths::ShutdownFile() const {
    return appDir + "shutdown";
}

std::string AppPaths::InstanceLockFile() const {
    return appDir + (testMode ? "CorvanteerTEST_MUTEX.lock" : "Corvanteer_MUTEX.lock");
}

std::string AppPaths::SessionLockFile() const {
    return appDir + "session.lock";
}
std::string AppPaths::StoreLockFile() const {
    return appDir + "store.lock";
}

std::string AppPaths::OAuthLockFile() const {
    return appDir + "oauth.lock";
}

std::string AppPaths::OutFolder() const {
    return appDir + "out/";
}
std::string AppPaths::BadQueueFolder() const {
    return appDir + "out/bad/";
}
std::string AppPaths::GivenUpFolder() const {
    return appDir + "out/given-up/";
}
std::string AppPaths::SendingRecordFile() const {
    return appDir + "sending-caps.txt";
}
std::string AppPaths::MailNotesFile() const {
    return appDir + "mail-notes.txt";
}
std::string AppPaths::DefaultBackupDir() const {
    return appDir + "Backup";
}

std::string AppPaths::ListDataFile(std::string_view listName) const {
    return appDir + std::string(listName) + ".dat";
}

std::string AppPaths::TempFolder(std::string_view listName) const {
    return appDir + "temp/" + std::string(listName);
}

std::string AppPaths::ThreadsFolder(std::string_view listName) const {
    return appDir + "Lists/" + std::string(listName) + "/threads/";
}

std::string AppPaths::PostsFolder(std::string_view listName) const {
    return appDir + "Lists/" + std::string(listName) + "/posts/";
}

std::string AppPaths::MboxFolder(std::string_view listName) const {
    return appDir + "Lists/" + std::string(listName) + "/mbox/";
}

std::string AppPaths::HtmlArchiveFolder(std::string_view listName) const {
    return appDir + "Lists/" + std::string(listName) + "/html/";
}

std::string AppPaths::BounceStateFile(std::string_view listName) const {
    return appDir + "Lists/" + std::string(listName) + "/bounces.txt";
}

}  // namespace corvanteer
