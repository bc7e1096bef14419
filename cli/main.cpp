// ormid-cli: the Ormid long-term exposure module without a window, for
// scripting, batch work and tests.
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_run.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::ios::sync_with_stdio(false);
  return ormid::cli::RunCli(args, std::cout, std::cerr);
}
