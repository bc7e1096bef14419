// ormid-cli's program: start-up, the residue file open, the window settings
// from the options, and the run, with every message box on standard error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace ormid::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;

// Runs one command line (without the program name). Changes the current
// directory to the working folder, as the desktop program keeps it current.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ormid::cli
