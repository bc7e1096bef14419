// ormid-cli: the Ormid long-term exposure module without a window, for
// scripting, batch work and tests.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "cli/standard_output.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::ios::sync_with_stdio(false);
  // Every command's output goes through one buffer, whose writes and close
  // are checked when the command has ended.
  ormid::cli::StandardOutput output(1);
  std::ostream out(&output);
  const int status = ormid::cli::RunCli(args, out, std::cerr);
  return output.Finish(status, std::cerr);
}
