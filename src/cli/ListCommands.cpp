// lists, lists add|delete and section get|set.

#include <istream>
#include <iterator>
#include <mutex>
#include <ostream>
#include <vector>

#include "app/ConfigTransfer.h"
#include "app/JsonOutputs.h"
#include "app/ListOperations.h"
#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "support/Files.h"
#include "support/SectionFile.h"
#include "support/Status.h"
#include "support/Text.h"

namespace corvanteer::cli {

namespace {

// The sections of a list data file the program reads: the texts a configuration holds, the
// roster and the record of actions. Another name would only write a section nothing reads, so
// it is taken for a typing error.
const std::vector<std::string>& KnownSections() {
    static const std::vector<std::string> sections = [] {
        std::vector<std::string> all = ConfigSections();
        all.insert(all.end(), {"MemberList", "Latest_Actions"});
        return all;
    }();
    return sections;
}

std::string SectionName(const std::string& name) {
    for (const std::string& known : KnownSections()) {
        if (SameText(name, known)) {
            return known;
        }
    }
    std::string names;
    for (const std::string& known : KnownSections()) {
        names += names.empty() ? "" : ", ";
        names += known;
    }
    RefuseUsage("Unknown section \"" + name + "\"; the sections are " + names + ".");
}

}  // namespace

std::string ReadInput(CliSession& session, const std::string& file) {
    if (file.empty() || file == "-") {
        std::istream& in = session.io().in;
        std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad()) {
            throw Failure(ErrorKind::Io, "Cannot read standard input.");
        }
        return bytes;
    }
    return ReadFile(file);
}

int ListsShow(CliSession& session, bool json) {
    const std::vector<std::string> names = session.services().console.ListNames();
    if (json) {
        session.io().out << ListsJson(names);
        return kExitDone;
    }
    for (const std::string& name : names) {
        session.io().out << name << '\n';
    }
    return kExitDone;
}

int ListsAdd(CliSession& session, const std::string& nameText) {
    std::string name = nameText;
    Finish(AddList(session.services(), name), session.io().out);
    // Blanks became "_": the name to use from now on.
    session.io().out << name << '\n';
    return kExitDone;
}

int ListsDelete(CliSession& session, const std::string& name) {
    return Finish(DeleteList(session.services(), name), session.io().out);
}

int SectionGet(CliSession& session, const std::string& listName, const std::string& section) {
    const std::string list = session.RequireList(listName);
    const std::string name = SectionName(section);
    PrintText(session.io().out, ReadSection(session.paths().ListDataFile(list), name));
    return kExitDone;
}

int SectionSet(CliSession& session, const std::string& listName, const std::string& section,
               const std::string& file) {
    const std::string list = session.RequireList(listName);
    const std::string name = SectionName(section);
    const Lines lines = TextToLines(ReadInput(session, file));
    std::lock_guard<StoreLock> guard(session.services().storeLock);
    WriteSection(session.paths().ListDataFile(list), name, lines);
    if (name == "MemberList") {
        session.services().observer.RosterChanged(list);
    }
    return kExitDone;
}

}  // namespace corvanteer::cli
