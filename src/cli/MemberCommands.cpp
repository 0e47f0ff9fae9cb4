// members show|add|remove|ban|unban|password|mode|import|export|enable|disable: the Members
// page's operations.

#include <ostream>

#include "app/BounceOperations.h"
#include "app/ImportExport.h"
#include "app/JsonOutputs.h"
#include "app/MemberModeOperations.h"
#include "app/RosterOperations.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"

namespace corvanteer::cli {

int MembersShow(CliSession& session, const std::string& listName, bool json) {
    const std::string list = session.RequireList(listName);
    const RosterView roster = FillRoster(session.services(), list);
    if (json) {
        session.io().out << MembersJson(list, roster);
        return kExitDone;
    }
    for (const RosterEntry& entry : roster.entries) {
        // The roster line stays whole before the tab, whatever blanks its password holds; a
        // member's bounce standing follows the mode in parentheses.
        std::string standing;
        if (entry.disabled) {
            standing = "delivery disabled";
        }
        if (!entry.score.empty()) {
            standing += (standing.empty() ? "" : ", ") + std::string("bounce score ") + entry.score;
        }
        session.io().out << entry.line << '\t' << DeliveryModeName(entry.mode)
                         << (standing.empty() ? "" : " (" + standing + ")") << '\n';
    }
    return kExitDone;
}

int MembersEnable(CliSession& session, const std::string& list, const std::string& address) {
    return Finish(EnableMember(session.services(), list, address), session.io().out);
}

int MembersDisable(CliSession& session, const std::string& list, const std::string& address) {
    return Finish(DisableMember(session.services(), list, address), session.io().out);
}

int MembersAdd(CliSession& session, const std::string& list, const std::string& address) {
    return Finish(AddMember(session.services(), list, address), session.io().out);
}

int MembersRemove(CliSession& session, const std::string& list, const std::string& address) {
    return Finish(RemoveMember(session.services(), list, address), session.io().out);
}

int MembersBan(CliSession& session, const std::string& list, const std::string& address,
               bool banned) {
    return Finish(SetBanned(session.services(), list, address, banned), session.io().out);
}

int MembersPassword(CliSession& session, const std::string& list, const std::string& address,
                    const SecretSource& password) {
    return Finish(ChangePassword(session.services(), list, address, ReadSecret(session, password)),
                  session.io().out);
}

int MembersMode(CliSession& session, const std::string& list, const std::string& address,
                const std::string& mode) {
    return Finish(SetMemberMode(session.services(), list, address, mode), session.io().out);
}

int MembersImport(CliSession& session, const std::string& list, const std::string& file) {
    ImportCounts counts;
    const ActionResult result = ImportMembers(session.services(), list, file, &counts);
    // Each line that added nobody, so a long file can be mended where it failed.
    for (const RefusedLine& line : counts.refused) {
        session.io().err << "line " << line.number << ": " << line.reason << ": \"" << line.text
                         << "\"\n";
    }
    return Finish(result, session.io().out);
}

int MembersExport(CliSession& session, const std::string& list, const std::string& file) {
    return Finish(ExportMembers(session.services(), list, file), session.io().out);
}

}  // namespace corvanteer::cli
