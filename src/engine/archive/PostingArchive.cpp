#include "engine/archive/PostingArchive.h"

#include <exception>
#include <set>

#include "engine/ActivityLog.h"
#include "engine/archive/ListArchive.h"
#include "engine/archive/MessageFacts.h"
#include "support/SettingTables.h"

namespace corvanteer::archive {

namespace {

bool FitsBetweenBrackets(std::string_view url) {
    for (const char c : url) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7f || c == '<' || c == '>' || c == '"') {
            return false;
        }
    }
    return !url.empty();
}

void LogFailure(Services& services, const std::string& listName, std::string_view what,
                const std::exception& error) {
    WriteLog(services, Stamp(services) + listName + ": " + std::string(what) + ": " +
                           OneLineText(error.what()));
}

}  // namespace

Lines ArchiveHeaderLines(std::string_view baseUrl, std::string_view messageId) {
    const std::string base = Trim(baseUrl);
    if (!FitsBetweenBrackets(base)) {
        return {};
    }
    Lines lines{"List-Archive: <" + base + ">"};
    const std::string id = IdFromHeader(messageId);
    if (!id.empty()) {
        const std::string_view root =
            EndsWith(base, "/") ? std::string_view(base).substr(0, base.size() - 1) : base;
        lines.push_back("Archived-At: <" + std::string(root) + "/" + MessagePageOf(id) + ">");
    }
    return lines;
}

bool KeepDistributedPosting(Services& services, const std::string& listName,
                            std::string_view message, const std::string& envelopeSender) {
    try {
        ArchivePosting(services, listName, message, envelopeSender);
        return true;
    } catch (const std::exception& error) {
        LogFailure(services, listName, "the posting was not archived", error);
        return false;
    }
}

void BuildPostedArchives(Services& services, const std::vector<std::string>& listNames) {
    std::set<std::string> built;
    for (const std::string& name : listNames) {
        if (!built.insert(name).second) {
            continue;
        }
        try {
            if (!ListScanReader(services.store, services.paths.ListKey(name))
                     .Boolean("HtmlArchive")) {
                continue;
            }
            services.observer.StatusText("Building the HTML archive of " + name);
            BuildListArchive(services, name);
        } catch (const std::exception& error) {
            LogFailure(services, name, "the HTML archive could not be built", error);
        }
    }
}

}  // namespace corvanteer::archive
