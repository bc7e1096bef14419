#include "cli/headroom_command.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <memory>
#include <ostream>

#include "app/run_request.h"
#include "app/startup.h"
#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/mod_ormid.h"
#include "exposure/exposure_terms.h"
#include "exposure/total_exposure.h"
#include "headroom/headroom.h"
#include "headroom/headroom_text.h"
#include "residue/residue_reader.h"

namespace ormid::cli {

namespace {

struct HeadroomArguments {
  AnalysisArguments endpoint;
  std::string subgroups;
  std::string by = "cropgroup";
  std::string target;
};

// The target as typed: a number above 0, nothing else.
double TargetValue(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !(value > 0) || !std::isfinite(value))
    throw UsageError{"--target takes a number above 0, not \"" + text + "\""};
  return value;
}

int RunHeadroom(const GlobalOptions& global, const CLI::App& sub, const HeadroomArguments& a,
                std::ostream& out, std::ostream& err) {
  AnalysisOptions o;
  o.command = "headroom";
  CheckEndpointOptions(a.endpoint, o);
  if (sub.count("--subgroups") != 0) {
    o.subgroups = a.subgroups;
    if (a.subgroups != "all" && !ParseSubgroupRows(a.subgroups, 99999))
      throw UsageError{"--subgroups takes subgroup rows from 1 or all, not \"" + a.subgroups +
                       "\""};
  }
  std::optional<double> target;
  if (sub.count("--target") != 0) target = TargetValue(a.target);

  const std::string residue = AbsoluteFromStart(o.residueFile);
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform platform(err, false);
  CliHost host;
  ModOrmid m;
  if (!StartUp(m, platform, false)) return kExitStopped;
  CheckRowsAgainst(m, o);

  platform.SetResidueFile(residue);
  int cancelled = 0;
  OpenResidueFile(m, platform, cancelled);
  if (cancelled != 0) return kExitStopped;

  // The endpoints are checked as a long-term run checks them; no report is
  // written.
  WindowSettings settings;
  BuildSettings(o, m, settings);
  if (checkstart(m, platform, host, settings, kRunParametersOnly) != RunStatus::Done)
    return kExitStopped;
  ExposureTerms terms;
  int failed = 0;
  ComputeTotalExposure(m, platform, failed, &terms);
  if (failed != 0) return kExitStopped;

  HeadroomRequest request;
  request.by = a.by == "food"   ? HeadroomBy::Food
               : a.by == "form" ? HeadroomBy::Form
                                : HeadroomBy::CropGroup;
  if (o.subgroups)
    request.subgroups = ParseSubgroupRows(*o.subgroups, m.gPopCount).value_or(std::vector<int>{});
  request.target.kind = TargetKindFor(m.gEndpoint);
  request.target.value = target.value_or(DefaultTargetValue(request.target.kind));
  out << HeadroomText(m, ComputeHeadroom(m, terms, request));
  out.flush();
  return kExitDone;
}

}  // namespace

void AddHeadroomCommand(CommandLine& cl) {
  auto args = std::make_shared<HeadroomArguments>();
  auto sub = std::make_shared<CLI::App*>();
  *sub = &cl.Add(
      "headroom",
      "per crop group, food or food form: its share of the most exposed subgroup's exposure "
      "and the residue multiplier that brings the most constrained subgroup to the target",
      [&cl, args, sub](std::ostream& out, std::ostream& err) {
        return RunHeadroom(cl.Global(), **sub, *args, out, err);
      });
  BindEndpointOptions(**sub, args->endpoint);
  (*sub)
      ->add_option("--subgroups", args->subgroups,
                   "the subgroup rows that must stay within the target: 1,5,9 or all (default)")
      ->type_name("LIST");
  (*sub)
      ->add_option("--by", args->by, "one line per crop group (default), food or food form")
      ->check(CLI::IsMember({"cropgroup", "food", "form"}))
      ->type_name("cropgroup|food|form");
  (*sub)
      ->add_option("--target", args->target,
                   "the target: percent of the RfD or PAD (default 100), margin of exposure for "
                   "--noel alone (default 100), lifetime risk for --qstar (default 1E-06)")
      ->type_name("T");
}

}  // namespace ormid::cli
