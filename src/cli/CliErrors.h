#pragma once

// How a command ends: the exit statuses and the one place that turns an error into a line
// on standard error and a status.

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

#include "app/ActionResult.h"
#include "support/Status.h"

namespace corvanteer::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1;  // refused, or a file, store, server or lock failed
inline constexpr int kExitUsage = 2;   // unknown command, option or setting, value of wrong type

// The exit status of a failure of that kind: Usage 2, every other kind 1.
int ExitStatusOf(ErrorKind kind);

// Raises Failure (Refused) with the message: the command ends with status 1.
[[noreturn]] void Refuse(const std::string& message);
// Raises Failure (Usage) with the message: a command line that names something that does not
// exist or gives a value of the wrong type, found after the parser accepted the words. The
// command ends with status 2.
[[noreturn]] void RefuseUsage(const std::string& message);

// The error's line on standard error ("corvanteer-cli: " + message, line breaks of the
// message turned into blanks, other control bytes into "?") and its exit status: that of a
// Failure's kind, 1 for any other error.
int ReportError(const std::exception& error, std::ostream& err);

// Prints the text with CR LF (and lone LF) line ends as lines ended by "\n"; nothing for "".
void PrintText(std::ostream& out, std::string_view text);

// A done result prints its message on standard output; a refused one raises (Refuse).
int Finish(const ActionResult& result, std::ostream& out);

}  // namespace corvanteer::cli
