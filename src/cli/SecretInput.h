#pragma once

// Passwords that never stand in argv: read from standard input ("-") or from a file, one line
// with its line end (LF or CR LF) dropped.

#include <optional>
#include <string>

#include "cli/CliSession.h"

namespace corvanteer::cli {

// Where a password comes from: the VALUE word of the command line, and --password-file.
struct SecretSource {
    std::optional<std::string> value;  // "-": standard input; anything else: the password
    std::optional<std::string> file;
};

// The password the source names. Exactly one of value and file must be given (a usage error
// otherwise). From standard input or a file it is the first line; input that is empty or
// holds a second line is refused (status 1), so a wrong file or an empty pipe never becomes
// a password. On a terminal (when the program asks for it) the line is read without echo
// after a prompt on standard error.
std::string ReadSecret(CliSession& session, const SecretSource& source);

}  // namespace corvanteer::cli
