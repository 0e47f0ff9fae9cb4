#pragma once

// The values of a manual posting for a list as the window shows them: for a front end
// without a window, they are read from the store and the list's data file.

#include <string>

#include "engine/ManualPosting.h"
#include "engine/Services.h"

namespace corvanteer {

// Fills everything but from, subject and messageLines: the per-list settings with the
// window's shown defaults (so an absent ListTo gives the placeholder address, an absent
// HideSenderEmail gives on), the ExtraHeaders and Signature sections and the sorted roster's
// addresses. list is a name as ResolveList gives it.
ManualPosting LoadPostingValues(Services& services, const std::string& list);

}  // namespace corvanteer
