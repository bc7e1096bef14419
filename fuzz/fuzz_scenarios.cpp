// Batch scenario files as ormid-cli batch reads them: refused as a usage
// error or read; a file read whole gives every scenario files of its own
// (names with no control character, no folder, distinct without letter
// case, none of them the summary's).
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>

#include "batch/batch_run.h"
#include "cli/batch_command.h"
#include "cli/command_line.h"
#include "fuzz/fuzz_support.h"
#include "tools/installation_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ormid;
  static const std::string path = fuzz::ScratchPath("scenarios.csv");
  testdata::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  std::vector<BatchScenario> scenarios;
  try {
    scenarios = cli::ScenariosOfFile(path);
  } catch (const cli::UsageError& e) {
    fuzz::Require(!e.text.empty(), "a usage error says what is wrong");
    return 0;
  }
  if (!ScenarioFilesProblem(scenarios).empty()) return 0;
  std::set<std::string> names = {"summary.csv", "summary.xlsx"};
  for (const BatchScenario& s : scenarios) {
    for (const std::string& p : ScenarioOutputPaths(
             "out", s, {ExportFormat::Csv, ExportFormat::Json, ExportFormat::Xlsx})) {
      const std::filesystem::path file(p);
      fuzz::Require(file.parent_path() == "out", "a scenario's file is in the output folder");
      std::string name = file.filename().string();
      for (char& c : name) {
        fuzz::Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F,
                      "no control character in a file name");
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      }
      fuzz::Require(names.insert(name).second, "every scenario's files are its own");
    }
  }
  return 0;
}
