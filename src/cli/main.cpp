// corvanteer-cli: the command line's program. Log stamps and short dates follow the
// environment's LC_TIME; SIGINT and SIGTERM end `run` after its scan and abort `post`.

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"
#include "cli/StderrLog.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_TIME, "");
    // Numbers and texts printed by the program stay in the classic form.
    std::setlocale(LC_NUMERIC, "C");
    std::vector<std::string> args(argv, argv + argc);
    corvanteer::cli::CliHooks hooks;
    hooks.watchSignals = true;
    hooks.terminalPrompt = true;
    // Under systemd standard error may be the journal, which stamps lines itself.
    hooks.journal = corvanteer::cli::IsJournalStream(std::getenv("JOURNAL_STREAM"), 2);
    return corvanteer::cli::RunCli(args, {std::cin, std::cout, std::cerr}, hooks);
}
