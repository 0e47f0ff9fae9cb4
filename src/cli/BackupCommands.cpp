// backup, restore and check-update.

#include <ostream>

#include "app/BackupRestore.h"
#include "app/UpdateCheck.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "support/Version.h"

namespace corvanteer::cli {

int BackupCommand(CliSession& session, const std::optional<std::string>& folder) {
    Services& services = session.services();
    return Finish(Backup(services, folder ? *folder : DefaultBackupFolder(services)),
                  session.io().out);
}

int RestoreCommand(CliSession& session, const std::optional<std::string>& folder) {
    Services& services = session.services();
    return Finish(Restore(services, folder ? *folder : DefaultBackupFolder(services)),
                  session.io().out);
}

int CheckUpdate(CliSession& session, const std::optional<std::string>& baseUrl) {
    const std::string base = baseUrl ? *baseUrl : std::string(kUpdateBaseUrl);
    const UpdateCheckResult result =
        CheckForUpdate(session.http(), session.paths(), kProgramVersion, base);
    PrintText(session.io().out, result.message);
    if (result.newer) {
        session.io().out << "What's new: " << WhatsNewUrl(base) << '\n';
    }
    if (!result.fetchError.empty()) {
        // The message says "unknown"; the reason is a failure of its own.
        Refuse("The version list could not be fetched: " + result.fetchError);
    }
    return kExitDone;
}

}  // namespace corvanteer::cli
