// corvanteer-cli: the command line's program. Log stamps and short dates follow the
// environment's LC_TIME; SIGINT and SIGTERM end `run` after its scan and abort `post`.

#include <clocale>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_TIME, "");
    // Numbers and texts printed by the program stay in the classic form.
    std::setlocale(LC_NUMERIC, "C");
    std::vector<std::string> args(argv, argv + argc);
    corvanteer::cli::CliHooks hooks;
    hooks.watchSignals = true;
    hooks.terminalPrompt = true;
    return corvanteer::cli::RunCli(args, {std::cin, std::cout, std::cerr}, hooks);
}
