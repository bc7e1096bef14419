#include "core/run_kind.h"

namespace ormid {

namespace {

struct KindNames {
  RunKind kind;
  const char* command;
  const char* temporaryReport;
  const char* savedExtension;
  int reportCode;
};

constexpr std::array<KindNames, kRunKinds.size()> kNames = {{
    {RunKind::LongTerm, "longterm", kLongTermReportFile, ".OR10", 4},
    {RunKind::Commodity, "commodity", kCommodityReportFile, ".CC10", 2},
    {RunKind::Listing, "listing", kResidueListingFile, ".OR1", 1},
    {RunKind::Headroom, "headroom", "", ".HR10", 16},
    {RunKind::Cumulative, "cumulative", kCumulativeReportFile, ".CU10", 8},
    {RunKind::ResidueBuild, "residue-build", "", ".RB10", 64},
    {RunKind::Aggregate, "aggregate", kAggregateReportFile, ".AG10", 32},
}};

const KindNames& NamesOf(RunKind kind) {
  for (const KindNames& n : kNames)
    if (n.kind == kind) return n;
  return kNames[0];
}

}  // namespace

const char* CommandOf(RunKind kind) {
  return NamesOf(kind).command;
}

std::optional<RunKind> RunKindFromCommand(std::string_view command) {
  for (const KindNames& n : kNames)
    if (command == n.command) return n.kind;
  return std::nullopt;
}

const char* TemporaryReportOf(RunKind kind) {
  return NamesOf(kind).temporaryReport;
}

const char* SavedReportExtensionOf(RunKind kind) {
  return NamesOf(kind).savedExtension;
}

int ReportCodeOf(RunKind kind) {
  return NamesOf(kind).reportCode;
}

std::optional<RunKind> RunKindFromReportCode(int code) {
  for (const KindNames& n : kNames)
    if (code == n.reportCode) return n.kind;
  return std::nullopt;
}

}  // namespace ormid
