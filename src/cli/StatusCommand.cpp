// status: how the installation is doing, for a person or (--json) for monitoring.

#include <ostream>

#include "app/StatusReport.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"

namespace corvanteer::cli {

int Status(CliSession& session, bool json) {
    const InstallationStatus status = CollectStatus(session.services());
    session.io().out << (json ? StatusJson(status) : StatusText(status));
    return kExitDone;
}

}  // namespace corvanteer::cli
