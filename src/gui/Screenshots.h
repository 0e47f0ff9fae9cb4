#pragma once

// Renders every page of the window, and the authentication window, into PNG files: the
// pictures of the README. Run by scripts/screenshots under a virtual X server.

#include <string>

namespace corvanteer {

struct WindowSetup;

// Seeds a few sample members into an empty "Default List" of the (temporary) application
// directory, shows the window, and writes <dir>/<nn>-<page>.png for each page. Returns the
// exit status: 0, or 1 when a file could not be written.
int RenderScreenshots(const WindowSetup& setup, const std::string& dir);

}  // namespace corvanteer
