#include "app/BackupRestore.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "app/BackupManifest.h"
#include "app/RegistrySnapshot.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

constexpr const char* kSnapshotName = "registry.cfg";
// Written by earlier versions before the snapshot was renamed into place.
constexpr const char* kOldNewSnapshotName = "registry.cfg.new";
// A new folder of a backup that was killed is removed by a later backup after this long (a
// backup running in another process meanwhile is younger).
constexpr std::time_t kStaleSeconds = 3600;
constexpr std::string_view kNewMark = ".new-";
constexpr std::string_view kOldMark = ".old-";

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

bool IsBackupFileName(std::string_view name) {
    return name == kSnapshotName || name == kManifestName || name == kOldNewSnapshotName ||
           (name.size() > 4 && SameText(name.substr(name.size() - 4), ".dat"));
}

// The first entry of the folder that is not a backup's file, or "".
std::string ForeignEntry(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return "";
    }
    std::string foreign;
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat st {};
        if (::lstat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            !IsBackupFileName(name)) {
            foreign = name;
            break;
        }
    }
    ::closedir(dir);
    return foreign;
}

// Folders of backups that were killed before their swap (".<name>.new-XXXXXX") or before the
// old backup was removed (".<name>.old-XXXXXX").
void RemoveStaleWorkFolders(const std::string& parent, const std::string& base) {
    DIR* dir = ::opendir(parent.c_str());
    if (dir == nullptr) {
        return;
    }
    const std::time_t olderThan = std::time(nullptr) - kStaleSeconds;
    std::vector<std::string> stale;
    const std::string prefix = "." + base;
    while (dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        const bool ours = name.size() == prefix.size() + kNewMark.size() + 6 &&
                          StartsWith(name, prefix) &&
                          (name.substr(prefix.size(), kNewMark.size()) == kNewMark ||
                           name.substr(prefix.size(), kOldMark.size()) == kOldMark);
        struct stat st {};
        const std::string path = parent + "/" + std::string(name);
        if (ours && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
            st.st_mtime < olderThan) {
            stale.push_back(path);
        }
    }
    ::closedir(dir);
    for (const std::string& path : stale) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
}

// A new folder beside the backup folder, removed again unless kept.
class WorkFolder {
public:
    WorkFolder(const std::string& parent, const std::string& base, std::string_view mark) {
        std::string pattern = parent + "/." + base + std::string(mark) + "XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) {
            ThrowIoError("Cannot create the folder", pattern, errno);
        }
        path_.assign(name.data());
        ::chmod(path_.c_str(), kPrivateFolderMode);
    }
    ~WorkFolder() {
        if (!path_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path_, ignored);
        }
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Puts the complete new folder in the place of the old one. The old backup ends up in
// fresh's place (removed with it); a crash in between leaves one of the two whole in place.
void SwapIn(const std::string& fresh, const std::string& folder, const std::string& parent,
            const std::string& base) {
    if (::renameat2(AT_FDCWD, fresh.c_str(), AT_FDCWD, folder.c_str(), RENAME_EXCHANGE) == 0) {
        SyncFolder(parent);
        return;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        ThrowIoError("Cannot replace the folder", folder, errno);
    }
    // A file system without an atomic exchange: move the old backup aside, then the new one
    // in, and the old one back when that fails.
    WorkFolder aside(parent, base, kOldMark);
    if (::rename(folder.c_str(), aside.path().c_str()) != 0) {
        ThrowIoError("Cannot replace the folder", folder, errno);
    }
    if (::rename(fresh.c_str(), folder.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.path().c_str(), folder.c_str());
        ThrowIoError("Cannot replace the folder", folder, error);
    }
    SyncFolder(parent);
}

class BackupWriter {
public:
    BackupWriter(Services& services, const BackupHooks& hooks, std::string folder, std::string work)
        : services_(services), hooks_(hooks), folder_(std::move(folder)), work_(std::move(work)) {}

    void Add(const std::string& name, const std::string& bytes) {
        Step(name, [&] { WriteNewFileSynced(work_ + "/" + name, bytes, false); });
        entries_.push_back(ManifestEntryOf(name, bytes));
    }

    void WriteAll() {
        Add(kSnapshotName, RegistrySnapshotText(services_.store, services_.paths.SettingsKey()));
        for (const std::string& list : services_.console.ListNames()) {
            std::optional<std::string> bytes;
            const std::string name = list + ".dat";
            Step(name, [&] { bytes = ReadFileIfExists(services_.paths.ListDataFile(list)); });
            if (bytes) {
                Add(name, *bytes);
            }
        }
        Step(kManifestName, [&] {
            WriteNewFileSynced(work_ + "/" + kManifestName, FormatManifest(entries_), false);
            SyncFolder(work_);
        });
    }

    template <typename Body>
    void Step(const std::string& name, Body&& body) {
        if (hooks_.beforeStep) {
            hooks_.beforeStep(name);
        }
        try {
            body();
        } catch (const std::exception& error) {
            throw Failure(ErrorKind::Io, "The backup stopped at " + Quoted(name) + ": " +
                                             error.what() + ". The previous backup in " +
                                             Quoted(folder_) + " is unchanged.");
        }
    }

private:
    Services& services_;
    const BackupHooks& hooks_;
    std::string folder_;
    std::string work_;
    std::vector<ManifestEntry> entries_;
};

ActionResult Damaged(const std::string& folder, const std::string& what) {
    return ActionResult::Refused("The backup in " + Quoted(folder) + " is damaged: " + what +
                                 ". Nothing was restored.");
}

