#include "batch/batch_summary.h"

#include <charconv>
#include <filesystem>
#include <ostream>

#include "core/float_text.h"
#include "core/platform.h"
#include "export/results_export.h"

namespace ormid {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kScenarioColumns = 4;  // scenario, status, command, residue_file

const char* CommandOf(const BatchScenario& s) {
  return CommandOf(s.kind);
}

int IndexOf(const std::vector<Column>& columns, std::string_view name) {
  for (std::size_t i = 0; i < columns.size(); ++i)
    if (columns[i].name == name) return static_cast<int>(i);
  return -1;
}

std::string ReferenceName(ReferenceKind k) {
  return k == ReferenceKind::PAD ? "PAD" : "RfD";
}

// A subgroup's deciding figure as the printed summary shows it.
std::string FigureText(const SubgroupFigures& g) {
  if (g.aggregate) {
    char text[32];
    const AggregateSubgroupFigures& a = *g.aggregate;
    const double value = a.risk ? *a.risk : a.ari.value_or(0);
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(a.duration) +
           (a.risk ? " lifetime cancer risk " : " aggregate risk index ") +
           (a.risk || a.ari ? std::string(text, end) : std::string("none (no dose)"));
  }
  if (g.cumulative) {
    // As the summary table writes it: the shortest text of the double.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, g.cumulative->percentCpad).ptr;
    return std::string(text, end) + "% of cPAD";
  }
  const LongTermResult& r = g.figures;
  if (r.percentReference)
    return ShortestText(*r.percentReference) + "% of " + ReferenceName(r.reference);
  if (r.marginOfExposure) return "margin of exposure " + ShortestText(*r.marginOfExposure);
  if (r.lifetimeRisk) return "lifetime cancer risk " + ShortestText(*r.lifetimeRisk);
  return "exposure " + ShortestText(r.exposure) + " mg/kg bw/day";
}

// Whether a subgroup is above 100% of its reference dose (a cumulative
// one: of the cPAD).
bool Above(const SubgroupFigures& g) {
  if (g.aggregate) return g.aggregate->percentOfLimit > 100.0;
  return g.cumulative ? g.cumulative->percentCpad > 100.0
                      : AboveReferenceDose(g.figures.percentReference);
}

// A cumulative subgroup's cells of the long-term table's columns: its
// exposure in index-chemical equivalents, the cPAD as its reference dose,
// the percent of the cPAD and the total margin of exposure, each in the
// double precision the cumulative run's export gives it.
void CumulativeCells(const SubgroupFigures& g, std::vector<Cell>& cells) {
  static const auto& columns = LongTermColumns();
  static const int exposure = IndexOf(columns, "exposure_mg_per_kg_bw_day"),
                   kind = IndexOf(columns, "reference_dose_kind"),
                   dose = IndexOf(columns, "reference_dose_mg_per_kg_bw_day"),
                   percent = IndexOf(columns, "percent_of_reference_dose"),
                   moe = IndexOf(columns, "margin_of_exposure");
  LongTermCells(g.figures, cells);
  for (std::size_t i = 3; i < cells.size(); ++i) cells[i] = Cell();
  const CumulativeSubgroupFigures& c = *g.cumulative;
  cells[static_cast<std::size_t>(exposure)] = c.indexEquivalent;
  cells[static_cast<std::size_t>(kind)] = std::string_view("cPAD");
  cells[static_cast<std::size_t>(dose)] = c.cpad;
  cells[static_cast<std::size_t>(percent)] = c.percentCpad;
  if (c.moet) cells[static_cast<std::size_t>(moe)] = *c.moet;
}

// An aggregate subgroup's cells of the long-term table's columns: its
// duration as the reference, its total dose, its percent of the limit, its
// aggregate margin of exposure and its lifetime risk.
void AggregateCells(const SubgroupFigures& g, std::vector<Cell>& cells) {
  static const auto& columns = LongTermColumns();
  static const int exposure = IndexOf(columns, "exposure_mg_per_kg_bw_day"),
                   kind = IndexOf(columns, "reference_dose_kind"),
                   percent = IndexOf(columns, "percent_of_reference_dose"),
                   moe = IndexOf(columns, "margin_of_exposure"),
                   risk = IndexOf(columns, "lifetime_cancer_risk");
  LongTermCells(g.figures, cells);
  for (std::size_t i = 3; i < cells.size(); ++i) cells[i] = Cell();
  const AggregateSubgroupFigures& a = *g.aggregate;
  cells[static_cast<std::size_t>(exposure)] = a.totalDose;
  cells[static_cast<std::size_t>(kind)] = std::string_view(a.duration);
  cells[static_cast<std::size_t>(percent)] = a.percentOfLimit;
  if (a.aggregateMoe) cells[static_cast<std::size_t>(moe)] = *a.aggregateMoe;
  if (a.risk) cells[static_cast<std::size_t>(risk)] = *a.risk;
}

}  // namespace

