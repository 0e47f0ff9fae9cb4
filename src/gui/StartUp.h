#pragma once

// The program entry of the window: the optional "test" argument, --home DIR, the single
// instance, the window and the event loop.

#include <optional>
#include <string>
#include <vector>

namespace corvanteer {

struct StartOptions {
    bool testMode = false;  // first argument "test", any case
    std::optional<std::string> home;
    std::optional<std::string> screenshotDir;  // render every page there and end
};

// Reads the arguments the program knows; every other argument is ignored.
StartOptions ParseStartOptions(const std::vector<std::string>& arguments);

// Where the help page is: beside the program, in its installed share folder, or in the
// source tree it was built from.
std::string FindHelpFile(const std::string& programDir);

// Runs the program; the process's exit status. A second copy ends at once with 0.
int RunCorvanteer(int argc, char** argv);

}  // namespace corvanteer
