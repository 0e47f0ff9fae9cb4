#pragma once

// How a command ends: the exit statuses and the one place that turns an error into a line
// on standard error and a status.

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/ActionResult.h"

namespace corvanteer::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // refused, or a file, store, server or lock failed
inline constexpr int kExitUsage = 2;   // unknown command, option or setting, value of wrong type

// A command line that names something that does not exist or gives a value of the wrong
// type (detected after the parser accepted the words).
class UsageError : public std::runtime_error {
public:
    explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// Raises Failure (Refused) with the message: the command ends with status 1.
[[noreturn]] void Refuse(const std::string& message);

// The error's line on standard error ("corvanteer-cli: " + message, line breaks of the
// message turned into blanks, other control bytes into "?") and its exit status: UsageError 2,
// everything else 1.
int ReportError(const std::exception& error, std::ostream& err);

// Prints the text with CR LF (and lone LF) line ends as lines ended by "\n"; nothing for "".
void PrintText(std::ostream& out, std::string_view text);

// A done result prints its message on standard output; a refused one raises (Refuse).
int Finish(const ActionResult& result, std::ostream& out);

}  // namespace corvanteer::cli
