#pragma once

// What an operator's action gives back: done or refused, and the text a window shows in a
// message box and the command line prints. Failures of the file system or the settings store
// are not results: they raise Failure (support/Status.h).

#include <string>
#include <utility>

namespace corvanteer {

struct ActionResult {
    bool ok = true;       // false: refused, nothing was changed
    std::string message;  // the text to show; may be empty when there is nothing to say

    static ActionResult Done(std::string text = {}) { return {true, std::move(text)}; }
    static ActionResult Refused(std::string text) { return {false, std::move(text)}; }
};

}  // namespace corvanteer
