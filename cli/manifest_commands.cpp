#include "cli/manifest_commands.h"

#include <nlohmann/json.hpp>

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
#include "core/record_file.h"
#include "core/utf8.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "residue_build/residue_build.h"
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

// A folder's path as a report writes it, without a separator at its end.
std::string FolderText(const std::string& folder) {
  std::string text = fs::path(folder).lexically_normal().string();
  while (text.size() > 1 && fs::path(text).filename().empty()) text.pop_back();
  return text;
}

// A file that cannot be read or is not a run manifest is a problem of the
// data, as a bad residue file is for a run (exit 1): nullopt after the
// message.
std::optional<json> LoadManifest(const std::string& path, std::ostream& err) {
  std::string error;
  auto manifest = ReadManifest(path, error);
  if (!manifest) err << "ormid-cli: the manifest " << TerminalText(path) << " " << error << "\n";
  return manifest;
}

// The working folder of the manifest's paths: -C, or the one the manifest
// leads to from where it lies.
std::string WorkingFolderOf(const GlobalOptions& global, const json& manifest,
                            const std::string& file, const std::string& shown) {
  std::string problem;
  auto folder = ManifestWorkingFolder(
      manifest, file, global.workdir.empty() ? "" : AbsoluteFromStart(global.workdir), problem);
  if (!folder) throw UsageError{"the manifest " + shown + " " + problem};
  return *folder;
}

// Whether the output `path` of a run made again in `folder` is the recorded
// one (its digest `sha256`) but for naming `folder` where the recorded run
// named `recordedFolder`: its bytes with every `folder` written as
// `recordedFolder` have the recorded digest.
bool SameButForFolder(const std::string& path, const std::string& folder,
                      const std::string& recordedFolder, const std::string& sha256) {
  const std::string now = FolderText(folder), then = FolderText(recordedFolder);
  if (now.empty() || then.empty()) return false;
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  std::string written;
  std::size_t from = 0;
  for (std::size_t at; (at = bytes->find(now, from)) != std::string::npos; from = at + now.size())
    written.append(*bytes, from, at - from).append(then);
  if (from == 0) return false;  // it does not name the folder
  written.append(*bytes, from, std::string::npos);
  return Sha256Hex(written) == sha256;
}

// The options a run records in its manifest's arguments: the window's
// settings, never where its outputs go.
bool RecordedOption(RunKind kind, const std::string& a) {
  static const std::vector<std::string_view> kRunOptions = {
      "--noel",     "--rfd",       "--qstar",    "--pad",       "--pad-value",
      "--adj2",     "--comment",   "--complete", "--critical",  "--food-pct",
      "--crop-pct", "--subgroups", "--exclude",  "--line-count"};
  static const std::vector<std::string_view> kHeadroomOptions = {
      "--noel", "--rfd", "--qstar",  "--pad",      "--pad-value",
      "--adj2", "--by",  "--target", "--subgroups"};
  static const std::vector<std::string_view> kCumulativeOptions = {"--adj2", "--subgroups",
                                                                   "--exclude", "--by", "--target"};
  static const std::vector<std::string_view> kBuildOptions = {
      "--rules",       "--chemical",       "--noel",         "--rfd",  "--qstar",
      "--non-detects", "--not-quantified", "--crop-treated", "--bound"};
  static const std::vector<std::string_view> kAggregateOptions = {
      "--tox",       "--residential", "--water-ppb", "--water-foods", "--scenario",
      "--durations", "--subgroups",   "--adj2",      "--cancer-limit"};
  for (std::string_view name : kind == RunKind::Headroom       ? kHeadroomOptions
                               : kind == RunKind::Cumulative   ? kCumulativeOptions
                               : kind == RunKind::ResidueBuild ? kBuildOptions
                               : kind == RunKind::Aggregate    ? kAggregateOptions
                                                               : kRunOptions)
    if (a == name ||
        (a.size() > name.size() && a.compare(0, name.size(), name) == 0 && a[name.size()] == '='))
      return true;
  return false;
}

