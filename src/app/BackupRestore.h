#pragma once

// Backup and restore of the whole configuration: the settings key with everything below it
// as "registry.cfg", and the data file (with its ".modes" file, when it has one) of every list,
// in one folder, with a manifest
// ("manifest.sha256") that lets restore tell a whole backup from a damaged one.

#include <functional>
#include <string>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

inline constexpr const char* kManifestName = "manifest.sha256";

// The BackupDir setting as the console shows it now.
std::string DefaultBackupFolder(Services& services);

struct BackupHooks {
    // For tests: called before each step ("registry.cfg", each "<list>.dat", the manifest's
    // name, "swap"), so a test can stop the process there.
    std::function<void(const std::string& step)> beforeStep;
};

// Saves into the folder (a "/" is appended when it lacks one; created with its parents when
// missing). The new backup is written whole into a new folder beside it ("registry.cfg" of
// the settings key, the data file of every list of the console that has one, and the
// manifest), every file synced to disk, and only then swapped with the folder; the old
// backup is removed after the swap. The message is "Finished Backup.", also shown as status
// text; when lists have archives of postings (Lists/<list>/mbox), which a backup leaves out,
// a second line says so and names them. Refused, changing nothing, when the folder is empty text,
// cannot be created, is the application directory or a mount point, or holds anything but a
// backup's files (the folder is replaced as a whole). A file that cannot be read or written raises
// Failure naming it; the old backup then stays as it was. A list's bounce state goes along as
// "<list>.bounces" (and comes back into "Lists/<list>/bounces.txt" on restore).
ActionResult Backup(Services& services, const std::string& folder, const BackupHooks& hooks = {});

// Checks the backup first and changes nothing when it is refused: the folder must exist and
// hold "registry.cfg" or "*.dat" files; with a manifest, every file it names must be there
// with its size and SHA-256 and every file restored must be named in it; every "*.dat" must
// be a whole section file (also without a manifest, as backups of earlier versions have
// none). Then writes "registry.cfg" back into the settings store (adding and overwriting,
// never deleting) and copies every "*.dat" file into the application directory (each
// replaced atomically under the store lock), with the "<name>.modes" file of the same name
// from the backup or, when it has none, without one. A setting the checks refuse
// (SettingRefusal: an older program stored it) is not written; its default stands. The
// message is "Configuration restored." + CR LF + "Please restart Corvanteer now.", followed by
// a line "Left out: <name> [of list <list>] (<why>)" for each value left out; a window ends
// after showing it.
ActionResult Restore(Services& services, const std::string& folder);

}  // namespace corvanteer
