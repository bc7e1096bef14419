// The command line of ormid-cli: its options and their parsing.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ormid::cli {

// An endpoint option: absent, given without a text (the box keeps the text
// the open put there), or given with a text.
struct EndpointOption {
  bool given = false;
  std::optional<std::string> text;
};

struct Options {
  std::string workdir;  // -C / --workdir; "" = current directory
  std::string command;  // info, longterm, commodity, listing
  std::string residueFile;
  EndpointOption noel, rfd, qstar;
  bool pad = false;
  std::vector<std::pair<int, std::string>> padValues;  // report row, text
  bool adj2 = false;
  std::optional<std::string> comment;
  std::optional<std::string> save;
  bool yes = false;
  bool complete = false;
  bool critical = false;
  std::optional<std::string> foodPct, cropPct;
  std::optional<std::string> subgroups;  // "all" or a comma-separated list of rows
  bool toStdout = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments (without the program name). On a usage error returns
// nullopt and sets error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// Report rows of a --subgroups list, 1-based; nullopt when a row is not a
// number in 1..popCount.
std::optional<std::vector<int>> ParseSubgroupRows(const std::string& list, int popCount);

std::string UsageText();

}  // namespace ormid::cli
