// The kinds of run the program makes, and everything that is said of a kind
// by name: the command that starts it, the temporary report it writes in the
// working folder, the extension of its saved report and the report kind that
// report delivery knows it by. Every other file names a kind by RunKind.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace ormid {

enum class RunKind {
  LongTerm,    // the Ormid analysis: ormdtemp.txt
  Commodity,   // the commodity contribution analysis: tempcomm.txt
  Listing,     // the residue file listing: tempres.fil
  Headroom,    // the residue multipliers up to a target, on a long-term run's terms
  Cumulative,  // an assessment group's cumulative long-term assessment: tempcum.txt
  // A residue file built from monitoring or field trial samples: its build
  // report beside the residue file ("OUT.R98.build.txt").
  ResidueBuild,
  Aggregate,  // one pesticide's food, drinking water and residential exposure: tempagg.txt
};

// The temporary reports, always in the working folder.
inline constexpr const char* kLongTermReportFile = "ormdtemp.txt";
inline constexpr const char* kCommodityReportFile = "tempcomm.txt";
inline constexpr const char* kResidueListingFile = "tempres.fil";
inline constexpr const char* kCumulativeReportFile = "tempcum.txt";
inline constexpr const char* kAggregateReportFile = "tempagg.txt";

inline constexpr std::array<RunKind, 7> kRunKinds = {
    RunKind::LongTerm,   RunKind::Commodity,    RunKind::Listing,  RunKind::Headroom,
    RunKind::Cumulative, RunKind::ResidueBuild, RunKind::Aggregate};

// "longterm", "commodity", "listing", "headroom", "cumulative",
// "residue-build", "aggregate": the command line's command (the
// residue build's is `residue build`), and the kind as manifests, the run
// history and scenario files write it.
const char* CommandOf(RunKind kind);
// The kind a command names (exactly, lower case); nullopt for any other text.
std::optional<RunKind> RunKindFromCommand(std::string_view command);

// The temporary report the kind writes in the working folder
// ("ormdtemp.txt"); "" for a kind that has none (headroom prints its table,
// a residue build writes its report beside the residue file).
const char* TemporaryReportOf(RunKind kind);
// The extension of the kind's saved report (".OR10", ".CC10", ".OR1",
// ".HR10", ".CU10", ".RB10", ".AG10"), upper case.
const char* SavedReportExtensionOf(RunKind kind);

// The report kind as report delivery and the main window's gReportKind
// number it: 4 the long-term report, 2 the commodity contribution report,
// 1 the residue file listing; the reports the program added later go on
// from 8 (8 the cumulative report, 16 the headroom table, 32 the aggregate
// report, 64 the build report).
int ReportCodeOf(RunKind kind);
// The kind of a report kind's number; nullopt for a number no kind has.
std::optional<RunKind> RunKindFromReportCode(int code);

}  // namespace ormid
