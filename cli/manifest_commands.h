// verify and rerun: a run manifest checked against the disk, and its run
// made again.
#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace ormid::cli {

class CommandLine;
struct GlobalOptions;

void AddManifestCommands(CommandLine& cl);

// verify MANIFEST: every input's state; 0 when all are unchanged, 1
// otherwise, and 1 with a message on `err` for a file that is no run
// manifest.
int VerifyManifest(const GlobalOptions& global, const std::string& path, std::ostream& out,
                   std::ostream& err);

// The command line of a run made again, run in this process (RunCli).
using NestedRun = std::function<int(const std::vector<std::string>&, std::ostream&, std::ostream&)>;

// rerun MANIFEST, the run itself made by `run`.
int RerunManifest(const GlobalOptions& global, const std::string& path, std::ostream& out,
                  std::ostream& err, const NestedRun& run);

}  // namespace ormid::cli