// Why the backup's files do not match its manifest, or "".
std::string ManifestMismatch(const std::vector<ManifestEntry>& manifest,
                             const std::map<std::string, std::string>& files) {
    std::map<std::string, const ManifestEntry*> listed;
    for (const ManifestEntry& entry : manifest) {
        listed[entry.name] = &entry;
        auto file = files.find(entry.name);
        if (file == files.end()) {
            return Quoted(entry.name) + " named in " + kManifestName + " is missing";
        }
        if (file->second.size() != entry.size) {
            return Quoted(entry.name) + " has " + std::to_string(file->second.size()) +
                   " bytes where " + kManifestName + " says " + std::to_string(entry.size);
        }
        if (ManifestEntryOf(entry.name, file->second).sha256 != entry.sha256) {
            return "the SHA-256 of " + Quoted(entry.name) + " differs from " + kManifestName;
        }
    }
    for (const auto& file : files) {
        if (listed.count(file.first) == 0) {
            return Quoted(file.first) + " is not named in " + kManifestName;
        }
    }
    return "";
}

}  // namespace

std::string DefaultBackupFolder(Services& services) {
    return services.console.Globals().BackupDir;
}

ActionResult Backup(Services& services, const std::string& folderText, const BackupHooks& hooks) {
    if (Trim(folderText).empty()) {
        return ActionResult::Refused("No backup folder is set.");
    }
    const std::string folder = AddBackslash(folderText);
    try {
        ForceDirectories(folder);
    } catch (const Failure& failure) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) +
                                     " cannot be created: " + failure.what());
    }

    // Removing the "*.dat" files of the application directory would delete the lists.
    std::error_code error;
    if (std::filesystem::equivalent(folder, services.paths.appDir, error)) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) +
                                     " is the application directory; choose another folder.");
    }
    // The folder itself is swapped, so it is named by its real path (not a link to it).
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    if (error || !real.has_parent_path() || real == real.root_path()) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) + " cannot be used.");
    }
    const std::string realFolder = real.string();
    const std::string parent = real.parent_path().string();
    const std::string base = real.filename().string();

    const std::string foreign = ForeignEntry(realFolder);
    if (!foreign.empty()) {
        return ActionResult::Refused(
            "The backup folder " + Quoted(folder) + " also holds " + Quoted(foreign) +
            ", which is not part of a backup. A backup replaces its folder as a whole: choose "
            "a folder of its own.");
    }
    struct stat inner {};
    struct stat outer {};
    if (::stat(realFolder.c_str(), &inner) != 0 || ::stat(parent.c_str(), &outer) != 0 ||
        inner.st_dev != outer.st_dev) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) +
                                     " is a mount point, which cannot be replaced as a whole: "
                                     "choose a folder inside it.");
    }

    RemoveStaleWorkFolders(parent, base);
    std::unique_ptr<WorkFolder> work;
    try {
        work = std::make_unique<WorkFolder>(parent, base, kNewMark);
    } catch (const Failure& failure) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) +
                                     " cannot be written: " + failure.what());
    }
    BackupWriter writer(services, hooks, folder, work->path());
    writer.WriteAll();
    writer.Step("swap", [&] { SwapIn(work->path(), realFolder, parent, base); });
    work.reset();  // after the swap it holds the old backup

    services.observer.StatusText("Finished Backup.");
    return ActionResult::Done("Finished Backup.");
}

ActionResult Restore(Services& services, const std::string& folderText) {
    if (Trim(folderText).empty()) {
        return ActionResult::Refused("No backup folder is set.");
    }
    const std::string folder = AddBackslash(folderText);
    if (!DirectoryExists(folder)) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) + " does not exist.");
    }
    const bool hasSnapshot = FileExists(folder + kSnapshotName);
    const std::vector<std::string> dataFiles = ListFiles(folder, ".dat");
    if (!hasSnapshot && dataFiles.empty()) {
        return ActionResult::Refused("The folder " + Quoted(folder) +
                                     " holds no backup: neither \"registry.cfg\" nor \"*.dat\" "
                                     "files. Nothing was restored.");
    }

    // Everything is read and checked before anything is changed.
    std::map<std::string, std::string> files;
    if (hasSnapshot) {
        files[kSnapshotName] = ReadFile(folder + kSnapshotName);
    }
    for (const std::string& name : dataFiles) {
        files[name] = ReadFile(folder + name);
    }
    if (std::optional<std::string> text = ReadFileIfExists(folder + kManifestName)) {
        std::string why;
        std::optional<std::vector<ManifestEntry>> manifest = ParseManifest(*text, why);
        if (!manifest) {
            return Damaged(folder, std::string(kManifestName) + " cannot be read: " + why);
        }
        why = ManifestMismatch(*manifest, files);
        if (!why.empty()) {
            return Damaged(folder, why);
        }
    }
    for (const std::string& name : dataFiles) {
        const std::string defect = SectionFileDefect(files[name]);
        if (!defect.empty()) {
            return Damaged(folder, Quoted(name) + " is not a whole data file (" + defect + ")");
        }
    }

    if (hasSnapshot) {
        ImportRegistry(services.store, folder + kSnapshotName);
    }
    for (const std::string& name : dataFiles) {
        std::lock_guard<StoreLock> guard(services.storeLock);
        WriteFileAtomic(services.paths.appDir + name, files[name]);
    }
    return ActionResult::Done("Configuration restored.\r\nPlease restart Corvanteer now.");
}

}  // namespace corvanteer
