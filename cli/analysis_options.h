// The options of the analysis commands (longterm, commodity, listing): each
// sets one control of the main window.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace ormid {
struct ModOrmid;
struct WindowSettings;
}  // namespace ormid

namespace ormid::cli {

class CliPlatform;

// An endpoint option: absent, given without a text (the box keeps the text
// the open put there), or given with a text.
struct EndpointOption {
  bool given = false;
  std::optional<std::string> text;
};

struct AnalysisOptions {
  std::string command;  // longterm, commodity, listing
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
  std::optional<std::string> exclude;  // longterm: crop group and commodity codes
  std::vector<std::string> exports;    // absolute paths
  int lineCount = 0;                   // longterm: the line count the report starts from
  bool noHistory = false;              // the run is not recorded in the run history
};

// What the command line gives before it is checked; Bind fills it.
struct AnalysisArguments {
  std::string residueFile;
  std::string noel = kUnset, rfd = kUnset, qstar = kUnset;
  bool pad = false;
  std::vector<std::string> padValues;
  bool adj2 = false;
  std::string comment, save, foodPct, cropPct, subgroups, exclude;
  bool yes = false, complete = false, critical = false, toStdout = false;
  std::vector<std::string> exports;
  int lineCount = 0;
  bool noHistory = false;

  static constexpr const char* kUnset = "\x1d";
  static constexpr const char* kNoText = "\x1f";
};

// Adds the window's options to an analysis subcommand.
void BindAnalysisOptions(CLI::App& sub, AnalysisArguments& a);
// Adds only the residue file and the endpoint options (--noel, --rfd,
// --qstar, --pad, --pad-value, --adj2): what every analysis needs.
void BindEndpointOptions(CLI::App& sub, AnalysisArguments& a);

// Checks the options as the main window's interlocks would and turns them
// into AnalysisOptions. Throws UsageError.
AnalysisOptions CheckAnalysisOptions(const CLI::App& sub, const std::string& command,
                                     const AnalysisArguments& a);

// The residue file and endpoint options alone, checked as the main window's
// interlocks would. Throws UsageError.
void CheckEndpointOptions(const AnalysisArguments& a, AnalysisOptions& o);

// Gives "--noel=" and its like (an empty box) a mark CLI11 keeps; call
// before parsing.
void MarkEmptyEndpointTexts(std::vector<std::string>& args);

// Report rows of a --subgroups list, 1-based; nullopt when a row is not a
// number in 1..popCount.
std::optional<std::vector<int>> ParseSubgroupRows(const std::string& list, int popCount);

// Throws the usage error of a --subgroups list that names a row twice
// ("1,3,1"): a subgroup would be reported twice and recorded twice.
void RefuseRepeatedSubgroupRows(const std::string& list);

// Checks the subgroup rows of --subgroups and --pad-value against the
// started installation. Throws UsageError.
void CheckRowsAgainst(const ModOrmid& m, const AnalysisOptions& o);

// The window's controls after the residue file open and the options.
void BuildSettings(const AnalysisOptions& o, ModOrmid& m, WindowSettings& s);

// The files of --export made absolute; one of another kind is a usage error.
std::vector<std::string> CheckedExports(const std::vector<std::string>& files);

// Asks before each existing export file is replaced; false at the first No.
bool MayReplaceExports(CliPlatform& platform, const std::vector<std::string>& exports);

// A run's start: the installation started, the rows of the options checked
// against it, the residue file (absolute) opened, the window's settings
// made. False when a message stopped it; throws UsageError.
bool StartAndOpen(CliPlatform& platform, const AnalysisOptions& o, const std::string& residue,
                  ModOrmid& m, WindowSettings& s);

// --target as typed: a number from 1E-30 to 1E+30, nothing else; a usage
// error otherwise.
double TargetValue(const std::string& text);

}  // namespace ormid::cli
