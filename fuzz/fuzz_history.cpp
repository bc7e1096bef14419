// A run history file as a damaged disk, a partial copy or another program
// may leave it: listed, every run loaded with its figures and compared
// with the first, or refused with a reason. Never a crash or a read past
// the packed figures.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/fuzz_support.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "tools/installation_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ormid;
  static const std::string path = fuzz::ScratchPath("history.sqlite");
  std::error_code ec;
  for (const char* suffix : {"-wal", "-shm", "-journal"})
    std::filesystem::remove(path + suffix, ec);
  testdata::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  std::string error;
  const auto runs = ListRuns(path, ListFilter{}, error);
  if (!runs) {
    fuzz::Require(!error.empty(), "a history that cannot be listed says why");
    return 0;
  }
  std::optional<RecordedRun> first;
  for (const RunSummary& summary : *runs) {
    for (bool totalsOnly : {false, true}) {
      auto run = LoadRun(path, summary.id, error, totalsOnly);
      if (!run) {
        fuzz::Require(!error.empty(), "a run that cannot be loaded says why");
        continue;
      }
      if (!first)
        first = std::move(run);
      else
        (void)ComparisonText(CompareRuns(*first, *run));
    }
  }
  return 0;
}
