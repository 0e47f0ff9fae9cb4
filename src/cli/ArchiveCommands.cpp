// archive build, export and import.

#include <ostream>

#include "cli/CliErrors.h"
#include "cli/Commands.h"
#include "engine/archive/ListArchive.h"
#include "support/Files.h"

namespace corvanteer::cli {

namespace {

std::string Plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

int ArchiveBuild(CliSession& session, const std::string& listName,
                 const std::optional<std::string>& outDir) {
    const std::string list = session.RequireList(listName);
    const std::string folder =
        AddBackslash(outDir ? *outDir : session.paths().HtmlArchiveFolder(list));
    const archive::BuildReport report =
        archive::BuildListArchive(session.services(), list, outDir ? folder : std::string());
    session.io().out << "Built the archive of " << list << ": "
                     << Plural(report.messages, "message") << " in "
                     << Plural(report.months, "month") << "; "
                     << Plural(report.pagesWritten, "page") << " written, " << report.pagesRemoved
                     << " removed.\n"
                     << folder << "index.html\n";
    return kExitDone;
}

int ArchiveExport(CliSession& session, const std::string& listName, const ArchiveRange& range,
                  const std::string& file) {
    const std::string list = session.RequireList(listName);
    const archive::ExportReport report = archive::ExportArchive(
        session.services(), list, range.from.value_or(""), range.to.value_or(""), file);
    session.io().out << "Exported " << Plural(report.messages, "message") << " of "
                     << Plural(report.months, "month") << " to " << file << ".\n";
    return kExitDone;
}

int ArchiveImport(CliSession& session, const std::string& listName, const std::string& file) {
    const std::string list = session.RequireList(listName);
    const archive::ImportReport report = archive::ImportArchive(session.services(), list, file);
    session.io().out << "Imported " << Plural(report.added, "message") << " of " << report.read
                     << " into the archive of " << list << "; " << report.skipped
                     << " were there already.\n";
    return kExitDone;
}

}  // namespace corvanteer::cli
