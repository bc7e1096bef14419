#include "cli/analysis_options.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "batch/batch_run.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "export/table_writer.h"
#include "report/number_format.h"
#include "residue/residue_reader.h"
#include "setup/pad_form.h"
#include "setup/run_request.h"
#include "setup/startup.h"

namespace ormid::cli {

namespace fs = std::filesystem;

namespace {

// "--noel=" names an empty box, unlike "--noel", which keeps the file's
// value; CLI11 reads both as a flag without a value, so the empty text gets
// a mark of its own.
constexpr char kEmptyText[] = "\x1e";

bool ParseRow(const std::string& text, int& row) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  row = std::atoi(text.c_str());
  return true;
}

EndpointOption Endpoint(const std::string& value) {
  EndpointOption e;
  if (value == AnalysisArguments::kUnset) return e;
  e.given = true;
  if (value == kEmptyText)
    e.text = "";
  else if (value != AnalysisArguments::kNoText)
    e.text = value;
  return e;
}

std::optional<std::string> Given(const CLI::App& sub, const char* name, const std::string& v) {
  // A command that does not offer the option never has it.
  const CLI::Option* option = sub.get_option_no_throw(name);
  if (!option || option->count() == 0) return std::nullopt;
  return v == kEmptyText ? std::string() : v;
}

}  // namespace

void MarkEmptyEndpointTexts(std::vector<std::string>& args) {
  // An empty text after "=" would otherwise take the next argument as the
  // option's text (a recorded "--comment=" before "--save NAME").
  for (auto& a : args)
    if (a == "--noel=" || a == "--rfd=" || a == "--qstar=" || a == "--comment=" ||
        a == "--food-pct=" || a == "--crop-pct=")
      a += kEmptyText;
}

void BindEndpointOptions(CLI::App& sub, AnalysisArguments& a) {
  sub.add_option("RESIDUE_FILE", a.residueFile, "the residue file (.R98 or .R10)")
      ->required()
      ->type_name("");
  const std::string noText = std::string("{") + AnalysisArguments::kNoText + "}";
  sub.add_flag("--noel" + noText, a.noel,
               "check NOEL; TEXT goes in its box (without it the box keeps the file's NOEL)");
  sub.add_flag("--rfd" + noText, a.rfd, "check RfD; likewise");
  sub.add_flag("--qstar" + noText, a.qstar, "check Q* (always alone); likewise");
  sub.add_flag("--pad", a.pad, "check PAD (and thereby RfD)")->disable_flag_override();
  sub.add_option("--pad-value", a.padValues,
                 "PAD box of subgroup row ROW (repeatable; needs --pad)")
      ->allow_extra_args(false)
      ->type_size(1)
      ->type_name("ROW=TEXT");
  sub.add_flag("--adj2", a.adj2, "use the second adjustment factor")->disable_flag_override();
}

void BindAnalysisOptions(CLI::App& sub, AnalysisArguments& a) {
  BindEndpointOptions(sub, a);
  sub.add_option("--comment", a.comment, "run comment (default: the residue file's comment)")
      ->type_name("TEXT");
  sub.add_option("--save", a.save, "save reports to file NAME (extension added)")
      ->type_name("NAME");
  sub.add_flag("--yes", a.yes, "answer Yes to the overwrite questions (default No)")
      ->disable_flag_override();
  // The commodity analysis's boxes: a long-term run checks them as the
  // window does (and its manifests may record them); a listing has none.
  if (sub.get_name() != "listing") {
    sub.add_flag("--complete", a.complete, "complete commodity report")->disable_flag_override();
    sub.add_flag("--critical", a.critical, "critical commodity report")->disable_flag_override();
    sub.add_option("--food-pct", a.foodPct,
                   "critical value for foods/foodforms (needs --critical)");
    sub.add_option("--crop-pct", a.cropPct, "critical value for crop groups (needs --critical)");
    sub.add_option("--subgroups", a.subgroups,
                   "subgroup rows for the commodity analysis: 1,5,9 or all")
        ->type_name("LIST");
  }
  sub.add_flag("--stdout", a.toStdout, "also write the finished report to standard output")
      ->disable_flag_override();
  if (sub.get_name() != "listing") {
    sub.add_option("--export", a.exports,
                   "write the run's figures to FILE (.csv, .json or .xlsx; repeatable)")
        ->allow_extra_args(false)
        ->type_size(1)
        ->type_name("FILE");
    sub.add_flag("--no-history", a.noHistory,
                 "do not record the run in the run history (ormid-history.sqlite)")
        ->disable_flag_override();
  }
  // The desktop program counts report lines across its runs; a long-term
  // report written after another one has no leading blank line. Its
  // manifests record the count, so that a re-run writes the same report.
  if (sub.get_name() == "longterm")
    sub.add_option("--line-count", a.lineCount,
                   "report lines an earlier report of the same session left counted (0: none)")
        ->check(CLI::Range(0, 32767))
        ->type_name("N");
}

