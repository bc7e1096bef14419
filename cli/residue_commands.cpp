#include "cli/residue_commands.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "cli/history_commands.h"
#include "cli/session_run.h"
#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/utf8.h"
#include "residue_build/residue_build.h"
#include "residue_table/residue_table_command.h"
#include "residue_table/table_text.h"
#include "session/run_session.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

struct ResidueArguments {
  std::string residueFile;
  std::string table;
  std::string output;
  bool yes = false;
};

struct BuildArguments {
  std::string samples, rules, chemical, output;
  std::string noel = "0", rfd = "0", qstar = "0";
  std::string nonDetects = "half-lod", notQuantified = "half-loq", cropTreated = "zero-non-detects",
              bound = "middle";
  std::vector<std::string> exports;
  std::string save;
  bool yes = false, noHistory = false;
};

void PrintLines(std::ostream& err, const std::vector<std::string>& lines) {
  // Each line names a table's texts: shown on its line, never obeyed.
  for (const std::string& line : lines) err << TerminalText(line) << "\n";
  err.flush();
}

int Export(const GlobalOptions& global, const ResidueArguments& a, std::ostream& err) {
  if (const std::string problem = ExportUsageProblem(a.table); !problem.empty())
    throw UsageError{problem};
  RefuseStandardInput(a.residueFile, "the residue file",
                      "a residue file is read by its name, with its folder");
  // Files are named relative to where the command was started.
  const std::string residue = AbsoluteFromStart(a.residueFile);
  const std::string table = AbsoluteFromStart(a.table);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  const TableExportOutcome outcome = ExportResidueTable(m, platform, residue, a.table, table);
  PrintLines(err, outcome.warnings);
  return outcome.written ? kExitDone : kExitStopped;
}

int Import(const GlobalOptions& global, const ResidueArguments& a, std::ostream& err) {
  const std::string table = AbsoluteFromStart(a.table);
  const std::string output = AbsoluteFromStart(a.output);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  // The residue file's kind is the installation's.
  if (const std::string problem = ImportUsageProblem(m, a.table, a.output); !problem.empty())
    throw UsageError{problem};
  TableImportOutcome outcome;
  if (IsStandardInput(a.table)) {
    // The table is read once, whole, before it is checked.
    std::string error;
    const auto bytes = ReadStandardInput(kMaxTableBytes, error);
    if (!bytes) {
      err << "ormid-cli: the table on standard input " << error << "\n";
      return kExitStopped;
    }
    outcome = ImportResidueTableBytes(m, platform, "standard input", *bytes, output);
  } else {
    outcome = ImportResidueTable(m, platform, a.table, table, output);
  }
  PrintLines(err, outcome.warnings);
  PrintLines(err, ProblemsToShow(outcome.problems, outcome.problemCount));
  return outcome.written ? kExitDone : kExitStopped;
}

// An endpoint value the residue file carries: a number of 0 or more, as a
// residue table's header gives it.
float EndpointValue(const char* option, const std::string& text) {
  const std::string trimmed = TrimCell(text);
  const std::optional<float> v = ReadFloatText(trimmed);
  if (trimmed.empty() || !v || !std::isfinite(*v) || *v < 0)
    throw UsageError{std::string(option) + " takes a number of 0 or more (0 for none), not \"" +
                     text + "\""};
  return *v == 0 ? 0.0f : *v;
}

template <typename T>
T OptionWord(const char* option, const std::string& word,
             std::optional<T> (*from)(std::string_view), const char* words) {
  const std::optional<T> v = from(word);
  if (!v) throw UsageError{std::string(option) + " takes " + words + ", not \"" + word + "\""};
  return *v;
}

int Build(const GlobalOptions& global, const BuildArguments& a, std::ostream& err) {
  const std::string why = "a build records its name and digest in its manifest";
  RefuseStandardInput(a.samples, "the samples file", why);
  RefuseStandardInput(a.rules, "the rules file", why);
  RunRequest request;
  request.kind = RunKind::ResidueBuild;
  ResidueBuildSettings& s = request.residueBuild;
  // Files are named relative to where the command was started.
  s.samples = AbsoluteFromStart(a.samples);
  s.rules = AbsoluteFromStart(a.rules);
  s.samplesShown = a.samples;
  s.rulesShown = a.rules;
  s.output = AbsoluteFromStart(a.output);
  s.chemical = a.chemical;
  s.noel = EndpointValue("--noel", a.noel);
  s.rfd = EndpointValue("--rfd", a.rfd);
  s.qstar = EndpointValue("--qstar", a.qstar);
  s.nonDetects = OptionWord("--non-detects", a.nonDetects, NonDetectRuleFrom,
                            "zero, half-lod, lod, half-loq or loq");
  s.notQuantified = OptionWord("--not-quantified", a.notQuantified, NotQuantifiedRuleFrom,
                               "half-loq, loq or lod-plus-half");
  s.cropTreated = OptionWord("--crop-treated", a.cropTreated, CropTreatedRuleFrom,
                             "zero-non-detects or factor");
  s.bound = OptionWord("--bound", a.bound, BoundChoiceFrom, "lower, middle, upper or all");
  request.report = BuildReportFileFor(s.output);
  request.exports = CheckedExports(a.exports);
  if (!a.save.empty()) {
    request.settings.chkSaveRpt = true;
    request.settings.txtRptFile = a.save;
  }
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, a.yes);
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  // The residue file's kind is the installation's.
  if (const std::string problem = ResidueBuildUsageProblem(m, s); !problem.empty())
    throw UsageError{problem};
  if (!a.noHistory) {
    request.history = RunRequest::History::Record;
    request.historyBusyMilliseconds = HistoryBusyMilliseconds();
  }
  return RunThroughSession(platform, m, request, err).Status();
}

}  // namespace

