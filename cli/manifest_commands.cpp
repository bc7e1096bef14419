#include "cli/manifest_commands.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string_view>
#include <vector>

#include "cli/cli_platform.h"
#include "cli/cli_run.h"
#include "cli/command_line.h"
#include "core/utf8.h"
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
bool PrintInputs(const json& manifest, const std::string& workingFolder, std::ostream& out) {
  auto checks = CheckInputs(manifest, workingFolder);
  int changed = 0;
  for (const InputCheck& c : checks) {
    // The paths are the manifest's: shown on their line, never obeyed.
    out << "  " << StateText(c.state) << "  " << TerminalText(c.path) << "\n";
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

// The options a run records in its manifest's arguments: the window's
// settings, never where its outputs go.
bool RecordedOption(const std::string& command, const std::string& a) {
  static const std::vector<std::string_view> kRunOptions = {
      "--noel",     "--rfd",       "--qstar",    "--pad",       "--pad-value",
      "--adj2",     "--comment",   "--complete", "--critical",  "--food-pct",
      "--crop-pct", "--subgroups", "--exclude",  "--line-count"};
  static const std::vector<std::string_view> kHeadroomOptions = {
      "--noel", "--rfd", "--qstar",  "--pad",      "--pad-value",
      "--adj2", "--by",  "--target", "--subgroups"};
  static const std::vector<std::string_view> kCumulativeOptions = {"--adj2", "--subgroups",
                                                                   "--exclude", "--by", "--target"};
  for (std::string_view name : command == "headroom"     ? kHeadroomOptions
                               : command == "cumulative" ? kCumulativeOptions
                                                         : kRunOptions)
    if (a == name ||
        (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '='))
      return true;
  return false;
}

// What makes a manifest one rerun can repeat: a long-term, commodity,
// listing, headroom or cumulative run, recorded with its arguments (the command, the
// residue file and the options a run records, nothing else), whose outputs
// include its report (a headroom run's: an export). "" when it is; else the
// problem.
std::string RerunProblem(const json& manifest) {
  const std::string command = manifest["run"]["command"].get<std::string>();
  const bool headroom = command == "headroom";
  if (command != "longterm" && command != "commodity" && command != "listing" && !headroom &&
      command != "cumulative")
    return "records a " + command +
           " run; rerun repeats long-term, commodity, listing, headroom and cumulative runs";
  const json& settings = manifest["settings"];
  if (!settings.contains("arguments") || settings["arguments"].size() < 2)
    return "does not record the run's arguments";
  const json& args = settings["arguments"];
  if (args[0].get<std::string>() != command)
    return "records the arguments of another command than its run's";
  if (args[1].get<std::string>().empty() || args[1].get<std::string>()[0] == '-')
    return command == "cumulative" ? "does not record the run's group file"
                                   : "does not record the run's residue file";
  for (std::size_t i = 2; i < args.size(); ++i)
    if (!RecordedOption(command, args[i].get<std::string>()))
      return "records the argument \"" + args[i].get<std::string>() +
             "\", which is not a setting of a run";
  bool report = false;
  for (const json& o : manifest["outputs"]) {
    const std::string role = o["role"].get<std::string>();
    if (role != "report" && role != "saved report" && role != "export")
      return "lists an output of role \"" + role + "\", which a run does not write";
    report = report || role == (headroom ? "export" : "report");
  }
  if (!report)
    return headroom ? "lists no export among its outputs" : "lists no report among its outputs";
  return "";
}

// A private folder of its own for the outputs of a re-run (mkdtemp: made
// new, never one that was there before).
std::optional<fs::path> ScratchFolder(std::string& error) {
  std::error_code ec;
  const fs::path temp = fs::temp_directory_path(ec);
  if (ec) {
    error = ec.message();
    return std::nullopt;
  }
#ifdef _WIN32
  // A new folder under a name not taken: create_directory fails on one
  // that exists.
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path name = temp / ("ormid-rerun-" + std::to_string(random()));
    if (fs::create_directory(name, ec)) return name;
  }
  error = ec ? ec.message() : "no free name";
  return std::nullopt;
#else
  std::string name = (temp / "ormid-rerun-XXXXXX").string();
  if (::mkdtemp(name.data()) == nullptr) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  return fs::path(name);
#endif
}

// The recorded clock for the re-run, given back when it is done.
class ClockOverride {
 public:
  ClockOverride(const DateTime& t, bool utc) { OverrideClock(t, utc); }
  ~ClockOverride() { OverrideClock(std::nullopt, false); }
};

}  // namespace

