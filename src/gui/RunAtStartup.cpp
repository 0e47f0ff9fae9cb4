#include "gui/RunAtStartup.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/Files.h"
#include "support/Text.h"

namespace corvanteer {

namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    // Relative paths in the XDG variables are invalid and ignored.
    if (value == nullptr || value[0] != '/') {
        return fallback;
    }
    return value;
}

std::string ConfigHome() {
    const char* home = std::getenv("HOME");
    return EnvOr("XDG_CONFIG_HOME", std::string(home != nullptr ? home : "") + "/.config");
}

// The system-wide configuration folders ($XDG_CONFIG_DIRS, /etc/xdg by default).
std::vector<std::string> SystemConfigDirs() {
    std::vector<std::string> dirs;
    for (const std::string& dir : SplitString(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg"), ":").parts) {
        if (!dir.empty() && dir.front() == '/') {
            dirs.push_back(dir);
        }
    }
    return dirs;
}

// The program as one quoted argument of an Exec line: inside double quotes, '"', '`', '$' and
// '\' take a backslash; '%' is doubled (field codes); then the string-value escapes apply on
// top, which turns every backslash into two.
std::string ExecValue(const std::string& command) {
    std::string quoted = "\"";
    for (char c : command) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    quoted = ReplaceAll(quoted, "%", "%%");
    std::string value;
    for (char c : quoted) {
        switch (c) {
            case '\\':
                value += "\\\\";
                break;
            case '\n':
                value += "\\n";
                break;
            case '\r':
                value += "\\r";
                break;
            case '\t':
                value += "\\t";
                break;
            default:
                value += c;
        }
    }
    return value;
}

}  // namespace

std::string AutostartFile(const std::string& entryName) {
    return ConfigHome() + "/autostart/" + entryName + ".desktop";
}

void SetRunAtStartup(const std::string& entryName, const std::string& command, bool enable) {
    const std::string file = AutostartFile(entryName);
    if (enable) {
        ForceDirectories(std::filesystem::path(file).parent_path().string());
        WriteFileAtomic(file,
                        "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=" +
                            entryName + "\n" + "Exec=" + ExecValue(command) + "\n" +
                            "X-GNOME-Autostart-enabled=true\n");
        return;
    }
    DeleteFileIfExists(file);
    // A system-wide entry normally needs rights this user lacks; that failure is ignored.
    for (const std::string& dir : SystemConfigDirs()) {
        ::unlink((dir + "/autostart/" + entryName + ".desktop").c_str());
    }
}

}  // namespace corvanteer