void AddResidueCommands(CommandLine& cl) {
  auto args = std::make_shared<ResidueArguments>();
  auto build = std::make_shared<BuildArguments>();
  auto exportCommand = std::make_shared<CLI::App*>();
  auto buildCommand = std::make_shared<CLI::App*>();
  CLI::App& residue = cl.Add(
      "residue",
      "residue files as spreadsheet tables and back (export, import), and built from samples "
      "(build)",
      [&cl, args, build, exportCommand, buildCommand](std::ostream&, std::ostream& err) {
        if ((*buildCommand)->parsed()) return Build(cl.Global(), *build, err);
        return (*exportCommand)->parsed() ? Export(cl.Global(), *args, err)
                                          : Import(cl.Global(), *args, err);
      });
  residue.require_subcommand(1);

  CLI::App& exp = AddNestedCommand(residue, "export",
                                   "a residue file as a table: .csv, or .xlsx for a workbook");
  exp.add_option("RESIDUE_FILE", args->residueFile, "the residue file (.R98, .R10)")->required();
  exp.add_option("TABLE", args->table, "the table written (.csv or .xlsx)")->required();
  exp.add_flag("--yes", args->yes, "answer Yes to the overwrite question (default No)");
  *exportCommand = &exp;

  CLI::App& imp = AddNestedCommand(
      residue, "import",
      "a table (.csv) as a residue file of the installation's kind, every row checked first");
  imp.add_option("TABLE", args->table,
                 "the table read (.csv, comma or semicolon separated; - for standard input)")
      ->required();
  imp.add_option("OUTPUT", args->output, "the residue file written (.R98 CSFII, .R10 NHANES)")
      ->required();
  imp.add_flag("--yes", args->yes, "answer Yes to the overwrite question (default No)");

  CLI::App& b = AddNestedCommand(
      residue, "build",
      "a residue file of the installation's kind built from monitoring or field trial samples "
      "by the rules of a rules file, with its build report beside it (OUTPUT.build.txt)");
  b.add_option("SAMPLES", build->samples,
               "the samples (.csv: commodity, sample_id, result_ppm, lod_ppm, loq_ppm, detected)")
      ->required();
  b.add_option("OUTPUT", build->output,
               "the residue file written (.R98 CSFII, .R10 NHANES); with --bound all, "
               "NAME-lower, NAME-middle and NAME-upper")
      ->required();
  b.add_option("--rules", build->rules,
               "the rules (.csv: commodity, food_code, food_form, processing_factor, "
               "percent_crop_treated, note)")
      ->required()
      ->type_name("FILE");
  b.add_option("--chemical", build->chemical, "the chemical's name in the residue file")
      ->required()
      ->type_name("NAME");
  b.add_option("--noel", build->noel, "the NOEL the file carries, mg/kg bw/day (default 0)")
      ->type_name("NUMBER");
  b.add_option("--rfd", build->rfd, "the RfD the file carries (default 0)")->type_name("NUMBER");
  b.add_option("--qstar", build->qstar, "the Q* the file carries (default 0)")->type_name("NUMBER");
  b.add_option("--non-detects", build->nonDetects,
               "what a non-detect counts as: zero, half-lod (the default), lod, half-loq, loq")
      ->type_name("RULE");
  b.add_option("--not-quantified", build->notQuantified,
               "what a result marked nq counts as: half-loq (the default), loq, lod-plus-half "
               "(LOD + (LOQ - LOD)/2)")
      ->type_name("RULE");
  b.add_option("--crop-treated", build->cropTreated,
               "zero-non-detects (the default: monitoring data, the untreated share of the "
               "samples as true zeros) or factor (field trials: adjustment factor #2 = PCT/100)")
      ->type_name("RULE");
  b.add_option("--bound", build->bound,
               "middle (the default: the rules above), lower (non-detects as 0), upper (at their "
               "LOQ or LOD), or all: three residue files")
      ->type_name("BOUND");
  // One file each, so that OUTPUT may follow an --export.
  b.add_option("--export", build->exports,
               "write the build table as FILE.csv, FILE.json or FILE.xlsx (repeatable)")
      ->allow_extra_args(false)
      ->type_size(1)
      ->type_name("FILE");
  b.add_option("--save", build->save,
               "also save the build report as NAME.RB10 (in the residue folder when NAME has no "
               "folder)")
      ->type_name("NAME");
  b.add_flag("--yes", build->yes, "answer Yes to the overwrite questions (default No)");
  b.add_flag("--no-history", build->noHistory, "do not record the build in the run history");
  *buildCommand = &b;
}

}  // namespace ormid::cli
