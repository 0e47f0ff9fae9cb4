#pragma once

// Backup and restore of the whole configuration: the settings key with everything below it
// as "registry.cfg", and the data file of every list, in one folder.

#include <string>

#include "app/ActionResult.h"
#include "engine/Services.h"

namespace corvanteer {

// The BackupDir setting as the console shows it now.
std::string DefaultBackupFolder(Services& services);

// Saves into the folder (a "/" is appended when it lacks one; created with its parents when
// missing): removes the "*.dat" files there, writes a new "registry.cfg" (the settings key
// without a root, so its headers begin "[\"), and copies the data file of every list of the
// console that has one. A data file that cannot be copied is skipped. Refused, before
// anything in the folder is deleted, when the folder is empty, cannot be created or cannot
// be written, or is the application directory itself (whose "*.dat" files are the lists). The
// message is "Finished Backup.", also shown as status text.
ActionResult Backup(Services& services, const std::string& folder);

// Writes "registry.cfg" of the folder back into the settings store (adding and overwriting,
// never deleting) and copies every "*.dat" file of the folder into the application directory
// (each replaced atomically under the store lock). Refused, changing nothing, when the folder
// does not exist or holds neither "registry.cfg" nor "*.dat" files. The message is
// "Configuration restored." + CR LF + "Please restart Corvanteer now."; a window ends after
// showing it. Raises Failure when a value or a file cannot be restored.
ActionResult Restore(Services& services, const std::string& folder);

}  // namespace corvanteer