int RerunManifest(const GlobalOptions& global, const std::string& manifestPath, std::ostream& out,
                  std::ostream& err, const NestedRun& run) {
  const std::string manifestFile = AbsoluteFromStart(manifestPath);
  const json manifest = LoadManifest(manifestFile);
  if (const std::string problem = RerunProblem(manifest); !problem.empty())
    throw UsageError{"the manifest " + manifestPath + " " + problem};
  const json& settings = manifest["settings"];
  bool utc = false;
  auto date = ParseIsoDateTime(manifest["run"]["date"].get<std::string>(), utc);
  if (!date) throw UsageError{"the manifest " + manifestPath + " has no valid run date"};
  const std::string workdir = ManifestWorkingFolder(
      manifest, manifestFile, global.workdir.empty() ? "" : AbsoluteFromStart(global.workdir));

  out << "Inputs:\n";
  PrintInputs(manifest, workdir, out);

  // Saved copies and exports go to a scratch folder, so that the recorded
  // files stay as they are; the temporary report is rewritten in the
  // working folder as every run does.
  std::string error;
  const std::optional<fs::path> made = ScratchFolder(error);
  if (!made) {
    err << "ormid-cli: cannot make a folder for the run's outputs: " << error << "\n";
    return kExitStopped;
  }
  const fs::path& scratch = *made;
  const std::string command = manifest["run"]["command"].get<std::string>();
  std::vector<std::string> args = {"-C", workdir};
  for (const json& a : settings["arguments"]) args.push_back(a.get<std::string>());
  // The residue file, recorded relative to the working folder, named whole:
  // the run takes its files relative to where it was started.
  args[3] = ResolveManifestPath(args[3], workdir);
  struct Output {
    std::string role, recorded, again, sha256;
  };
  std::vector<Output> outputs;
  for (const json& o : manifest["outputs"]) {
    Output x{o["role"].get<std::string>(),
             ResolveManifestPath(o["path"].get<std::string>(), workdir), "",
             o["sha256"].get<std::string>()};
    const std::string name = fs::path(x.recorded).filename().string();
    if (x.role == "saved report") {
      // The run gives its saved report the extension of its kind; one saved
      // under another name (the desktop's Disk File) is looked for there.
      const std::string asked = (scratch / name).string();
      args.insert(args.end(), {"--save", asked});
      // A cumulative run keeps the name it is given.
      x.again =
          command == "cumulative"
              ? asked
              : ReportFileNameFor(asked, "", command == "longterm" ? kRunLongTerm : kRunCommodity);
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
  if (args.size() > 2 &&
      (args[2] == "longterm" || args[2] == "commodity" || args[2] == "cumulative"))
    args.push_back("--no-history");

  int status;
  std::ostringstream runOut, runErr;
  {
    ClockOverride clock(*date, utc);
    status = run(args, runOut, runErr);
  }
  err << runErr.str();
  int differ = 0;
  out << "Outputs of the run again (" << TerminalText(manifest["run"]["date"].get<std::string>())
      << "):\n";
  for (const Output& x : outputs) {
    auto d = DigestFile(x.again);
    const bool same = d && d->sha256 == x.sha256;
    if (!same) ++differ;
    out << "  "
        << (same ? "identical"
            : d  ? "different"
                 : "missing  ")
        << "  " << TerminalText(x.role) << "  " << TerminalText(x.recorded) << "\n";
  }
  std::error_code ec;
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

int VerifyManifest(const GlobalOptions& global, const std::string& path, std::ostream& out) {
  const std::string file = AbsoluteFromStart(path);
  const json manifest = LoadManifest(file);
  const std::string workdir = ManifestWorkingFolder(
      manifest, file, global.workdir.empty() ? "" : AbsoluteFromStart(global.workdir));
  return PrintInputs(manifest, workdir, out) ? kExitDone : kExitStopped;
}

void AddManifestCommands(CommandLine& cl) {
  auto verifyPath = std::make_shared<std::string>();
  CLI::App& verify =
      cl.Add("verify", "re-hash the inputs a run manifest names: unchanged, changed or missing",
             [&cl, verifyPath](std::ostream& out, std::ostream&) {
               return VerifyManifest(cl.Global(), *verifyPath, out);
             });
  verify.add_option("MANIFEST", *verifyPath, "a NAME.manifest.json file")
      ->required()
      ->type_name("");

  auto rerunPath = std::make_shared<std::string>();
  CLI::App& rerun = cl.Add(
      "rerun",
      "run a manifest's command again with the same settings and date, and compare every output",
      [&cl, rerunPath](std::ostream& out, std::ostream& err) {
        return RerunManifest(cl.Global(), *rerunPath, out, err, RunCli);
      });
  rerun.add_option("MANIFEST", *rerunPath, "a NAME.manifest.json file")->required()->type_name("");
}

}  // namespace ormid::cli
