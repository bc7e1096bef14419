// Run manifests as verify and rerun read them: whatever the file holds,
// they either refuse it as a usage error or go through, never crash or
// hang; and the run rerun makes again (replaced here by a check of its
// command line) only ever writes its saved report and exports into the
// rerun's own private folder.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/manifest_commands.h"
#include "fuzz/fuzz_support.h"
#include "tools/installation_writer.h"

namespace {

using namespace ormid;

// The nested run's command line: the working folder, a run's command, its
// residue file, then settings, and outputs only inside the scratch folder.
int CheckedRun(const std::vector<std::string>& args, std::ostream&, std::ostream&) {
  const std::string scratch = (std::filesystem::temp_directory_path() / "ormid-rerun-").string();
  fuzz::Require(args.size() >= 4 && args[0] == "-C", "a rerun names its working folder");
  for (std::size_t i = 3; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--export" || a == "--save") {
      fuzz::Require(i + 1 < args.size() && args[i + 1].rfind(scratch, 0) == 0,
                    "a rerun writes its outputs into its own folder only");
      ++i;
    } else {
      fuzz::Require(a.rfind("--export", 0) != 0 && a.rfind("--save", 0) != 0 &&
                        a.rfind("--stdout", 0) != 0 && a != "-C",
                    "a rerun passes on no output option of the manifest's");
    }
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = fuzz::ScratchPath("manifest.json");
  ormid::testdata::WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream out, err;
  try {
    cli::VerifyManifest(cli::GlobalOptions{}, path, out, err);
  } catch (const cli::UsageError&) {
  }
  try {
    cli::RerunManifest(cli::GlobalOptions{}, path, out, err, CheckedRun);
  } catch (const cli::UsageError&) {
  }
  return 0;
}