// What makes a manifest one rerun can repeat: a run of any kind, recorded
// with its arguments (the command, the residue or group file and the options
// a run records, nothing else), whose outputs include its report (a
// headroom run's: an export or its saved table). "" when it is; else the
// problem.
std::string RerunProblem(const json& manifest) {
  const std::string command = manifest["run"]["command"].get<std::string>();
  const std::optional<RunKind> kind = RunKindFromCommand(command);
  if (!kind)
    return "records a " + command +
           " run; rerun repeats long-term, commodity, listing, headroom, cumulative and aggregate "
           "runs and residue builds";
  const bool headroom = kind == RunKind::Headroom;
  const json& settings = manifest["settings"];
  if (!settings.contains("arguments") || settings["arguments"].size() < 2)
    return "does not record the run's arguments";
  const json& args = settings["arguments"];
  if (args[0].get<std::string>() != command)
    return "records the arguments of another command than its run's";
  if (args[1].get<std::string>().empty() || args[1].get<std::string>()[0] == '-')
    return kind == RunKind::Cumulative     ? "does not record the run's group file"
           : kind == RunKind::ResidueBuild ? "does not record the build's samples file"
                                           : "does not record the run's residue file";
  for (std::size_t i = 2; i < args.size(); ++i)
    if (!RecordedOption(*kind, args[i].get<std::string>()))
      return "records the argument \"" + args[i].get<std::string>() +
             "\", which is not a setting of a run";
  bool report = false;
  for (const json& o : manifest["outputs"]) {
    const std::string role = o["role"].get<std::string>();
    if (role != "report" && role != "saved report" && role != "export" &&
        (role != "residue file" || kind != RunKind::ResidueBuild))
      return "lists an output of role \"" + role + "\", which a run does not write";
    report = report || (headroom ? role != "report" : role == "report");
  }
  if (!report)
    return headroom ? "lists neither an export nor a saved table among its outputs"
                    : "lists no report among its outputs";
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
  const std::optional<json> read = LoadManifest(manifestFile, err);
  if (!read) return kExitStopped;
  const json& manifest = *read;
  if (const std::string problem = RerunProblem(manifest); !problem.empty())
    throw UsageError{"the manifest " + manifestPath + " " + problem};
  const json& settings = manifest["settings"];
  bool utc = false;
  const auto date = ParseIsoDateTime(manifest["run"]["date"].get<std::string>(), utc);
  if (!date) throw UsageError{"the manifest " + manifestPath + " has no valid run date"};
  const std::string workdir = WorkingFolderOf(global, manifest, manifestFile, manifestPath);
  const RunKind kind = *RunKindFromCommand(manifest["run"]["command"].get<std::string>());
  // The run reads the very file whose digest is checked: a manifest whose
  // arguments name another is refused.
  const bool cumulative = kind == RunKind::Cumulative;
  const bool build = kind == RunKind::ResidueBuild;
  const json& input = manifest[cumulative ? "group_file" : build ? "samples_file" : "residue_file"];
  const std::string inputPath = ResolveManifestPath(EntryPath(input), workdir);
  const std::string named =
      ResolveManifestPath(settings["arguments"][1].get<std::string>(), workdir);
  if (fs::path(named).lexically_normal() !=
      fs::path(ResolveManifestPath(input["path"].get<std::string>(), workdir)).lexically_normal())
    throw UsageError{"the manifest " + manifestPath + " names " + named +
                     " in its arguments but records " + inputPath + " as its " +
                     (cumulative ? "group file"
                      : build    ? "samples file"
                                 : "residue file") +
                     "; rerun runs only the file it checks"};
  // The other files the run reads (a build's rules file, an aggregate
  // run's toxicology and residential files), each the very file its entry
  // names and checks, named whole: the argument's place and its new text.
  static constexpr struct {
    const char* option;
    const char* member;
    const char* what;
  } kOtherInputs[] = {{"--rules=", "rules_file", "rules file"},
                      {"--tox=", "toxicology_file", "toxicology file"},
                      {"--residential=", "residential_file", "residential file"}};
  std::vector<std::pair<std::size_t, std::string>> otherInputs;
  bool rulesNamed = false;
  for (std::size_t i = 2; i < settings["arguments"].size(); ++i)
    for (const auto& other : kOtherInputs) {
      const std::string text = settings["arguments"][i].get<std::string>();
      const std::string option = other.option;
      if (text.rfind(option, 0) != 0) continue;
      const auto entry = manifest.find(other.member);
      const std::string given = ResolveManifestPath(text.substr(option.size()), workdir);
      if (entry == manifest.end() ||
          fs::path(given).lexically_normal() !=
              fs::path(ResolveManifestPath((*entry)["path"].get<std::string>(), workdir))
                  .lexically_normal())
        throw UsageError{"the manifest " + manifestPath + " names " + given +
                         " in its arguments but does not record it as its " + other.what +
                         "; rerun runs only the files it checks"};
      otherInputs.emplace_back(i, option + ResolveManifestPath(EntryPath(*entry), workdir));
      rulesNamed = rulesNamed || std::string(other.member) == "rules_file";
    }
  if (build && !rulesNamed)
    throw UsageError{"the manifest " + manifestPath + " does not record the build's rules file"};

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
  std::vector<std::string> args = {"-C", workdir};
  for (const json& a : settings["arguments"]) args.push_back(a.get<std::string>());
  // The residue file, recorded relative to the working folder, named whole:
  // the run takes its files relative to where it was started.
  args[3] = inputPath;
  for (const auto& [at, whole] : otherInputs) args[at + 2] = whole;
  // A build is the command line's `residue build`.
  if (build) {
    args[2] = "residue";
    args.insert(args.begin() + 3, "build");
  }
  struct Output {
    std::string role, recorded, again, sha256;
  };
  std::vector<Output> outputs;
  std::string builtName;  // a build's residue file as named
  // The one saved copy the run makes again: every saved report, and a
  // report that was written to a file of its own (a batch scenario's), is
  // the same bytes as it.
  std::string copy;
  auto copyAgain = [&](const std::string& name) {
    if (copy.empty()) {
      // The run gives its saved report the extension of its kind; one saved
      // under another name (the desktop's Disk File) is looked for there.
      const std::string asked = (scratch / name).string();
      args.insert(args.end(), {"--save", asked});
      copy = ReportFileNameFor(asked, "", kind);
    }
    return copy;
  };
  const std::string temporary =
      (fs::path(workdir) / TemporaryReportOf(kind)).lexically_normal().string();
  for (const json& o : manifest["outputs"]) {
    Output x{o["role"].get<std::string>(), ResolveManifestPath(EntryPath(o), workdir), "",
             o["sha256"].get<std::string>()};
    const std::string name = fs::path(x.recorded).filename().string();
    // A build writes its residue files and its report where the residue
    // file is named: in the scratch folder, under their names.
    if (build && (x.role == "residue file" || x.role == "report")) {
      x.again = (scratch / name).string();
      if (x.role == "report") {
        const std::string suffix = BuildReportFileFor("");
        builtName =
            name.size() > suffix.size() ? name.substr(0, name.size() - suffix.size()) : name;
      }
    } else if (x.role == "saved report" ||
               (x.role == "report" &&
                fs::path(x.recorded).lexically_normal().string() != temporary)) {
      x.again = copyAgain(name);
    } else if (x.role == "export") {
      x.again = (scratch / name).string();
      args.insert(args.end(), {"--export", x.again});
    } else {
      x.again = x.recorded;
    }
    outputs.push_back(x);
  }
  // After the samples file, before any option that could take it.
  if (build) args.insert(args.begin() + 5, (scratch / builtName).string());
  args.push_back("--yes");
  // A re-run checks a recorded run; it is not a new step of the assessment.
  if (kind == RunKind::LongTerm || kind == RunKind::Commodity || kind == RunKind::Cumulative ||
      kind == RunKind::Aggregate || build)
    args.push_back("--no-history");

  int status;
  std::ostringstream runOut, runErr;
  {
    ClockOverride clock(*date, utc);
    status = run(args, runOut, runErr);
  }
  err << runErr.str();
  // In a folder moved or copied whole, the reports name their files in the
  // new place: an output that is the recorded one but for that is told apart.
  const std::string recordedFolder = RecordedWorkingFolder(manifest);
  const bool moved =
      fs::path(recordedFolder).lexically_normal() != fs::path(workdir).lexically_normal();
  std::size_t differ = 0, folderOnly = 0;
  out << "Outputs of the run again (" << TerminalText(manifest["run"]["date"].get<std::string>())
      << "):\n";
  for (const Output& x : outputs) {
    auto d = DigestFile(x.again);
    const bool same = d && d->sha256 == x.sha256;
    const bool onlyFolder =
        !same && d && moved && SameButForFolder(x.again, workdir, recordedFolder, x.sha256);
    if (onlyFolder)
      ++folderOnly;
    else if (!same)
      ++differ;
    out << "  "
        << (same ? "identical"
            : d  ? "different"
                 : "missing  ")
        << "  " << TerminalText(x.role) << "  " << TerminalText(x.recorded)
        << (onlyFolder ? "  (only in the working folder's path)" : "") << "\n";
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  if (status != kExitDone) {
    out << "The run did not finish (exit status " << status << ").\n";
    return kExitStopped;
  }
  if (differ == 0 && folderOnly == 0) {
    out << "Every output is byte-identical to the recorded one.\n";
    return kExitDone;
  }
  if (differ == 0) {
    out << "Every output is the recorded one but for the working folder's path: " << folderOnly
        << " of " << outputs.size() << " name it (recorded " << recordedFolder << ", now "
        << workdir << ").\n";
    return kExitSameButForFolder;
  }
  out << differ << " of " << outputs.size() << " outputs differ from the recorded ones";
  if (folderOnly > 0) out << " (and " << folderOnly << " only in the working folder's path)";
  out << ".\n";
  return kExitStopped;
}

int VerifyManifest(const GlobalOptions& global, const std::string& path, std::ostream& out,
                   std::ostream& err) {
  const std::string file = AbsoluteFromStart(path);
  const std::optional<json> loaded = LoadManifest(file, err);
  if (!loaded) return kExitStopped;
  const json& manifest = *loaded;
  const std::string workdir = WorkingFolderOf(global, manifest, file, path);
  bool same = PrintInputs(manifest, workdir, out);
  // A build's residue files still follow from its samples when its inputs
  // are unchanged and the files are the ones it wrote.
  if (manifest["run"]["command"] == CommandOf(RunKind::ResidueBuild)) {
    out << "Residue files built:\n";
    std::size_t changed = 0, count = 0;
    for (const json& o : manifest["outputs"]) {
      if (o["role"] != "residue file") continue;
      ++count;
      const std::string built = ResolveManifestPath(EntryPath(o), workdir);
      const auto d = DigestFile(built);
      const InputState state = !d                               ? InputState::Missing
                               : json(d->sha256) == o["sha256"] ? InputState::Unchanged
                                                                : InputState::Changed;
      out << "  " << StateText(state) << "  " << built << "\n";
      if (state != InputState::Unchanged) ++changed;
    }
    if (changed == 0 && same)
      out << "The residue " << (count == 1 ? "file follows" : "files follow")
          << " from the samples and rules as recorded.\n";
    else if (changed == 0)
      out << "The residue " << (count == 1 ? "file is the one" : "files are the ones")
          << " built, but the inputs changed since: build again to follow them.\n";
    else
      out << changed << " of " << count
          << " residue files changed or missing since they were built.\n";
    same = same && changed == 0;
  }
  return same ? kExitDone : kExitStopped;
}

void AddManifestCommands(CommandLine& cl) {
  auto verifyPath = std::make_shared<std::string>();
  CLI::App& verify =
      cl.Add("verify", "re-hash the inputs a run manifest names: unchanged, changed or missing",
             [&cl, verifyPath](std::ostream& out, std::ostream& err) {
               return VerifyManifest(cl.Global(), *verifyPath, out, err);
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
  rerun.footer(
      "Messages go to standard error as \"TITLE: TEXT\". Exit status: 0 every output\n"
      "byte-identical, 1 an output differs or the run did not finish, 2 usage error, 3 every\n"
      "output the recorded one but for the path of the working folder (moved or copied).");
}

}  // namespace ormid::cli