void CheckEndpointOptions(const AnalysisArguments& a, AnalysisOptions& o) {
  RefuseStandardInput(a.residueFile, "the residue file",
                      "a run records its residue file's name and digest in its manifest");
  o.residueFile = a.residueFile;
  o.noel = Endpoint(a.noel);
  o.rfd = Endpoint(a.rfd);
  o.qstar = Endpoint(a.qstar);
  o.pad = a.pad;
  for (const std::string& v : a.padValues) {
    auto eq = v.find('=');
    int row = 0;
    if (eq == std::string::npos || !ParseRow(v.substr(0, eq), row))
      throw UsageError{"--pad-value needs ROW=TEXT, not \"" + v + "\""};
    o.padValues.emplace_back(row, v.substr(eq + 1));
  }
  o.adj2 = a.adj2;
  // What the main window's interlocks forbid.
  if (o.qstar.given && (o.noel.given || o.rfd.given || o.pad))
    throw UsageError{"--qstar is always used alone (not with --noel, --rfd or --pad)"};
  if (!o.padValues.empty() && !o.pad) throw UsageError{"--pad-value needs --pad (the PAD form)"};
  for (const auto& [row, text] : o.padValues)
    if (row < 1) throw UsageError{"--pad-value rows start at 1, not " + std::to_string(row)};
}

AnalysisOptions CheckAnalysisOptions(const CLI::App& sub, const std::string& command,
                                     const AnalysisArguments& a) {
  AnalysisOptions o;
  o.command = command;
  CheckEndpointOptions(a, o);
  o.comment = Given(sub, "--comment", a.comment);
  o.save = Given(sub, "--save", a.save);
  o.yes = a.yes;
  o.complete = a.complete;
  o.critical = a.critical;
  o.foodPct = Given(sub, "--food-pct", a.foodPct);
  o.cropPct = Given(sub, "--crop-pct", a.cropPct);
  o.subgroups = Given(sub, "--subgroups", a.subgroups);
  o.toStdout = a.toStdout;
  o.lineCount = a.lineCount;
  o.noHistory = a.noHistory;
  o.exports = CheckedExports(a.exports);
  if (command == "longterm") o.exclude = Given(sub, "--exclude", a.exclude);

  if ((o.foodPct || o.cropPct) && !o.critical)
    throw UsageError{"--food-pct and --crop-pct need --critical"};
  if (o.subgroups && !o.complete && !o.critical)
    throw UsageError{"--subgroups needs --complete or --critical"};
  if (command == "commodity" && !o.complete && !o.critical)
    throw UsageError{"commodity needs --complete or --critical"};
  // Rows are numbers from 1 on whatever the installation; whether they go
  // past its last subgroup is checked once it is started.
  if (o.subgroups && *o.subgroups != "all" && !ParseSubgroupRows(*o.subgroups, 99999))
    throw UsageError{"--subgroups takes subgroup rows from 1 or all, not \"" + *o.subgroups + "\""};
  if (o.subgroups) RefuseRepeatedSubgroupRows(*o.subgroups);
  return o;
}

void RefuseRepeatedSubgroupRows(const std::string& list) {
  const auto rows = ParseSubgroupRows(list, 99999);
  if (!rows || list == "all") return;
  std::set<int> seen;
  for (int row : *rows)
    if (!seen.insert(row).second)
      throw UsageError{"--subgroups names the row " + std::to_string(row) + " twice (\"" + list +
                       "\"): name each subgroup once"};
}

