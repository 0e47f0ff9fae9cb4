#include "gui/RunAtStartup.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>

#include "common/TempDir.h"
#include "support/Files.h"

namespace corvanteer {
namespace {

using testing::Slurp;
using testing::TempDir;

// Points the XDG configuration folders at a temporary folder for one test, so nothing of
// the user's or the system's configuration is touched.
class RunAtStartupTest : public ::testing::Test {
protected:
    RunAtStartupTest() {
        Save("XDG_CONFIG_HOME", dir.Path() + "/config");
        Save("XDG_CONFIG_DIRS", dir.Path() + "/system");
    }
    ~RunAtStartupTest() override {
        for (auto& [name, old] : saved) {
            if (old) {
                ::setenv(name.c_str(), old->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    void Save(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        ::setenv(name, value.c_str(), 1);
    }

    TempDir dir;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST_F(RunAtStartupTest, EnableWritesADesktopEntry) {
    EXPECT_EQ(AutostartFile("Corvanteer"), dir.Path() + "/config/autostart/Corvanteer.desktop");
    SetRunAtStartup("Corvanteer", "/opt/corvanteer/bin/corvanteer", true);
    EXPECT_EQ(Slurp(AutostartFile("Corvanteer")),
              "[Desktop Entry]\n"
              "Type=Application\n"
              "Name=Corvanteer\n"
              "Exec=\"/opt/corvanteer/bin/corvanteer\"\n"
              "X-GNOME-Autostart-enabled=true\n");
}

TEST_F(RunAtStartupTest, ExecQuotesReservedCharacters) {
    SetRunAtStartup("Corvanteer", "/home/a b/100%/$x\\\"q`", true);
    const std::string content = Slurp(AutostartFile("Corvanteer"));
    // Quote-level escapes first ($ ` " \ take a backslash, % doubles), then every backslash
    // of the result is doubled by the string-value escapes.
    EXPECT_NE(content.find("Exec=\"/home/a b/100%%/\\\\$x\\\\\\\\\\\\\"q\\\\`\"\n"),
              std::string::npos)
        << content;
}

TEST_F(RunAtStartupTest, DisableRemovesTheUserAndSystemEntries) {
    SetRunAtStartup("Corvanteer", "/usr/bin/corvanteer", true);
    ForceDirectories(dir.Path() + "/system/autostart");
    testing::Spit(dir.Path() + "/system/autostart/Corvanteer.desktop", "[Desktop Entry]\n");
    testing::Spit(dir.Path() + "/system/autostart/Other.desktop", "[Desktop Entry]\n");

    SetRunAtStartup("Corvanteer", "/usr/bin/corvanteer", false);
    EXPECT_FALSE(FileExists(AutostartFile("Corvanteer")));
    EXPECT_FALSE(FileExists(dir.Path() + "/system/autostart/Corvanteer.desktop"));
    EXPECT_TRUE(FileExists(dir.Path() + "/system/autostart/Other.desktop"));

    // Nothing left to remove: no failure.
    EXPECT_NO_THROW(SetRunAtStartup("Corvanteer", "/usr/bin/corvanteer", false));
}

}  // namespace
}  // namespace corvanteer
