#include "tests/cli_runner.h"

#include <sstream>

#include "cli/cli_run.h"

namespace ormid::test {

CliResult RunCliIn(const std::filesystem::path& dir, const std::vector<std::string>& args) {
  std::ostringstream out, err;
  std::filesystem::current_path(dir);
  const int status = cli::RunCli(args, out, err);
  std::filesystem::current_path(dir);
  return {status, out.str(), err.str()};
}

}  // namespace ormid::test
