#pragma once

// The fixed names of the program: its application directory, the files in it, and the
// settings key (with "Test" appended in test mode).

#include <optional>
#include <string>
#include <string_view>

namespace corvanteer {

inline constexpr const char* kProductTitle = "Corvanteer";
inline constexpr const char* kSettingsKeyBase = "Software\\Brask Software\\Corvanteer";
inline constexpr const char* kDefaultListName = "Default List";

struct AppPaths {
    std::string appDir;  // always ends with "/"
    bool testMode = false;
    // The folder the home option names (ResolveAppDir's); appDir is its "test/" in test mode.
    std::string homeDir;

    // Finds the application directory: the --home option when given, else $CORVANTEER_HOME,
    // else $XDG_DATA_HOME/corvanteer, else ~/.local/share/corvanteer.
    static std::string ResolveAppDir(const std::optional<std::string>& homeOption);
    // Resolves and creates the directory (mode 0700). In test mode the application directory
    // is its folder "test/", created the same way, so that a test setup shares no roster,
    // queue, log or archive with the real one. Raises Failure when it cannot.
    static AppPaths Create(const std::optional<std::string>& homeOption, bool testMode);
    // For a directory that is already known (tests); homeDir is the same.
    static AppPaths ForDirectory(const std::string& dir, bool testMode = false);

    std::string SettingsKey() const;                       // ... "Corvanteer" [+ "Test"]
    std::string ListsKey() const;                          // SettingsKey() + "\Lists"
    std::string ListKey(std::string_view listName) const;  // ListsKey() + "\" + name

    std::string SettingsDatabase() const;   // "settings.sqlite"
    std::string LogFile() const;            // "Corvanteer.log"
    std::string VericodeFile() const;       // "vericode.dat"
    std::string ShutdownFile() const;       // "shutdown"
    std::string InstanceLockFile() const;   // "Corvanteer_MUTEX.lock" / "CorvanteerTEST_MUTEX.lock"
    std::string SessionLockFile() const;    // "session.lock"
    std::string StoreLockFile() const;      // "store.lock"
    std::string OAuthLockFile() const;      // "oauth.lock"
    std::string OutFolder() const;          // "out/"
    std::string BadQueueFolder() const;     // "out/bad/"
    std::string GivenUpFolder() const;      // "out/given-up/": past SmtpMaxAttempts
    std::string SendingRecordFile() const;  // "sending-caps.txt": recipients sent lately
    std::string MailNotesFile() const;      // "mail-notes.txt": messages left on servers
    std::string DefaultBackupDir() const;   // appDir + "Backup"
    std::string ListDataFile(std::string_view listName) const;       // appDir + name + ".dat"
    std::string TempFolder(std::string_view listName) const;         // appDir + "temp/" + name
    std::string ThreadsFolder(std::string_view listName) const;      // "Lists/<name>/threads/"
    std::string PostsFolder(std::string_view listName) const;        // "Lists/<name>/posts/"
    std::string MboxFolder(std::string_view listName) const;         // "Lists/<name>/mbox/"
    std::string HtmlArchiveFolder(std::string_view listName) const;  // "Lists/<name>/html/"
    std::string BounceStateFile(std::string_view listName) const;    // "Lists/<name>/bounces.txt"
};

}  // namespace corvanteer
