// members show|add|remove|ban|unban|password|import|export: the Members page's operations.

#include <ostream>

#include "app/ImportExport.h"
#include "app/JsonOutputs.h"
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
        session.io().out << entry.line << '\n';
    }
    return kExitDone;
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

int MembersImport(CliSession& session, const std::string& list, const std::string& file) {
    return Finish(ImportMembers(session.services(), list, file), session.io().out);
}

int MembersExport(CliSession& session, const std::string& list, const std::string& file) {
    return Finish(ExportMembers(session.services(), list, file), session.io().out);
}

}  // namespace corvanteer::cli
