#include "cli/analysis_commands.h"

#include <CLI/CLI.hpp>
#include <future>
#include <iomanip>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/history_commands.h"
#include "core/background_results.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "export/results_export.h"
#include "headroom/what_if.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"
#include "setup/run_request.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

void PrintInfo(const ModOrmid& m, std::ostream& out) {
  const char* survey = m.gSurveyBase == 0   ? "CSFII 1994-96, 1998"
                       : m.gSurveyBase == 1 ? "NHANES 1999-2006, 1-day"
                       : m.gSurveyBase == 2 ? "NHANES 2005-2010, 2-day"
                                            : "unknown";
  out << "Survey base:       " << m.gSurveyBase << " (" << survey << ")\n"
      << "Data version:      " << m.gDataVersion << "\n"
      << "Program version:   " << m.gProgramVersion << "\n"
      << "Window caption:    " << WindowCaption(m) << "\n"
      << "Working folder:    " << m.gWorkingDir << "\n"
      << "Residue path:      " << m.gResiduePath << "\n"
      << "Page length:       " << m.gPageLength << "\n"
      << "Page numbers:      " << m.gPageNumbers << "\n"
      << "Master foods:      " << m.gFoodCount << "\n"
      << "Food-form entries: " << m.gRacCount << "\n"
      << "Crop groups:       " << m.gCropGroupCount << "\n"
      << "PAD rows:          " << m.gPADFirstPop << " to "
      << std::min<int>(m.gPADFirstPop + m.gPADRowCount - 1, m.gPopCount) << "\n"
      << "Population subgroups: " << m.gPopCount << "\n"
      << "  Row  Column  Name\n";
  for (int k = 1; k <= m.gPopCount; ++k)
    out << std::setw(5) << k << std::setw(8) << m.gPopOrder[static_cast<std::size_t>(k)] << "  "
        << m.gPopNames[static_cast<std::size_t>(k)] << "\n";
}

bool CopyToStdout(const char* file, std::ostream& out) {
  auto bytes = ReadWholeFile(file);
  if (!bytes) return false;
  out.write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  out.flush();
  return true;
}

// --exclude: the named commodities carry no residue in this run, and the
// run comment says which they were. Codes can only be checked against the
// residue file once it is read.
// Returns the codes excluded.
std::vector<std::string> ApplyExclusion(const std::string& list, ModOrmid& m,
                                        WindowSettings& settings) {
  Exclusion exclusion;
  std::string unknown;
  if (!ResolveExclusion(m, SplitCodes(list), exclusion, unknown))
    throw UsageError{"--exclude: " + unknown +
                     " is neither a crop group code nor a commodity code of the residue file"};
  if (exclusion.empty()) return {};
  ClearExcludedResidues(m, exclusion);
  settings.txtComment = CommentWithExclusion(TrimBlanks(settings.txtComment), exclusion);
  return exclusion.codes;
}

// The command line's host of a run: the run's figures go to the exports
// and the run history.
// The exports and the run history take the rows on a thread of their own,
// beside the run.
class AnalysisHost : public CliHost {
 public:
  ResultsSink* Results() override { return sinks.Empty() ? nullptr : &background; }
  ResultsFanOut sinks;
  BackgroundResults background{sinks};
};

// After a finished long-term or commodity run: the exports put in place,
// the manifest, with every file the run wrote, beside the saved report and
// each CSV export, and the run recorded in the run history. A file that
// cannot be written gets a message; the run's reports stand.
int FinishRun(ModOrmid& m, CliPlatform& p, const AnalysisOptions& o, const ManifestRun& record,
              const InputDigests* inputs, ResultsExport* exports, HistoryWriter* writer,
              const HistoryRecorder* history) {
  int status = kExitDone;
  auto fail = [&](const std::string& text) {
    p.MessageBox(text + ". The reports of the run stand.", "Export Results", MsgIcon::Exclamation,
                 MsgButtons::OK);
    status = kExitStopped;
  };
  const int kind = o.command == "longterm" ? kRunLongTerm : kRunCommodity;
  nlohmann::json manifest = BuildManifest(m, record, inputs);
  AddOutput(manifest, "report", kind == kRunLongTerm ? kLongTermReportFile : kCommodityReportFile,
            p.digests);
  std::string saved;
  if (record.settings.chkSaveRpt) {
    saved = ReportFileNameFor(record.settings.txtRptFile, m.gResiduePath, kind);
    AddOutput(manifest, "saved report", saved, p.digests);
  }
  std::vector<std::string> written;
  if (exports) {
    auto failures = exports->Commit();
    for (const std::string& path : o.exports) {
      bool failed = false;
      for (const ExportFailure& f : failures) failed = failed || f.path == path;
      if (!failed && AddOutput(manifest, "export", path, p.digests)) written.push_back(path);
    }
    for (const ExportFailure& f : failures)
      fail("The export file " + f.path + " could not be written: " + f.reason);
  }
  std::string error;
  for (const std::string& path : written)
    if (ExportFormatOf(path) == ExportFormat::Csv &&
        !WriteManifest(p, ManifestPathFor(path), manifest, error))
      fail("The manifest " + ManifestPathFor(path) + " could not be written: " + error);
  if (!saved.empty() && !WriteManifest(p, ManifestPathFor(saved), manifest, error))
    fail("The manifest " + ManifestPathFor(saved) + " could not be written: " + error);
  if (history && writer) RecordFinishedRun(p, *writer, manifest, *history);
  return status;
}

