#include "commodity/complete_report.h"

#include "commodity/commodity_run.h"
#include "commodity/crop_groups.h"
#include "exposure/exposure_rows.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

constexpr CellPattern kResidue{"###.######"};
constexpr CellPattern kFactor{"##.###"};
constexpr CellPattern kExposure{"###.#######"};
constexpr CellPattern kPercentRefWide{"###,###.#"};  // R and P
constexpr CellPattern kPercentNarrow{"####.#"};      // NR and NP percent, N percent of NOEL
constexpr CellPattern kMoe{"###,###"};
constexpr const char* kNoExposure = "  no exposure";
constexpr const char* kMoeCapped = ">1000000";

// Residue and the two adjustment factors of a row.
struct RowFactors {
  float residue;
  float adj1;
  float adj2;
};

// The columns of the residue and the two factor cells.
struct FactorColumns {
  int residue;
  int adj1;
  int adj2;
};

FactorColumns FactorColumnsOf(EndpointLayout layout) {
  switch (layout) {
    case EndpointLayout::RefDose:
      return {31, 43, 50};
    case EndpointLayout::Risk:
      return {29, 41, 48};
    default:
      return {26, 38, 45};
  }
}

// Whether a row shows its residue and factor cells: all do but the rows of
// a capped margin of exposure with the percent of RfD or PAD.
bool ShowsFactors(EndpointLayout layout, const ExposureFigures& x) {
  return layout != EndpointLayout::NoelRef || x.moe == 0 || x.moe < kMoeCap;
}

// The start of a food row ("   FoodForm N/S") or food-form row up to and
// including its factor cells. It reads the same in every subgroup's report,
// so it is made once per run and kept in starts[index].
const std::string& RowStart(CommodityRun& run, std::vector<std::string>& starts, int index,
                            std::string_view name, const RowFactors& r) {
  const auto i = static_cast<std::size_t>(index);
  if (i >= starts.size()) starts.resize(i + 1);
  if (starts[i].empty()) {
    const FactorColumns c = FactorColumnsOf(run.layout);
    ReportWriter w;
    w.Text("   ").Text(name);
    w.Col(c.residue).Cell(r.residue, kResidue);
    w.Col(c.adj1).Cell(r.adj1, kFactor);
    w.Col(c.adj2).Cell(r.adj2, kFactor);
    starts[i] = w.take();
  }
  return starts[i];
}

// The exposure cells of a food or food-form row, continuing the line its
// start began, and the line's end.
void WriteFigureCells(CommodityRun& run, const ExposureFigures& x, bool formRow) {
  ReportWriter& w = run.w;
  switch (run.layout) {
    case EndpointLayout::RefDose:
      if (x.e == 0) {
        w.Col(57).Text(kNoExposure);
      } else {
        w.Col(57).Cell(x.e, kExposure);
        w.Col(70).Cell(x.pctRef, kPercentRefWide).Text("%");
      }
      break;
    case EndpointLayout::Noel:
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Cell(x.e, kExposure);
        w.Col(64).Cell(x.pctNoel, kPercentNarrow).Text("%");
        if (x.moe < kMoeCap)
          w.Col(73).Cell(x.moe, kMoe);
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (x.moe == 0) {
        w.Col(52).Text(formRow ? "  no exposure using survey" : kNoExposure);
      } else {
        w.Col(52).Cell(x.e, kExposure);
        if (x.moe < kMoeCap)
          w.Col(65).Cell(x.moe, kMoe);
        else
          w.Col(64).Text(kMoeCapped);
        w.Col(73).Cell(x.pctRef, kPercentNarrow).Text("%");
      }
      break;
    case EndpointLayout::Risk:
      if (x.e == 0) {
        w.Col(55).Text(kNoExposure);
      } else {
        w.Col(55).Cell(x.e, kExposure);
        w.Col(70).Text(AlignedScientific(x.risk));
      }
      break;
  }
  w.End();
}

// A whole food row (index a food) or food-form row (index an entry).
void WriteRow(CommodityRun& run, int index, bool formRow, const ExposureFigures& x) {
  const ModOrmid& m = run.m;
  const auto i = static_cast<std::size_t>(index);
  if (!ShowsFactors(run.layout, x)) {
    run.w.Text("   ").Text(formRow ? std::string_view(run.FormLabel(index)) : "FoodForm N/S");
  } else if (formRow) {
    run.w.Text(RowStart(run, run.formRowStarts, index, run.FormLabel(index),
                        {m.gFormResidue[i], m.gFormAdj1[i], m.gFormAdj2[i]}));
  } else {
    run.w.Text(RowStart(run, run.foodRowStarts, index, "FoodForm N/S",
                        {m.gFoodResidue[i], m.gFoodAdj1[i], m.gFoodAdj2[i]}));
  }
  WriteFigureCells(run, x, formRow);
}

