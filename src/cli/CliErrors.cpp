#include "cli/CliErrors.h"

#include <ostream>

#include "support/Text.h"

namespace corvanteer::cli {

int ExitStatusOf(ErrorKind kind) {
    return kind == ErrorKind::Usage ? kExitUsage : kExitFailed;
}

void Refuse(const std::string& message) {
    throw Failure(ErrorKind::Refused, message);
}

void RefuseUsage(const std::string& message) {
    throw Failure(ErrorKind::Usage, message);
}

int ReportError(const std::exception& error, std::ostream& err) {
    // One line: a message that spans lines (a window's two-line text) is joined by blanks.
    std::string line;
    for (const std::string& part : TextToLines(error.what())) {
        if (!line.empty()) {
            line += ' ';
        }
        line += Trim(part);
    }
    // Messages quote what strangers wrote (addresses, subjects): control bytes could steer the
    // terminal, so they show as "?".
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    err << "corvanteer-cli: " << line << '\n';
    err.flush();
    const auto* failure = dynamic_cast<const Failure*>(&error);
    return failure != nullptr ? ExitStatusOf(failure->kind()) : kExitFailed;
}

void PrintText(std::ostream& out, std::string_view text) {
    for (const std::string& line : TextToLines(text)) {
        out << line << '\n';
    }
}

int Finish(const ActionResult& result, std::ostream& out) {
    if (!result.ok) {
        Refuse(result.message);
    }
    PrintText(out, result.message);
    return kExitDone;
}

}  // namespace corvanteer::cli
