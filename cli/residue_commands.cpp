#include "cli/residue_commands.h"

#include <CLI/CLI.hpp>
#include <memory>
#include <ostream>

#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/mod_ormid.h"
#include "residue_table/residue_table_command.h"
#include "residue_table/table_text.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace {

struct ResidueArguments {
  std::string residueFile;
  std::string table;
  std::string output;
  bool yes = false;
};

void PrintLines(std::ostream& err, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) err << line << "\n";
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

}  // namespace

void AddResidueCommands(CommandLine& cl) {
  auto args = std::make_shared<ResidueArguments>();
  auto exportCommand = std::make_shared<CLI::App*>();
  CLI::App& residue =
      cl.Add("residue", "residue files as spreadsheet tables and back (export, import)",
             [&cl, args, exportCommand](std::ostream&, std::ostream& err) {
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
}

}  // namespace ormid::cli
