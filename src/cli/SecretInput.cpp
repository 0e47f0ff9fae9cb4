#include "cli/SecretInput.h"

#include <termios.h>
#include <unistd.h>

#include <istream>
#include <iterator>
#include <ostream>

#include "cli/CliErrors.h"
#include "support/Files.h"
#include "support/Status.h"

namespace corvanteer::cli {

namespace {

// Turns the terminal's echo off for its lifetime.
class EchoOff {
public:
    EchoOff() {
        if (::tcgetattr(STDIN_FILENO, &saved_) == 0) {
            termios quiet = saved_;
            quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            active_ = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
    }
    ~EchoOff() {
        if (active_) {
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

// The first line of the bytes; refused when there is none or when more than a line end
// follows it.
std::string OneLine(const std::string& bytes, const std::string& where) {
    if (bytes.empty()) {
        Refuse("No password in " + where + ".");
    }
    size_t end = bytes.find('\n');
    std::string line = bytes.substr(0, end);
    if (end != std::string::npos && end + 1 < bytes.size()) {
        Refuse("The password in " + where + " must be one line.");
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

std::string FromTerminal(CliSession& session) {
    session.io().err << "Password: ";
    session.io().err.flush();
    std::string line;
    {
        EchoOff echoOff;
        std::getline(session.io().in, line);
    }
    session.io().err << '\n';
    if (!session.io().in && line.empty()) {
        Refuse("No password given.");
    }
    return line;
}

}  // namespace

std::string ReadSecret(CliSession& session, const SecretSource& source) {
    if (source.value && source.file) {
        RefuseUsage("Give the password or --password-file, not both.");
    }
    if (source.file) {
        return OneLine(ReadFile(*source.file), "the file \"" + *source.file + "\"");
    }
    if (!source.value) {
        RefuseUsage(
            "The password is missing: give it as \"-\" to read standard input, or "
            "use --password-file FILE.");
    }
    if (*source.value != "-") {
        return *source.value;
    }
    if (session.hooks().terminalPrompt && ::isatty(STDIN_FILENO) == 1) {
        return FromTerminal(session);
    }
    std::istream& in = session.io().in;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw Failure(ErrorKind::Io, "Cannot read standard input.");
    }
    return OneLine(bytes, "standard input");
}

}  // namespace corvanteer::cli
