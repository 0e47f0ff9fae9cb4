#pragma once

// The program's version and the names derived from it.

#include <string>

namespace corvanteer {

// Four-part file version, e.g. "1.0.0.1".
inline constexpr const char* kProgramVersion = CORVANTEER_VERSION;

// The window caption: product title + " v" + the first three parts of the version.
inline std::string WindowTitle() {
    return std::string("Corvanteer v") + std::to_string(CORVANTEER_VERSION_MAJOR) + "." +
           std::to_string(CORVANTEER_VERSION_MINOR) + "." +
           std::to_string(CORVANTEER_VERSION_PATCH);
}

// The maker's web address: named in the X-Mailer line of every message the program writes,
// and the default host of the update check.
inline constexpr const char* kMakerWebAddress = "www.corvanteer.org";

}  // namespace corvanteer
