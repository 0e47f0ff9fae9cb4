#include "app/BackupRestore.h"

#include <filesystem>
#include <mutex>

#include "support/Files.h"
#include "support/RegistrySnapshot.h"
#include "support/Status.h"

namespace corvanteer {

namespace {

constexpr const char* kSnapshotName = "registry.cfg";
// The snapshot is written here first: the snapshot routine cannot report a failed write, so
// a folder that takes no file is found out before anything in it has been deleted.
constexpr const char* kNewSnapshotName = "registry.cfg.new";

std::string Quoted(const std::string& folder) {
    return "\"" + folder + "\"";
}

}  // namespace

std::string DefaultBackupFolder(Services& services) {
    return services.console.Globals().BackupDir;
}

ActionResult Backup(Services& services, const std::string& folderText) {
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
    std::error_code sameError;
    if (std::filesystem::equivalent(folder, services.paths.appDir, sameError)) {
        return ActionResult::Refused("The backup folder " + Quoted(folder) +
                                     " is the application directory; choose another folder.");
    }

    const std::string newSnapshot = folder + kNewSnapshotName;
    std::string writeError;
    try {
        DeleteFileIfExists(newSnapshot);
        ExportRegistry(services.store, newSnapshot, services.paths.SettingsKey());
    } catch (const Failure& failure) {
        writeError = std::string(": ") + failure.what();
    }
    if (!writeError.empty() || !FileExists(newSnapshot)) {
        DeleteFileIfExists(newSnapshot);
        return ActionResult::Refused("The backup folder " + Quoted(folder) + " cannot be written" +
                                     (writeError.empty() ? std::string(".") : writeError));
    }

    for (const std::string& name : ListFiles(folder, ".dat")) {
        DeleteFileIfExists(folder + name);
    }
    std::error_code error;
    std::filesystem::rename(newSnapshot, folder + kSnapshotName, error);
    if (error) {
        DeleteFileIfExists(newSnapshot);
        ThrowIoError("Cannot write", folder + kSnapshotName, error.value());
    }

    for (const std::string& list : services.console.ListNames()) {
        const std::string dataFile = services.paths.ListDataFile(list);
        if (!FileExists(dataFile)) {
            continue;
        }
        std::error_code ignored;  // a file that cannot be copied is skipped
        std::filesystem::copy_file(dataFile, folder + list + ".dat",
                                   std::filesystem::copy_options::overwrite_existing, ignored);
    }

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

    if (hasSnapshot) {
        ImportRegistry(services.store, folder + kSnapshotName);
    }
    for (const std::string& name : dataFiles) {
        const std::string bytes = ReadFile(folder + name);
        std::lock_guard<StoreLock> guard(services.storeLock);
        WriteFileAtomic(services.paths.appDir + name, bytes);
    }
    return ActionResult::Done("Configuration restored.\r\nPlease restart Corvanteer now.");
}

}  // namespace corvanteer
