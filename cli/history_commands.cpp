#include "cli/history_commands.h"

#include <charconv>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <ostream>

#include "cli/analysis_options.h"
#include "cli/cli_platform.h"
#include "cli/command_line.h"
#include "core/float_text.h"
#include "core/json_text.h"
#include "core/mod_ormid.h"
#include "core/utf8.h"
#include "cumulative/cumulative_export.h"
#include "export/results_export.h"
#include "history/run_compare.h"
#include "history/run_history.h"
#include "manifest/run_manifest.h"
#include "session/finished_run.h"

namespace ormid::cli {

namespace {

std::optional<int> busyOverride;

struct HistoryArguments {
  std::vector<std::string> words;  // [show ID]
  int limit = 0;
  std::string chemical;
  std::string exportFile;
  bool yes = false;
};

struct CompareArguments {
  std::vector<long long> ids;
  std::string exportFile;
  bool yes = false;
};

std::string FigureText(const Figure& f) {
  if (f.kind == FigureKind::None) return "";
  char text[48];
  std::snprintf(text, sizeof text, "%.6g %s", static_cast<double>(f.value), FigureName(f.kind));
  return text;
}

// A column of the list: its text shown on one line (names come from
// residue files and manifests: shown, never obeyed), padded and cut by the
// columns a terminal shows, not by bytes, so that a name with letters
// beyond ASCII keeps the columns after it in line.
std::string Fit(const std::string& text, std::size_t width) {
  return FitToWidth(text, width);
}

void PrintList(const std::vector<RunSummary>& runs, std::ostream& out) {
  // The id column is as wide as the largest id (at least 7).
  std::size_t idWidth = 7;
  for (const RunSummary& r : runs) idWidth = std::max(idWidth, std::to_string(r.id).size());
  std::string text;
  text.reserve(runs.size() * 160);
  text += std::string(idWidth - 2, ' ') +
          "Id  Date                  Command        Chemical              Residue file     "
          "Endpoint  Worst subgroup                     Figure\n";
  for (const RunSummary& r : runs) {
    const std::string id = std::to_string(r.id);
    std::string line = std::string(idWidth - id.size(), ' ') + id + "  " + Fit(r.date, 20) + "  " +
                       Fit(r.command, 13) + "  " + Fit(r.chemical, 20) + "  " +
                       Fit(r.residueFile, 15) + "  " + Fit(r.endpoint, 8) + "  " +
                       Fit(r.worstSubgroup, 33) + "  " + FigureText(r.worst);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    text += line + "\n";
  }
  out << text;
}

// A table of cells as aligned text: numbers as the shortest text of their
// exact value.
class TextTable : public ResultsSink {
 public:
  void LongTerm(const ModOrmid&, const LongTermResult& r) override {
    Head(LongTermColumns());
    LongTermCells(r, cells_);
    Add();
  }
  void Contribution(const ModOrmid&, const ContributionResult& r) override {
    Head(ContributionColumns());
    ContributionCells(r, cells_);
    Add();
  }
  void Print(std::ostream& out) const {
    std::string text;
    for (const auto& row : rows_) {
      std::string line;
      for (std::size_t i = 0; i < row.size(); ++i) {
        line += PrintableText(row[i]);
        if (i + 1 < row.size()) line.append(widths_[i] - DisplayWidth(row[i]) + 2, ' ');
      }
      while (!line.empty() && line.back() == ' ') line.pop_back();
      text += line + "\n";
    }
    out << text;
  }