void WriteGroupSubtotal(CommodityRun& run, int row, const ExposureSums& sums) {
  const ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  const float moe = MarginOfExposure(m, sums.e);
  const float risk = LifetimeRisk(m, sums.e);
  for (float v : {sums.e, sums.pctRef, sums.pctNoel, moe, risk}) run.Check(row, v);
  w.Text("       Crop group subtotal");
  switch (LayoutOf(m.gEndpoint)) {
    case EndpointLayout::RefDose:
      if (sums.e != 0) {
        w.Col(57).Cell(sums.e, kExposure);
        w.Col(70).Cell(sums.pctRef, kPercentRefWide).Text("%");
      }
      break;
    case EndpointLayout::Noel:
      if (moe != 0) {
        w.Col(52).Cell(sums.e, kExposure);
        w.Col(64).Cell(sums.pctNoel, kPercentNarrow).Text("%");
        if (moe < kMoeCap)
          w.Col(73).Cell(moe, kMoe);
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Cell(sums.e, kExposure);
        if (moe < kMoeCap)
          w.Col(65).Cell(moe, kMoe);
        else
          w.Col(64).Text(kMoeCapped);
        w.Col(73).Cell(sums.pctRef, kPercentNarrow).Text("%");
      }
      break;
    case EndpointLayout::Risk:
      if (sums.e == 0) {
        w.Col(55).Text(" no exposure");
      } else {
        w.Col(55).Cell(sums.e, kExposure);
        w.Col(70).Text(AlignedScientific(risk));
      }
      break;
  }
  w.End();
}

void WritePopulationTotal(CommodityRun& run, int row, float total) {
  const ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  const ExposureFigures x = FiguresFor(m, row, total);
  for (float v : {x.e, x.pctRef, x.pctNoel, x.moe, x.risk}) run.Check(row, v);
  w.Text("     Population subgroup total");
  switch (LayoutOf(m.gEndpoint)) {
    case EndpointLayout::RefDose:
      if (total != 0) {
        w.Col(57).Cell(total, kExposure);
        w.Col(70).Cell(x.pctRef, kPercentRefWide).Text("%");
      }
      break;
    case EndpointLayout::Noel:
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Cell(total, kExposure);
        w.Col(64).Cell(x.pctNoel, kPercentNarrow).Text("%");
        if (x.moe < kMoeCap)
          w.Col(73).Cell(x.moe, kMoe);
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Cell(total, kExposure);
        // The capped text of the total stands one column further right than
        // in the rows and subtotals.
        if (x.moe < kMoeCap)
          w.Col(65).Cell(x.moe, kMoe);
        else
          w.Col(65).Text(kMoeCapped);
        w.Col(73).Cell(x.pctRef, kPercentNarrow).Text("%");
      }
      break;
    case EndpointLayout::Risk:
      if (total == 0) {
        w.Col(55).Text(kNoExposure);
      } else {
        w.Col(55).Cell(total, kExposure);
        w.Col(70).Text(AlignedScientific(x.risk));
      }
      break;
  }
  w.End();
}

// "Name (code):", the line that opens a food's rows.
void WriteFoodLine(ReportWriter& w, const ModOrmid& m, std::size_t f) {
  w.Text(m.gFoodName[f]).Text(" (").Text(m.gFoodCode[f]).Line("):");
}

void AddLines(ModOrmid& m, int n) {
  m.gLineCount = static_cast<Int16>(m.gLineCount + n);
}

}  // namespace

