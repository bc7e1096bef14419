#include "commodity/complete_report.h"

#include "commodity/commodity_run.h"
#include "commodity/crop_groups.h"
#include "exposure/exposure_rows.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

const std::string kDashes79(79, '-');

constexpr const char* kResidue = "###.######";
constexpr const char* kFactor = "##.###";
constexpr const char* kExposure = "###.#######";
constexpr const char* kPercentRefWide = "###,###.#";  // R and P
constexpr const char* kPercentNarrow = "####.#";      // NR and NP percent, N percent of NOEL
constexpr const char* kMoe = "###,###";
constexpr const char* kNoExposure = "  no exposure";
constexpr const char* kMoeCapped = ">1000000";

// Residue and the two adjustment factors of a row.
struct RowFactors {
  float residue;
  float adj1;
  float adj2;
};

// Residue and factor cells read the same in every subgroup's report, so they
// are made once per run.
void WriteFactors(CommodityRun& run, const RowFactors& r, int residueCol, int adj1Col,
                  int adj2Col) {
  run.w.Col(residueCol).Text(run.RecurringCell(r.residue, kResidue));
  run.w.Col(adj1Col).Text(run.RecurringCell(r.adj1, kFactor));
  run.w.Col(adj2Col).Text(run.RecurringCell(r.adj2, kFactor));
}

// The cells of a food row ("   FoodForm N/S") or a food-form row, continuing
// the line its caller began, and the line's end.
void WriteRowCells(CommodityRun& run, const RowFactors& r, const ExposureFigures& x, bool formRow) {
  const ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  switch (LayoutOf(m.gEndpoint)) {
    case EndpointLayout::RefDose:
      WriteFactors(run, r, 31, 43, 50);
      if (x.e == 0) {
        w.Col(57).Text(kNoExposure);
      } else {
        w.Col(57).Text(AlignedCell(x.e, kExposure));
        w.Col(70).Text(PercentCell(x.pctRef, kPercentRefWide));
      }
      break;
    case EndpointLayout::Noel:
      WriteFactors(run, r, 26, 38, 45);
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Text(AlignedCell(x.e, kExposure));
        w.Col(64).Text(PercentCell(x.pctNoel, kPercentNarrow));
        if (x.moe < kMoeCap)
          w.Col(73).Text(AlignedCell(x.moe, kMoe));
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (x.moe == 0) {
        WriteFactors(run, r, 26, 38, 45);
        w.Col(52).Text(formRow ? "  no exposure using survey" : kNoExposure);
      } else if (x.moe < kMoeCap) {
        WriteFactors(run, r, 26, 38, 45);
        w.Col(52).Text(AlignedCell(x.e, kExposure));
        w.Col(65).Text(AlignedCell(x.moe, kMoe));
        w.Col(73).Text(PercentCell(x.pctRef, kPercentNarrow));
      } else {
        // A capped margin row carries no residue and factor cells.
        w.Col(52).Text(AlignedCell(x.e, kExposure));
        w.Col(64).Text(kMoeCapped);
        w.Col(73).Text(PercentCell(x.pctRef, kPercentNarrow));
      }
      break;
    case EndpointLayout::Risk:
      WriteFactors(run, r, 29, 41, 48);
      if (x.e == 0) {
        w.Col(55).Text(kNoExposure);
      } else {
        w.Col(55).Text(AlignedCell(x.e, kExposure));
        w.Col(70).Text(AlignedScientific(x.risk));
      }
      break;
  }
  w.End();
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
        w.Col(57).Text(AlignedCell(sums.e, kExposure));
        w.Col(70).Text(PercentCell(sums.pctRef, kPercentRefWide));
      }
      break;
    case EndpointLayout::Noel:
      if (moe != 0) {
        w.Col(52).Text(AlignedCell(sums.e, kExposure));
        w.Col(64).Text(PercentCell(sums.pctNoel, kPercentNarrow));
        if (moe < kMoeCap)
          w.Col(73).Text(AlignedCell(moe, kMoe));
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Text(AlignedCell(sums.e, kExposure));
        if (moe < kMoeCap)
          w.Col(65).Text(AlignedCell(moe, kMoe));
        else
          w.Col(64).Text(kMoeCapped);
        w.Col(73).Text(PercentCell(sums.pctRef, kPercentNarrow));
      }
      break;
    case EndpointLayout::Risk:
      if (sums.e == 0) {
        w.Col(55).Text(" no exposure");
      } else {
        w.Col(55).Text(AlignedCell(sums.e, kExposure));
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
        w.Col(57).Text(AlignedCell(total, kExposure));
        w.Col(70).Text(PercentCell(x.pctRef, kPercentRefWide));
      }
      break;
    case EndpointLayout::Noel:
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Text(AlignedCell(total, kExposure));
        w.Col(64).Text(PercentCell(x.pctNoel, kPercentNarrow));
        if (x.moe < kMoeCap)
          w.Col(73).Text(AlignedCell(x.moe, kMoe));
        else
          w.Col(72).Text(kMoeCapped);
      }
      break;
    case EndpointLayout::NoelRef:
      if (x.moe == 0) {
        w.Col(52).Text(kNoExposure);
      } else {
        w.Col(52).Text(AlignedCell(total, kExposure));
        // The capped text of the total stands one column further right than
        // in the rows and subtotals.
        if (x.moe < kMoeCap)
          w.Col(65).Text(AlignedCell(x.moe, kMoe));
        else
          w.Col(65).Text(kMoeCapped);
        w.Col(73).Text(PercentCell(x.pctRef, kPercentNarrow));
      }
      break;
    case EndpointLayout::Risk:
      if (total == 0) {
        w.Col(55).Text(kNoExposure);
      } else {
        w.Col(55).Text(AlignedCell(total, kExposure));
        w.Col(70).Text(AlignedScientific(x.risk));
      }
      break;
  }
  w.End();
}

