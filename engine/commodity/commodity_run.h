// The commodity contribution run: totals, crop group classification, and for
// every selected subgroup the complete and/or critical report, paged, into
// "tempcomm.txt"; then the copy to the user's ".CC10" file or the Show Last
// action.
//
// Also what the two report writers share: the per-food exposure figures, the
// consumption look-ups, the page break, the margin-of-exposure footnote and
// the centred subgroup line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/endpoint_figures.h"
#include "core/mod_ormid.h"
#include "core/run_host.h"
#include "exposure/total_exposure.h"
#include "report/report_writer.h"

namespace ormid {

class Platform;
class RunHost;

// The commodity run: the report written to `temporaryReport`
// ("tempcomm.txt" in the working folder), then its copy to the user's report
// file when one was given. Not done when a message stopped it (no report, or
// the copy failed).
AnalysisEnd RunCommodityAnalysis(ModOrmid& m, Platform& p, RunHost& host,
                                 const std::string& reportFileName,
                                 const std::string& temporaryReport = kCommodityReportFile);

// How an endpoint code lays out the commodity tables.
enum class EndpointLayout {
  RefDose,  // "R", "P": percent of RfD or PAD
  Noel,     // "N": percent of NOEL and margin of exposure
  NoelRef,  // "NR", "NP": margin of exposure and percent of RfD or PAD
  Risk,     // "Q" and any other code: lifetime cancer risk
};
EndpointLayout LayoutOf(Endpoint endpoint);

// The report text of one commodity run while it is being built, with the
// consumption files open for direct look-ups.
struct CommodityRun {
  ModOrmid& m;
  Platform& p;
  ConsumptionFiles files;
  ReportWriter w;
  // Report row whose figures came out infinite or not a number (0 = none).
  int nonFiniteRow = 0;

  // The endpoint's layout, the same for the whole run.
  const EndpointLayout layout;

  CommodityRun(ModOrmid& mod, Platform& platform)
      : m(mod), p(platform), layout(LayoutOf(mod.gEndpoint)) {}
  // Notes row when a figure about to be reported is not finite.
  void Check(int row, float value);

  // The label of food-form entry j: the same in every subgroup's report, so
  // made once per run.
  const std::string& FormLabel(int j);
  // The figures of food (formRow false) or food-form entry `index` for
  // report row `row`, made by make the first time and then remembered while
  // the row's reports are written (the complete and the critical report
  // both need them).
  template <class Make>
  const ExposureFigures& Remembered(int row, bool formRow, int index, Make make) {
    if (row != figuresRow_) {
      figuresRow_ = row;
      for (auto& known : figures_) known.clear();
    }
    auto& known = figures_[formRow ? 1 : 0];
    const auto i = static_cast<std::size_t>(index);
    if (i >= known.size()) known.resize(i + 1);
    if (!known[i]) known[i] = make();
    return *known[i];
  }
  // The foods of crop group k in report order, once the groups are
  // classified.
  const std::vector<int>& GroupFoods(int k);
  // The starts of the complete report's food rows and food-form rows, up to
  // their factor cells, by food and by entry; filled as the rows are first
  // written.
  std::vector<std::string> foodRowStarts;
  std::vector<std::string> formRowStarts;

 private:
  std::vector<std::string> formLabels_;
  std::vector<std::vector<int>> groupFoods_;
  int figuresRow_ = 0;
  std::vector<std::optional<ExposureFigures>> figures_[2];  // foods, food forms
};

// The figures of food (formRow false) or food-form entry `index` for report
// row `row`, formed afresh: nothing of the run is changed or remembered.
ExposureFigures EntryFigures(const CommodityRun& run, int row, bool formRow, int index);

// Running sums of exposures and of the endpoint's percentages (percent of
// RfD or PAD, percent of NOEL), each grown only when the endpoint reports it.
struct ExposureSums {
  float e = 0;
  float pctRef = 0;
  float pctNoel = 0;

  void Add(const ModOrmid& m, float e2, float pctRef2, float pctNoel2) {
    e += e2;
    if (UsesReferenceDose(m.gEndpoint)) pctRef += pctRef2;
    if (UsesNoel(m.gEndpoint)) pctNoel += pctNoel2;
  }
  void Add(const ModOrmid& m, const ExposureFigures& x) { Add(m, x.e, x.pctRef, x.pctNoel); }
};

// The printed name of crop group k (empty beyond the crop group list).
const std::string& GroupName(const ModOrmid& m, int k);

// Consumption of food f / food form j in consumption column s; 0 for an
// entry without a record. The record's code fields are not checked.
float ReadFoodConsumption(const CommodityRun& run, int f, int s);
float ReadFormConsumption(const CommodityRun& run, int j, int s);

// The exposure figures of food f / food form j for report row i.
ExposureFigures FoodExposure(CommodityRun& run, int row, int f);
ExposureFigures FormExposure(CommodityRun& run, int row, int j);

// Ends the current page: filler lines up to gPageLength - 4, then the page
// number and a form feed (or one empty line without page numbers).
void EndReportPage(ModOrmid& m, ReportWriter& w);
// The rule under a report's title and at its end.
inline const std::string kDashes79(79, '-');

// Ends a commodity report: the closing rule, the margin-of-exposure
// footnote of the NOEL endpoints, and the end of the page.
void EndCommodityReport(ModOrmid& m, ReportWriter& w);

// Blanks in front of a subgroup name of this length to centre it on the
// page: 39 - length / 2, halves rounded to the even neighbour.
int CentringBlanks(std::size_t length);
// The centred subgroup line under a report's title.
void WriteCentredName(ReportWriter& w, std::string_view name);

// The header block of a commodity report for report row i.
void WriteCommodityHeader(CommodityRun& run, int row);

}  // namespace ormid
