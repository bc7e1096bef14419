#include "cli/manifest_commands.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <memory>
#include <ostream>
#include <sstream>

#include "cli/cli_platform.h"
#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "setup/run_request.h"

namespace ormid::cli {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const char* StateText(InputState s) {
  switch (s) {
    case InputState::Unchanged:
      return "unchanged";
    case InputState::Changed:
      return "changed  ";
    case InputState::Missing:
      return "missing  ";
  }
  return "";
}

// Prints every input's state; true when all are unchanged.
bool PrintInputs(const json& manifest, std::ostream& out) {
  auto checks = CheckInputs(manifest);
  int changed = 0;
  for (const InputCheck& c : checks) {
    out << "  " << StateText(c.state) << "  " << c.path << "\n";
    if (c.state != InputState::Unchanged) ++changed;
  }
  if (changed == 0)
    out << "All " << checks.size() << " inputs unchanged.\n";
  else
    out << changed << " of " << checks.size() << " inputs changed or missing.\n";
  return changed == 0;
}

json LoadManifest(const std::string& path) {
  std::string error;
  auto manifest = ReadManifest(path, error);
  if (!manifest) throw UsageError{"the manifest " + path + " " + error};
  return *manifest;
}

// The recorded clock for the re-run, given back when it is done.
class ClockOverride {
 public:
  ClockOverride(const DateTime& t, bool utc) { OverrideClock(t, utc); }
  ~ClockOverride() { OverrideClock(std::nullopt, false); }
};

int Rerun(const GlobalOptions& global, const std::string& manifestPath, std::ostream& out,
          std::ostream& err) {
  const json manifest = LoadManifest(AbsoluteFromStart(manifestPath));
  const json& settings = manifest.value("settings", json::object());
  if (!settings.contains("arguments") || !settings["arguments"].is_array() ||
      settings["arguments"].empty())
    throw UsageError{"the manifest " + manifestPath + " does not record the run's arguments"};
  bool utc = false;
  auto date = ParseIsoDateTime(manifest["run"].value("date", std::string()), utc);
  if (!date) throw UsageError{"the manifest " + manifestPath + " has no valid run date"};
  std::string workdir = global.workdir.empty()
                            ? manifest["installation"].value("working_folder", std::string())
                            : AbsoluteFromStart(global.workdir);

  out << "Inputs:\n";
  PrintInputs(manifest, out);

  // Saved copies and exports go to a scratch folder, so that the recorded
  // files stay as they are; the temporary report is rewritten in the
  // working folder as every run does.
  std::error_code ec;
  fs::path scratch = fs::temp_directory_path(ec) / ("ormid-rerun-" + std::to_string(::getpid()));
  fs::remove_all(scratch, ec);
  fs::create_directories(scratch, ec);
  if (ec) {
    err << "ormid-cli: cannot make the folder " << scratch.string() << ": " << ec.message() << "\n";
    return kExitStopped;
  }
  const std::string command = manifest["run"].value("command", std::string());
  std::vector<std::string> args = {"-C", workdir};
  for (const json& a : settings["arguments"]) args.push_back(a.get<std::string>());
  struct Output {
    std::string role, recorded, again, sha256;
  };
  std::vector<Output> outputs;
  for (const json& o : manifest.value("outputs", json::array())) {
    Output x{o.value("role", std::string()), o.value("path", std::string()), "",
             o.value("sha256", std::string())};
    const std::string name = fs::path(x.recorded).filename().string();
    if (x.role == "saved report") {
      // The run gives its saved report the extension of its kind; one saved
      // under another name (the desktop's Disk File) is looked for there.
      const std::string asked = (scratch / name).string();
      args.insert(args.end(), {"--save", asked});
      x.again = ReportFileNameFor(asked, "", command == "longterm" ? kRunLongTerm : kRunCommodity);
    } else if (x.role == "export") {
      x.again = (scratch / name).string();
      args.insert(args.end(), {"--export", x.again});
    } else {
      x.again = x.recorded;
    }
    outputs.push_back(x);
  }
  args.push_back("--yes");
  // A re-run checks a recorded run; it is not a new step of the assessment.
  if (args.size() > 2 && (args[2] == "longterm" || args[2] == "commodity"))
    args.push_back("--no-history");

  int status;
  std::ostringstream runOut, runErr;
  {
    ClockOverride clock(*date, utc);
    status = RunCli(args, runOut, runErr);
  }
  err << runErr.str();
  int differ = 0;
  out << "Outputs of the run again (" << manifest["run"].value("date", std::string()) << "):\n";
  for (const Output& x : outputs) {
    auto d = DigestFile(x.again);
    const bool same = d && d->sha256 == x.sha256;
    if (!same) ++differ;
    out << "  "
        << (same ? "identical"
            : d  ? "different"
                 : "missing  ")
        << "  " << x.role << "  " << x.recorded << "\n";
  }
  fs::remove_all(scratch, ec);
  if (status != kExitDone) {
    out << "The run did not finish (exit status " << status << ").\n";
    return kExitStopped;
  }
  if (differ == 0) {
    out << "Every output is byte-identical to the recorded one.\n";
    return kExitDone;
  }
  out << differ << " of " << outputs.size() << " outputs differ from the recorded ones.\n";
  return kExitStopped;
}

}  // namespace

void AddManifestCommands(CommandLine& cl) {
  auto verifyPath = std::make_shared<std::string>();
  CLI::App& verify =
      cl.Add("verify", "re-hash the inputs a run manifest names: unchanged, changed or missing",
             [verifyPath](std::ostream& out, std::ostream&) {
               const json manifest = LoadManifest(*verifyPath);
               return PrintInputs(manifest, out) ? kExitDone : kExitStopped;
             });
  verify.add_option("MANIFEST", *verifyPath, "a NAME.manifest.json file")
      ->required()
      ->type_name("");

  auto rerunPath = std::make_shared<std::string>();
  CLI::App& rerun = cl.Add(
      "rerun",
      "run a manifest's command again with the same settings and date, and compare every output",
      [&cl, rerunPath](std::ostream& out, std::ostream& err) {
        return Rerun(cl.Global(), *rerunPath, out, err);
      });
  rerun.add_option("MANIFEST", *rerunPath, "a NAME.manifest.json file")->required()->type_name("");
}

}  // namespace ormid::cli
