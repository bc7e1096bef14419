// ormid-cli's program: every command of the command line, with every
// message box on standard error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace ormid::cli {

// Adds every command of ormid-cli to `cl`.
void AddEveryCommand(CommandLine& cl);

// Runs one command line (without the program name). Changes the current
// directory to the working folder, as the desktop program keeps it current.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ormid::cli