void AddLines(ModOrmid& m, int n) {
  m.gLineCount = static_cast<Int16>(m.gLineCount + n);
}

}  // namespace

void WriteFoodTableHeading(const ModOrmid& m, ReportWriter& w, const std::string& endpoint,
                           std::string& rule, Int16& lineCount, int row) {
  const auto ri = static_cast<std::size_t>(row);
  const bool pad = ri < m.gPAD.size() && m.gPAD[ri] > 0;
  if (endpoint == "R" || endpoint == "P") {
    w.Line("                                                          Exposure Analysis    ");
    w.Line("                                                        -----------------------");
    w.Line("                                Residue     Adjustment     mg/kg     Percent of");
    w.Line(endpoint == "P" && pad
               ? "       Food Name                 (ppm)       Factors    body wt/day     PAD    "
               : "       Food Name                 (ppm)       Factors    body wt/day     RfD    ");
    w.Line("----------------------------  ----------  ------------- -----------  ----------");
    rule = "                                                        -----------  ----------";
  } else if (endpoint == "N") {
    w.Line("                                                         Exposure Analysis");
    w.Line("                                                   ----------------------------");
    w.Line("                           residue   Adjustment       mg/kg   |Percent| Margin ");
    w.Line("       Food name            (ppm)     Factors      body wt/day|of NOEL|of Expsr");
    w.Line("------------------------- ---------- ------------- -----------|-------|--------");
    rule = "                                                   ----------- ------- --------";
  } else if (endpoint == "NR" || endpoint == "NP") {
    w.Line("                                                         Exposure Analysis");
    w.Line("                                                   ----------------------------");
    w.Line("                            Residue    Adjustment      mg/kg  |Margin of| Perc.");
    w.Line(endpoint == "NP" && pad
               ? "       Food name             (ppm)      Factors    body wt/day|Exposure |of PAD"
               : "       Food name             (ppm)      Factors    body wt/day|Exposure |of RfD");
    w.Line("------------------------- ---------- ------------- -----------|---------|------");
    rule = "                                                   ----------- -------- -------";
  } else if (endpoint == "Q") {
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
    const auto& group = m.gGroupFoods[static_cast<std::size_t>(k)];
    const int members = group[1];
    if (members == 0) continue;
    if (m.gLineCount >= pageLength - 17) EndReportPage(m, w);

    int f = group[2];
    ExposureSums sums;
    bool headingPending = true;
    for (int done = 1;; ++done, ++f) {
      while (f <= m.gResFoodCount && !FoodInGroup(m, f, k)) ++f;
      if (f > m.gResFoodCount) break;  // the membership tables disagree
      const auto fi = static_cast<std::size_t>(f);
      const std::string foodLine = m.gFoodName[fi] + " (" + m.gFoodCode[fi] + "):";

      if (m.gFoodFormCount[fi] == 0) {
        if (headingPending) {
          WriteCropGroupHeading(run, row, k, "");
          headingPending = false;
        }
        const ExposureFigures x = FoodExposure(run, row, f);
        sums.Add(m, x);
        w.Line(foodLine);
        w.Text("   FoodForm N/S");
        WriteRowCells(run, {m.gFoodResidue[fi], m.gFoodAdj1[fi], m.gFoodAdj2[fi]}, x, false);
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
        w.Line(foodLine);
        AddLines(m, 1);
        const int first = m.gFoodFirstForm[fi];
        for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
          const auto ji = static_cast<std::size_t>(j);
          const ExposureFigures x = FormExposure(run, row, j);
          sums.Add(m, x);
          w.Text("   ").Text(run.FormLabel(j));
          WriteRowCells(run, {m.gFormResidue[ji], m.gFormAdj1[ji], m.gFormAdj2[ji]}, x, true);
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
  w.Line(kDashes79);
  AddLines(m, 1);
  WriteMoeFootnote(m, w);
  EndReportPage(m, w);
}

}  // namespace ormid