 private:
  void Head(const std::vector<Column>& columns) {
    if (!rows_.empty()) return;
    rows_.emplace_back();
    for (const Column& c : columns) rows_.back().push_back(c.name);
    widths_.assign(columns.size(), 0);
    for (std::size_t i = 0; i < columns.size(); ++i)
      widths_[i] = std::string_view(columns[i].name).size();
  }
  void Add() {
    std::vector<std::string> row;
    row.reserve(cells_.size());
    for (const Cell& c : cells_) {
      if (auto t = std::get_if<std::string_view>(&c))
        row.push_back(TerminalText(*t));
      else if (auto n = std::get_if<long long>(&c))
        row.push_back(std::to_string(*n));
      else if (auto f = std::get_if<float>(&c))
        row.push_back(ShortestText(*f));
      else
        row.emplace_back();
    }
    for (std::size_t i = 0; i < row.size() && i < widths_.size(); ++i)
      widths_[i] = std::max(widths_[i], DisplayWidth(row[i]));
    rows_.push_back(std::move(row));
  }
  std::vector<Cell> cells_;
  std::vector<std::vector<std::string>> rows_;
  std::vector<std::size_t> widths_;
};

// Writes a recorded run's figures as its own export would have been.
int ExportRun(CliPlatform& p, const RecordedRun& run, const std::string& path) {
  const std::vector<ExportFailure> failures = ExportFinishedRun(p, FinishedRunOf(run), path);
  for (const ExportFailure& f : failures)
    p.MessageBox("The export file " + f.path + " could not be written: " + f.reason + ".",
                 "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
  return failures.empty() ? kExitDone : kExitStopped;
}

int RunHistory(const GlobalOptions& global, const HistoryArguments& a, std::ostream& out,
               std::ostream& err) {
  std::optional<long long> show;
  const bool check = a.words.size() == 1 && a.words[0] == "check";
  if (!a.words.empty() && !check) {
    if (a.words[0] != "show" || a.words.size() != 2)
      throw UsageError{"history takes no arguments, show ID or check"};
    try {
      std::size_t used = 0;
      show = std::stoll(a.words[1], &used);
      if (used != a.words[1].size() || *show < 1) throw std::invalid_argument("");
    } catch (const std::exception&) {
      throw UsageError{"history show needs a run id (a whole number), not \"" + a.words[1] + "\""};
    }
  }
  if (!show && !a.exportFile.empty()) throw UsageError{"--export needs history show ID"};
  if (check && (a.limit != 0 || !a.chemical.empty()))
    throw UsageError{"history check takes no --limit or --chemical"};
  if (a.limit < 0) throw UsageError{"--limit needs a number of runs (0 or more)"};
  const auto exports =
      a.exportFile.empty() ? std::vector<std::string>{} : CheckedExports({a.exportFile});
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform p(err, a.yes);
  std::string error;

  if (check) {
    const auto result = CheckHistory(kHistoryFile, p.Now(), error);
    if (!result || !result->damage.empty()) {
      p.MessageBox(
          (result ? std::string(kHistoryFile) + " is damaged: " + result->damage : error) + ".",
          "Run History", MsgIcon::Exclamation, MsgButtons::OK);
      return kExitStopped;
    }
    if (result->bytes == 0) {
      out << "No runs recorded.\n";
      return kExitDone;
    }
    char size[32];
    std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(result->bytes) / 1e6);
    out << kHistoryFile << ": " << result->runs << (result->runs == 1 ? " run, " : " runs, ")
        << size << "; every page and every run's checksums checked: no damage found.\n";
    return kExitDone;
  }

  if (!show) {
    ListFilter filter;
    if (a.limit > 0) filter.limit = a.limit;
    if (!a.chemical.empty()) filter.chemical = a.chemical;
    auto runs = ListRuns(kHistoryFile, filter, error);
    if (!runs) {
      p.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
      return kExitStopped;
    }
    if (!runs->empty()) {
      PrintList(*runs, out);
      return kExitDone;
    }
    // Which filter matched nothing, and what the history holds besides.
    auto all = filter.chemical ? ListRuns(kHistoryFile, ListFilter{}, error) : runs;
    const std::size_t others = all ? all->size() : 0;
    if (others == 0)
      out << "No runs recorded.\n";
    else
      out << "No runs of the chemical " << QuotedText(*filter.chemical) << " recorded (" << others
          << (others == 1 ? " run" : " runs") << " of other chemicals).\n";
    return kExitDone;
  }

  auto run = LoadRun(kHistoryFile, *show, error);
  if (!run) {
    p.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
    return kExitStopped;
  }
  if (!exports.empty()) {
    if (!MayReplaceExports(p, exports)) return kExitStopped;
    if (int status = ExportRun(p, *run, exports[0]); status != kExitDone) return status;
  }
  // The manifest's texts are JSON strings, their control characters
  // escaped; those JSON leaves as they are (U+0080 to U+009F) are too.
  out << "Run " << run->summary.id << "\n\nManifest\n"
      << PrintableText(JsonText(run->manifest, 2)) << "\n\nFigures\n";
  if (run->summary.command == "cumulative") {
    out << "row  subgroup  index_equivalent_mg_per_kg_bw_day  percent_of_index_pad  moet  "
           "hazard_index  cumulative_moe  target_moe\n";
    auto text = [](const std::optional<double>& v) {
      if (!v) return std::string("-");
      char buffer[32];
      return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, *v).ptr);
    };
    for (const RecordedCumulative& r : run->cumulative)
      out << std::to_string(r.row) + "  " + TerminalText(r.subgroup) + "  " +
                 text(r.indexEquivalent) + "  " + text(r.percentCpad) + "  " + text(r.moet) + "  " +
                 text(r.hazardIndex) + "  " + text(r.margin) + "  " + text(r.targetMargin) + "\n";
    return kExitDone;
  }
  TextTable table;
  ModOrmid m;
  run->Replay(m, table);
  table.Print(out);
  return kExitDone;
}

