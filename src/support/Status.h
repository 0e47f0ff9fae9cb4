#pragma once

#include <stdexcept>
#include <string>

namespace corvanteer {

// The few kinds of failure the program tells apart. The command line maps them to exit
// statuses in one place (cli/CliErrors.cpp, ExitStatusOf); the window shows the message.
enum class ErrorKind {
    Io,           // a file or the settings store could not be read or written
    Protocol,     // a peer answered something we cannot use
    Refused,      // the request is not allowed (bad name, duplicate, out of range)
    Unavailable,  // a server, file or lock is not there right now
    Format,       // stored data does not have the expected form
    Usage,        // a command line names something that does not exist or gives a value of
                  // the wrong type
};

// Raised where a failure must stop the operation in hand (a file write that failed, a
// settings value of the wrong type). Routines that report by their result never raise it.
class Failure : public std::runtime_error {
public:
    Failure(ErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    ErrorKind kind() const { return kind_; }

private:
    ErrorKind kind_;
};

// Raises an Io failure whose message names the path and the system's reason (errno).
[[noreturn]] void ThrowIoError(const std::string& what, const std::string& path, int error);

}  // namespace corvanteer
