#include "cli/analysis_commands.h"

#include <CLI/CLI.hpp>
#include <iomanip>
#include <memory>
#include <optional>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/history_commands.h"
#include "cli/session_run.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "export/results_export.h"
#include "headroom/what_if.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"
#include "residue/residue_listing.h"
#include "residue/residue_reader.h"
#include "session/run_session.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

void PrintInfo(const ModOrmid& m, std::ostream& out) {
  const char* survey = m.gSurveyBase == 0   ? "CSFII 1994-96, 1998"
                       : m.gSurveyBase == 1 ? "NHANES 1999-2006, 1-day"
                       : m.gSurveyBase == 2 ? "NHANES 2005-2010, 2-day"
                                            : "unknown";
  // The texts come from the installation's files: shown, never obeyed.
  out << "Survey base:       " << m.gSurveyBase << " (" << survey << ")\n"
      << "Data version:      " << TerminalText(m.gDataVersion) << "\n"
      << "Program version:   " << TerminalText(m.gProgramVersion) << "\n"
      << "Window caption:    " << TerminalText(WindowCaption(m)) << "\n"
      << "Working folder:    " << TerminalText(m.gWorkingDir) << "\n"
      << "Residue path:      " << TerminalText(m.gResiduePath) << "\n"
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
        << TerminalText(m.gPopNames[static_cast<std::size_t>(k)]) << "\n";
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

// A run on the command line: start-up, the residue file named, the
// settings from the options, then the run session. Usage errors are all
// found before the residue file is read.
int RunAnalysis(const GlobalOptions& global, const AnalysisOptions& o, std::ostream& out,
                std::ostream& err) {
  // The residue file is named relative to where the command was started.
  std::string residue = AbsoluteFromStart(o.residueFile);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;

  CliPlatform platform(err, o.yes);
  ModOrmid m;
  RunRequest request;
  if (!StartAndOpen(platform, o, residue, m, request.settings)) return kExitStopped;

  request.kind = RunKindFromCommand(o.command).value_or(RunKind::LongTerm);
  if (o.exclude) {
    request.recordedSettings = request.settings;
    request.excluded = ApplyExclusion(*o.exclude, m, request.settings);
  }
  request.exports = o.exports;
  if (!o.noHistory && request.kind != RunKind::Listing) {
    request.history = RunRequest::History::Record;
    request.historyBusyMilliseconds = HistoryBusyMilliseconds();
  }
  m.gLineCount = static_cast<Int16>(o.lineCount);
  return ReportedStatus(RunThroughSession(platform, m, request, err), o.toStdout, out, err);
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
