// ormid-cli's commands run in this process, as the tests drive them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace ormid::test {

struct CliResult {
  int status = 0;
  std::string out, err;
};

// Runs a command line (without the program name) from the folder `dir`,
// which stays the current directory after it.
CliResult RunCliIn(const std::filesystem::path& dir, const std::vector<std::string>& args);

}  // namespace ormid::test
