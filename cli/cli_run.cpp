#include "cli/cli_run.h"

#include "cli/aggregate_command.h"
#include "cli/analysis_commands.h"
#include "cli/analysis_options.h"
#include "cli/batch_command.h"
#include "cli/cumulative_command.h"
#include "cli/headroom_command.h"
#include "cli/history_commands.h"
#include "cli/manifest_commands.h"
#include "cli/residue_commands.h"

namespace ormid::cli {

void AddEveryCommand(CommandLine& cl) {
  AddAnalysisCommands(cl);
  AddHeadroomCommand(cl);
  AddCumulativeCommand(cl);
  AddAggregateCommand(cl);
  AddManifestCommands(cl);
  AddResidueCommands(cl);
  AddBatchCommands(cl);
  AddHistoryCommands(cl);
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine cl;
  AddEveryCommand(cl);
  std::vector<std::string> marked = args;
  MarkEmptyEndpointTexts(marked);
  return cl.Execute(marked, out, err);
}

}  // namespace ormid::cli