int RunCompare(const GlobalOptions& global, const CompareArguments& a, std::ostream& out,
               std::ostream& err) {
  const auto exports =
      a.exportFile.empty() ? std::vector<std::string>{} : CheckedExports({a.exportFile});
  if (!EnterWorkingFolder(global, err)) return kExitStopped;
  CliPlatform p(err, a.yes);
  std::string error;
  auto first = LoadRun(kHistoryFile, a.ids[0], error, true);
  auto second = first ? LoadRun(kHistoryFile, a.ids[1], error, true) : std::nullopt;
  if (!first || !second) {
    p.MessageBox(error + ".", "Run History", MsgIcon::Exclamation, MsgButtons::OK);
    return kExitStopped;
  }
  const Comparison c = CompareRuns(*first, *second);
  if (!exports.empty()) {
    if (!MayReplaceExports(p, exports)) return kExitStopped;
    if (!ExportComparison(p, c, exports[0], error)) {
      p.MessageBox("The export file " + exports[0] + " could not be written: " + error + ".",
                   "Export Results", MsgIcon::Exclamation, MsgButtons::OK);
      return kExitStopped;
    }
  }
  out << ComparisonText(c);
  return kExitDone;
}

}  // namespace

int HistoryBusyMilliseconds() {
  return busyOverride.value_or(kHistoryBusyMilliseconds);
}

void OverrideHistoryBusyTimeout(std::optional<int> milliseconds) {
  busyOverride = milliseconds;
}

void AddHistoryCommands(CommandLine& cl) {
  auto h = std::make_shared<HistoryArguments>();
  CLI::App& history = cl.Add(
      "history",
      "list the recorded runs; history show ID prints one with its manifest and figures, history "
      "check checks the whole file",
      [&cl, h](std::ostream& out, std::ostream& err) {
        return RunHistory(cl.Global(), *h, out, err);
      });
  history
      .add_option("show", h->words,
                  "show ID: one run's manifest and figures; check: the whole file checked for "
                  "damage")
      ->type_name("[show ID | check]");
  history.add_option("--limit", h->limit, "only the newest N runs")->type_name("N");
  history.add_option("--chemical", h->chemical, "only the runs of chemical NAME")
      ->type_name("NAME");
  history
      .add_option("--export", h->exportFile,
                  "with show: write the run's figures to FILE (.csv, .json or .xlsx)")
      ->type_name("FILE");
  history.add_flag("--yes", h->yes, "answer Yes to the overwrite question")
      ->disable_flag_override();

  auto c = std::make_shared<CompareArguments>();
  CLI::App& compare =
      cl.Add("compare", "two recorded runs side by side: figures, 100% crossings, settings, inputs",
             [&cl, c](std::ostream& out, std::ostream& err) {
               return RunCompare(cl.Global(), *c, out, err);
             });
  compare.add_option("ID", c->ids, "the two runs' ids")->required()->expected(2);
  compare
      .add_option("--export", c->exportFile, "write the comparison to FILE (.csv, .json or .xlsx)")
      ->type_name("FILE");
  compare.add_flag("--yes", c->yes, "answer Yes to the overwrite question")
      ->disable_flag_override();
}

}  // namespace ormid::cli