void WriteFoodTableHeading(const ModOrmid& m, ReportWriter& w, Endpoint endpoint, std::string& rule,
                           Int16& lineCount, int row) {
  const bool pad = PadApplies(m, row);
  if (endpoint == Endpoint::RfD || endpoint == Endpoint::Pad) {
    w.Line("                                                          Exposure Analysis    ");
    w.Line("                                                        -----------------------");
    w.Line("                                Residue     Adjustment     mg/kg     Percent of");
    w.Line(endpoint == Endpoint::Pad && pad
               ? "       Food Name                 (ppm)       Factors    body wt/day     PAD    "
               : "       Food Name                 (ppm)       Factors    body wt/day     RfD    ");
    w.Line("----------------------------  ----------  ------------- -----------  ----------");
    rule = "                                                        -----------  ----------";
  } else if (endpoint == Endpoint::Noel) {
    w.Line("                                                         Exposure Analysis");
    w.Line("                                                   ----------------------------");
    w.Line("                           residue   Adjustment       mg/kg   |Percent| Margin ");
    w.Line("       Food name            (ppm)     Factors      body wt/day|of NOEL|of Expsr");
    w.Line("------------------------- ---------- ------------- -----------|-------|--------");
    rule = "                                                   ----------- ------- --------";
  } else if (endpoint == Endpoint::NoelRfD || endpoint == Endpoint::NoelPad) {
    w.Line("                                                         Exposure Analysis");
    w.Line("                                                   ----------------------------");
    w.Line("                            Residue    Adjustment      mg/kg  |Margin of| Perc.");
    w.Line(endpoint == Endpoint::NoelPad && pad
               ? "       Food name             (ppm)      Factors    body wt/day|Exposure |of PAD"
               : "       Food name             (ppm)      Factors    body wt/day|Exposure |of RfD");
    w.Line("------------------------- ---------- ------------- -----------|---------|------");
    rule = "                                                   ----------- -------- -------";
  } else if (endpoint == Endpoint::QStar) {
    w.Line("                                                          Exposure analysis");
    w.Line("                                                      -------------------------");
    w.Line("                               Residue   Adjustment      mg/kg    Lifetime risk");
    w.Line("       Food name                (ppm)      Factors    body wt/day (Q*=" +
           ShortNumberText(m.gQStar) + ")");
    w.Line("---------------------------- ---------- ------------- ----------- -------------");
    rule = "                                                      ----------- -------------";
  }
  lineCount = static_cast<Int16>(lineCount + 5);
}

void WriteCropGroupHeading(CommodityRun& run, int row, int group, std::string_view suffix) {
  ModOrmid& m = run.m;
  run.w.End();
  run.w.Text("Crop Group = ").Text(GroupName(m, group)).Text(suffix).End();
  AddLines(m, 2);
  WriteFoodTableHeading(m, run.w, m.gEndpoint, m.gFoodTableRule, m.gLineCount, row);
}

void WriteCompleteReport(CommodityRun& run, int row) {
  ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  const int pageLength = m.gPageLength;

  m.gLineCount = 0;
  WriteCommodityHeader(run, row);
  w.Line("                 Complete commodity contribution analysis for ");
  WriteCentredName(w, m.gPopNames2[static_cast<std::size_t>(row)]);
  w.Line(kDashes79);
  AddLines(m, 3);

  for (int k = 1; k <= m.gCropGroupCount; ++k) {
    const int members = m.gGroupFoods[static_cast<std::size_t>(k)][1];
    if (members == 0) continue;
    if (m.gLineCount >= pageLength - 17) EndReportPage(m, w);

    const std::vector<int>& foods = run.GroupFoods(k);
    ExposureSums sums;
    bool headingPending = true;
    for (std::size_t n = 0; n < foods.size(); ++n) {
      const int done = static_cast<int>(n) + 1;
      const int f = foods[n];
      const auto fi = static_cast<std::size_t>(f);

      if (m.gFoodFormCount[fi] == 0) {
        if (headingPending) {
          WriteCropGroupHeading(run, row, k, "");
          headingPending = false;
        }
        const ExposureFigures x = FoodExposure(run, row, f);
        sums.Add(m, x);
        WriteFoodLine(w, m, fi);
        WriteRow(run, f, false, x);
        // The food line and its row count as one line.
        AddLines(m, 1);
      } else {
        if (headingPending) {
          if (m.gLineCount + 1 < pageLength - 6) {
            WriteCropGroupHeading(run, row, k, "");
          } else {
            EndReportPage(m, w);
            WriteCropGroupHeading(run, row, k, " (continued)");
          }
          headingPending = false;
        } else if (m.gLineCount >= pageLength - 6) {
          EndReportPage(m, w);
          WriteCropGroupHeading(run, row, k, " (continued)");
        }
        WriteFoodLine(w, m, fi);
        AddLines(m, 1);
        const int first = m.gFoodFirstForm[fi];
        for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
          const ExposureFigures x = FormExposure(run, row, j);
          sums.Add(m, x);
          WriteRow(run, j, true, x);
          AddLines(m, 1);
        }
      }

      if (done >= members) break;
      if (m.gLineCount >= pageLength - 6) {
        EndReportPage(m, w);
        WriteCropGroupHeading(run, row, k, " (continued)");
      }
    }

    w.Line(m.gFoodTableRule);
    AddLines(m, 1);
    WriteGroupSubtotal(run, row, sums);
    AddLines(m, 1);
  }

  const int column = m.gPopOrder[static_cast<std::size_t>(row)];
  const float total = m.gPopExposure[static_cast<std::size_t>(column)];
  w.End();
  AddLines(m, 1);
  WritePopulationTotal(run, row, total);
  AddLines(m, 1);
  EndCommodityReport(m, w);
}

}  // namespace ormid