std::optional<std::vector<int>> ParseSubgroupRows(const std::string& list, int popCount) {
  std::vector<int> rows;
  if (list == "all") {
    for (int r = 1; r <= popCount; ++r) rows.push_back(r);
    return rows;
  }
  std::size_t start = 0;
  for (;;) {
    auto comma = list.find(',', start);
    std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    int row = 0;
    if (!ParseRow(item, row) || row < 1 || row > popCount) return std::nullopt;
    rows.push_back(row);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return rows;
}

void CheckRowsAgainst(const ModOrmid& m, const AnalysisOptions& o) {
  if (o.subgroups && !ParseSubgroupRows(*o.subgroups, m.gPopCount))
    throw UsageError{"--subgroups takes rows 1 to " + std::to_string(m.gPopCount) +
                     " or all, not \"" + *o.subgroups + "\""};
  if (o.padValues.empty()) return;
  auto rows = LoadPadRows(m);
  for (const auto& [row, text] : o.padValues) {
    if (!std::isfinite(BoxValue(text)))
      throw UsageError{"--pad-value " + std::to_string(row) + "=" + text +
                       ": the PAD is beyond what a single-precision value can hold"};
    bool found = false;
    for (const PadRow& r : rows) found = found || r.subgroup == row;
    if (!found)
      throw UsageError{"subgroup row " + std::to_string(row) +
                       " has no box on the PAD form (rows " +
                       (rows.empty() ? std::string("none")
                                     : std::to_string(rows.front().subgroup) + " to " +
                                           std::to_string(rows.back().subgroup)) +
                       ")"};
  }
}

void BuildSettings(const AnalysisOptions& o, ModOrmid& m, WindowSettings& s) {
  // A box given without a value keeps the residue file's own, as a batch
  // of files does.
  auto typed = [](const EndpointOption& e) {
    return e.given ? e.text : std::optional<std::string>();
  };
  TakeFileValues(m, {typed(o.noel), typed(o.rfd), typed(o.qstar), o.comment}, s);
  if (o.noel.given) s.chkMOE1 = true;
  if (o.rfd.given) s.chkMOE2 = true;
  if (o.qstar.given) s.chkMOE3 = true;
  if (o.pad) s.chkMOE4 = s.chkMOE2 = true;
  s.chkSecondAdj = o.adj2;
  if (o.save) {
    s.chkSaveRpt = true;
    s.txtRptFile = *o.save;
  }
  s.chkComplete = o.complete;
  s.chkCritical = o.critical;
  if (o.foodPct) s.txtCrit1 = *o.foodPct;
  if (o.cropPct) s.txtCrit2 = *o.cropPct;
  s.chkStandard.assign(static_cast<std::size_t>(m.gPopCount), 0);
  if (o.subgroups) {
    auto rows = ParseSubgroupRows(*o.subgroups, m.gPopCount).value_or(std::vector<int>{});
    for (int r : rows) s.chkStandard[static_cast<std::size_t>(r - 1)] = 1;
  }
  if (!o.padValues.empty()) {
    auto rows = LoadPadRows(m);
    for (const auto& [row, text] : o.padValues)
      for (PadRow& r : rows)
        if (r.subgroup == row) r.text = text;
    StorePadRows(m, rows);
  }
}

std::vector<std::string> CheckedExports(const std::vector<std::string>& files) {
  std::vector<std::string> exports;
  std::map<std::string, std::string> seen;  // resolved path -> as given
  for (const std::string& e : files) {
    if (!ExportFormatOf(e))
      throw UsageError{"--export takes a file ending in " + std::string(kExportExtensions) +
                       ", not \"" + e + "\""};
    exports.push_back(AbsoluteFromStart(e));
    // One file written twice would have two writers on one temporary file.
    std::error_code ec;
    std::string key = fs::weakly_canonical(exports.back(), ec).string();
    if (ec) key = fs::path(exports.back()).lexically_normal().string();
#ifdef _WIN32
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    if (auto [it, added] = seen.emplace(key, e); !added)
      throw UsageError{"--export names one file twice: \"" + it->second + "\" and \"" + e + "\""};
  }
  return exports;
}

bool MayReplaceExports(CliPlatform& platform, const std::vector<std::string>& exports) {
  for (const std::string& path : exports)
    if (platform.FileExists(path) &&
        platform.MessageBox(
            "Export file " + path + " already exists. Do you want to write over this file?",
            "KAVRI-FCID Ormid Module", MsgIcon::Question,
            MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
      return false;
  return true;
}

bool StartAndOpen(CliPlatform& platform, const AnalysisOptions& o, const std::string& residue,
                  ModOrmid& m, WindowSettings& s) {
  if (!StartUp(m, platform, false)) return false;
  CheckRowsAgainst(m, o);
  if (!OpenNamedResidueFile(m, platform, residue)) return false;
  BuildSettings(o, m, s);
  return true;
}

double TargetValue(const std::string& text) {
  double value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (error != std::errc() || stop != end || !(value > 0) || !std::isfinite(value))
    throw UsageError{"--target takes a number above 0, not \"" + text + "\""};
  // Beyond it, scaling the residues to reach the target leaves the range of
  // the figures.
  if (value < 1e-30 || value > 1e30)
    throw UsageError{"--target takes a number from 1E-30 to 1E+30, not \"" + text + "\""};
  return value;
}

}  // namespace ormid::cli
