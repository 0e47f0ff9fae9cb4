// status: how the installation is doing, for a person or (--json) for monitoring; --check
// exits 1 when something needs a look.

#include <ostream>

#include "app/StatusReport.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"

namespace corvanteer::cli {

int Status(CliSession& session, bool json, bool check) {
    const InstallationStatus status = CollectStatus(session.services());
    session.io().out << (json ? StatusJson(status) : StatusText(status));
    if (!check) {
        return kExitDone;
    }
    // For monitoring systems: the status says whether to raise the alarm, the lines why.
    const std::vector<std::string> problems = StatusProblems(status);
    if (!json) {
        for (const std::string& problem : problems) {
            session.io().out << "check: " << problem << '\n';
        }
        if (problems.empty()) {
            session.io().out << "check: ok\n";
        }
    }
    return problems.empty() ? kExitDone : kExitFailed;
}

}  // namespace corvanteer::cli