// One run of the main window's job: start-up, the open, the settings, the
// run request. Usage errors are all found before the residue file is read.
int RunAnalysis(const GlobalOptions& global, const AnalysisOptions& o, std::ostream& out,
                std::ostream& err) {
  // The residue file is named relative to where the command was started.
  std::string residue = AbsoluteFromStart(o.residueFile);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;

  CliPlatform platform(err, o.yes);
  // Digests of the written files are taken only for a manifest (a saved
  // report or an export); a plain run does not pay for them.
  OutputDigests digests;
  // The manifest (beside a saved report or an export, or in the run
  // history) lists the report with the digest taken as it was written.
  const bool recorded = !o.noHistory && o.command != "listing";
  if (o.save || !o.exports.empty() || recorded) platform.digests = &digests;
  AnalysisHost host;
  ModOrmid m;
  WindowSettings settings;
  if (!StartAndOpen(platform, o, residue, m, settings)) return kExitStopped;
  const WindowSettings asGiven = settings;
  std::vector<std::string> excluded;
  if (o.exclude) excluded = ApplyExclusion(*o.exclude, m, settings);

  // An export replaces an existing file only when the user says so, asked
  // before the run.
  if (!MayReplaceExports(platform, o.exports)) return kExitStopped;
  // What the manifest and the run history need before the run's end is
  // made ready beside the run: the inputs' digests, and the history file
  // opened with its statements prepared.
  std::optional<HistoryWriter> writer;
  if (recorded) {
    RecordRequest request;
    request.busyMilliseconds = HistoryBusyMilliseconds();
    request.now = platform.Now();
    writer.emplace(request);
  }
  std::future<InputDigests> inputsAhead;
  if (platform.digests)
    inputsAhead = std::async(std::launch::async,
                             [paths = ManifestInputs(m), w = writer ? &*writer : nullptr] {
                               InputDigests digests = DigestInputs(paths);
                               if (w) w->OpenAhead();
                               return digests;
                             });
  std::optional<InputDigests> inputs;
  auto known = [&]() -> const InputDigests* {
    if (!inputs && inputsAhead.valid()) inputs = inputsAhead.get();
    return inputs ? &*inputs : nullptr;
  };
  ManifestRun record{o.command, asGiven, {}, false, excluded, o.lineCount};
  auto manifest = [&] {
    record.date = platform.Now();
    record.utc = platform.ClockIsUtc();
    return BuildManifest(m, record, known());
  };
  std::optional<ResultsExport> exports;
  if (!o.exports.empty()) {
    exports.emplace(platform, o.exports, manifest);
    host.sinks.Add(&*exports);
  }
  std::optional<HistoryRecorder> history;
  if (!o.noHistory && o.command != "listing") {
    history.emplace();
    host.sinks.Add(&*history);
  }

  const char* reportFile = nullptr;
  if (o.command == "listing") {
    if (!CheckResidueListing(m, platform, host, settings)) return kExitStopped;
    if (!WriteResidueListing(m, platform, settings, kResidueListingFile)) return kExitStopped;
    reportFile = kResidueListingFile;
  } else {
    int kind = o.command == "longterm" ? kRunLongTerm : kRunCommodity;
    m.gLineCount = static_cast<Int16>(o.lineCount);
    if (checkstart(m, platform, host, settings, kind) != RunStatus::Done) return kExitStopped;
    reportFile = kind == kRunLongTerm ? kLongTermReportFile : kCommodityReportFile;
  }
  int status = kExitDone;
  if (o.command != "listing" && (settings.chkSaveRpt || exports || history)) {
    record.date = platform.Now();
    record.utc = platform.ClockIsUtc();
    status = FinishRun(m, platform, o, record, known(), exports ? &*exports : nullptr,
                       writer ? &*writer : nullptr, history ? &*history : nullptr);
  }
  if (o.toStdout && !CopyToStdout(reportFile, out)) {
    err << "ormid-cli: cannot read " << reportFile << "\n";
    return kExitStopped;
  }
  return status;
}

void AddAnalysis(CommandLine& cl, const std::string& name, const std::string& description) {
  auto args = std::make_shared<AnalysisArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add(name, description, [&cl, args, name, sub](std::ostream& out, std::ostream& err) {
    return RunAnalysis(cl.Global(), CheckAnalysisOptions(**sub, name, *args), out, err);
  });
  BindAnalysisOptions(**sub, *args);
  if (name == "longterm")
    (*sub)
        ->add_option("--exclude", args->exclude,
                     "figures as if these crop groups or commodities carried no residue: crop "
                     "group codes (10, 1A) or commodity codes, comma-separated")
        ->type_name("CODE[,CODE...]");
}

}  // namespace

void AddAnalysisCommands(CommandLine& cl) {
  cl.Add("info", "start up and print the installation summary",
         [&cl](std::ostream& out, std::ostream& err) {
           if (!EnterWorkingFolder(cl.Global(), err)) return kExitStopped;
           CliPlatform platform(err, false);
           ModOrmid m;
           if (!StartUp(m, platform, false)) return kExitStopped;
           PrintInfo(m, out);
           return kExitDone;
         });
  AddAnalysis(cl, "longterm", "long-term analysis (ormdtemp.txt)");
  AddAnalysis(cl, "commodity", "commodity contribution analysis (tempcomm.txt)");
  AddAnalysis(cl, "listing", "residue file listing (tempres.fil)");
}

}  // namespace ormid::cli