const std::vector<Column>& SummaryColumns() {
  static const std::vector<Column> columns = [] {
    std::vector<Column> c = {
        {"scenario", CellType::Text, ""},
        {"status", CellType::Text, ""},
        {"command", CellType::Text, ""},
        {"residue_file", CellType::Text, ""},
    };
    const auto& figures = LongTermColumns();
    c.insert(c.end(), figures.begin(), figures.end());
    c.push_back({"message", CellType::Text, ""});
    return c;
  }();
  return columns;
}

const char* StatusText(ScenarioStatus s) {
  switch (s) {
    case ScenarioStatus::Done:
      return "done";
    case ScenarioStatus::Failed:
      return "failed";
    case ScenarioStatus::NotRun:
      return "not run";
  }
  return "";
}

void SummaryRows(const BatchScenario& s, const ScenarioOutcome& o,
                 const std::function<void(const std::vector<Cell>&, bool above)>& row) {
  std::vector<Cell> cells, figures;
  auto head = [&] {
    cells.assign({Cell(std::string_view(s.id)), Cell(std::string_view(StatusText(o.status))),
                  Cell(std::string_view(CommandOf(s))), Cell(std::string_view(s.residueFile))});
  };
  const std::size_t figureCount = LongTermColumns().size();
  if (o.subgroups.empty()) {
    head();
    cells.resize(kScenarioColumns + figureCount);
    cells.push_back(o.message.empty() ? Cell() : Cell(std::string_view(o.message)));
    row(cells, false);
    return;
  }
  for (const SubgroupFigures& g : o.subgroups) {
    head();
    if (g.aggregate)
      AggregateCells(g, figures);
    else if (g.cumulative)
      CumulativeCells(g, figures);
    else
      LongTermCells(g.figures, figures);
    cells.insert(cells.end(), figures.begin(), figures.end());
    cells.push_back(o.message.empty() ? Cell() : Cell(std::string_view(o.message)));
    row(cells, Above(g));
  }
}

bool OverReferenceDose(const ScenarioOutcome& o) {
  for (const SubgroupFigures& g : o.subgroups)
    if (Above(g)) return true;
  return false;
}

std::string SummaryLine(const BatchScenario& s, const ScenarioOutcome& o, std::size_t idWidth) {
  std::string line = s.id;
  if (line.size() < idWidth) line.append(idWidth - line.size(), ' ');
  std::string status = StatusText(o.status);
  status.resize(9, ' ');
  line += "  " + status;
  if (o.status == ScenarioStatus::Failed) return line + o.message;
  if (o.status == ScenarioStatus::NotRun) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
  }
  if (const SubgroupFigures* worst = WorstSubgroup(o)) {
    line += "worst: " + worst->name + " (row " + std::to_string(worst->figures.row) + "), " +
            FigureText(*worst);
    if (Above(*worst)) line += "  ** over 100% **";
  }
  return line;
}

BatchSummary::BatchSummary(Platform& p, std::string outDir,
                           const std::vector<BatchScenario>& scenarios, nlohmann::json head,
                           long long created, std::ostream* printed)
    : p_(p),
      outDir_(std::move(outDir)),
      head_(std::move(head)),
      created_(created),
      printed_(printed) {
  for (const BatchScenario& s : scenarios) idWidth_ = std::max(idWidth_, s.id.size());
  idWidth_ = std::min<std::size_t>(idWidth_, 24);
}

BatchSummary::~BatchSummary() = default;

std::vector<std::string> BatchSummary::Paths() const {
  return {(fs::path(outDir_) / "summary.csv").string(),
          (fs::path(outDir_) / "summary.xlsx").string()};
}

bool BatchSummary::Open(std::string& error) {
  const auto& columns = SummaryColumns();
  const auto paths = Paths();
  specs_.clear();
  specs_.reserve(paths.size());
  for (const std::string& path : paths) {
    specs_.push_back({path, "Scenarios", "scenarios", columns,
                      IndexOf(columns, "percent_of_reference_dose"), created_});
    auto table = OpenTable(p_, specs_.back(), head_, error);
    if (!table) {
      error = "the summary " + path + " could not be written: " + error;
      tables_.clear();
      return false;
    }
    tables_.push_back(std::move(table));
  }
  return true;
}

void BatchSummary::Finished(std::size_t, const BatchScenario& s, const ScenarioOutcome& o) {
  SummaryRows(s, o, [&](const std::vector<Cell>& cells, bool above) {
    for (auto& t : tables_) t->Row(cells, above);
  });
  if (OverReferenceDose(o)) ++over;
  if (printed_) *printed_ << SummaryLine(s, o, idWidth_) << "\n";
}

bool BatchSummary::Commit(std::string& error) {
  const auto paths = Paths();
  for (std::size_t i = 0; i < tables_.size(); ++i)
    if (!tables_[i]->Commit(error)) {
      error = "the summary " + paths[i] + " could not be written: " + error;
      return false;
    }
  tables_.clear();
  return true;
}

}  // namespace ormid
