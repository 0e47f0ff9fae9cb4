#pragma once

#include <string>

namespace corvanteer {

// The program's start-at-login entry: an XDG autostart file
// $XDG_CONFIG_HOME/autostart/<entryName>.desktop (~/.config when unset) whose Exec is the
// command. Disabling removes it, and also the system-wide /etc/xdg/autostart one when
// possible; failures are ignored.
void SetRunAtStartup(const std::string& entryName, const std::string& command, bool enable);

// Where the user's autostart file for that entry lives.
std::string AutostartFile(const std::string& entryName);

}  // namespace corvanteer
