#include "app/StartupChecks.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "engine/GivenUpMail.h"
#include "support/DateTime.h"
#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

constexpr std::time_t kLeftoverAge = 3600;

std::string Octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

bool EndsWithText(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           SameText(text.substr(text.size() - suffix.size()), suffix);
}

// Only names our own atomic writes give, so nothing else of the folder is touched.
bool IsOurTempFile(std::string_view name) {
    std::string_view base;
    return IsAtomicTempName(name, &base) &&
           (EndsWithText(base, ".dat") || EndsWithText(base, ".txt") || base == "threads");
}

std::vector<std::string> SubFolders(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && DirectoryExists(folder + name)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

}  // namespace

std::optional<std::string> AppDirectoryWarning(const AppPaths& paths) {
    struct stat st {};
    if (::stat(paths.appDir.c_str(), &st) != 0 || (st.st_mode & 077) == 0) {
        return std::nullopt;
    }
    std::string dir = paths.appDir;
    if (dir.size() > 1) {
        dir.pop_back();
    }
    return "Warning: the application directory \"" + dir + "\" is open to other users (mode " +
           Octal(st.st_mode) + "); its files hold member addresses and passwords. \"chmod 700 " +
           dir + "\" makes it private.";
}

int RemoveLeftoverTempFiles(const AppPaths& paths, std::time_t olderThan) {
    std::vector<std::string> folders{paths.appDir, paths.OutFolder(), paths.BadQueueFolder()};
    const std::string lists = paths.appDir + "Lists/";
    for (const std::string& list : SubFolders(lists)) {
        folders.push_back(paths.ThreadsFolder(list));
        folders.push_back(paths.PostsFolder(list));
    }
    int removed = 0;
    for (const std::string& folder : folders) {
        removed += RemoveStaleFiles(folder, olderThan, IsOurTempFile);
    }
    return removed;
}

void CheckApplicationDirectory(const AppPaths& paths, const Clock& clock, std::ostream& err) {
    if (std::optional<std::string> warning = AppDirectoryWarning(paths)) {
        err << *warning << '\n';
        err.flush();
        AppendLine(paths.LogFile(), LogStamp(clock.Now()) + *warning);
    }
    RemoveLeftoverTempFiles(paths, std::time(nullptr) - kLeftoverAge);
    const LocalTime now = clock.Now();
    for (const std::string& removed : RemoveExpiredGivenUp(paths, UnixSeconds(now))) {
        AppendLine(paths.LogFile(), LogStamp(now) + removed);
    }
}

}  // namespace corvanteer
