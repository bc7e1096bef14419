#include "commodity/critical_report.h"

#include "commodity/commodity_run.h"
#include "commodity/crop_groups.h"
#include "exposure/exposure_rows.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

constexpr CellPattern kFoodExposure{"####.#######"};  // food rows, group and listed totals
constexpr CellPattern kFormExposure{"###.#######"};
constexpr CellPattern kShare{"###.##"};
constexpr CellPattern kPercentRefRow{"##,###.##"};  // R and P rows and group totals
constexpr CellPattern kPercent{"##,###.#"};
constexpr CellPattern kMoe{"#,###,###"};
constexpr const char* kMoeCapped = ">1,000,000";

// The margin cell of the NOEL layouts: the number, or the capped text one
// column to the left.
void WriteMoe(ReportWriter& w, float moe, int column) {
  if (moe < kMoeCap)
    w.Col(column).Cell(moe, kMoe);
  else
    w.Col(column - 1).Text(kMoeCapped);
}

// The cells of a listed food row or food-form row and the line's end.
void WriteRowCells(const ModOrmid& m, ReportWriter& w, const ExposureFigures& x, float total,
                   bool formRow) {
  const float share = ShareOfTotal(x.e, total);
  const int shift = formRow ? 1 : 0;
  const CellPattern& exposurePattern = formRow ? kFormExposure : kFoodExposure;
  switch (LayoutOf(m.gEndpoint)) {
    case EndpointLayout::RefDose:
      w.Col(41 + shift).Cell(x.e, exposurePattern);
      w.Col(57).Cell(share, kShare).Text("%");
      w.Col(66).Cell(x.pctRef, kPercentRefRow).Text("%");
      break;
    case EndpointLayout::Noel:
      w.Col(36 + shift).Cell(x.e, exposurePattern);
      w.Col(51).Cell(share, kShare).Text("%");
      w.Col(60).Cell(x.pctNoel, kPercent).Text("%");
      WriteMoe(w, x.moe, 70);
      break;
    case EndpointLayout::NoelRef:
      w.Col(36 + shift).Cell(x.e, exposurePattern);
      w.Col(50).Cell(share, kShare).Text("%");
      WriteMoe(w, x.moe, 60);
      w.Col(70).Cell(x.pctRef, kPercent).Text("%");
      break;
    case EndpointLayout::Risk:
      w.Col(41 + shift).Cell(x.e, exposurePattern);
      w.Col(56).Cell(share, kShare).Text("%");
      w.Col(69).Text(AlignedScientific(x.risk));
      break;
  }
  w.End();
}

// "  Total for crop group" and "Total for crop groups listed above:". The
// listed total shows its percent of RfD or PAD with one decimal, the group
// total of endpoints R and P with two; a listed total is never empty.
void WriteTotalLine(CommodityRun& run, int row, const ExposureSums& sums, float total,
                    bool listed) {
  const ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  const float moe = MarginOfExposure(m, sums.e);
  const float risk = LifetimeRisk(m, sums.e);
  const float share = ShareOfTotal(sums.e, total);
  for (float v : {sums.e, sums.pctRef, sums.pctNoel, moe, risk, share}) run.Check(row, v);
  w.Text(listed ? "Total for crop groups listed above:" : "  Total for crop group");
  switch (LayoutOf(m.gEndpoint)) {
    case EndpointLayout::RefDose:
      if (!listed && sums.pctRef == 0) {
        w.Col(41).Text("  no exposure");
      } else {
        w.Col(41).Cell(sums.e, kFoodExposure);
        w.Col(57).Cell(share, kShare).Text("%");
        w.Col(66).Cell(sums.pctRef, listed ? kPercent : kPercentRefRow).Text("%");
      }
      break;
    case EndpointLayout::Noel:
      if (!listed && moe == 0) {
        w.Col(45).Text("no exposure");
      } else {
        w.Col(36).Cell(sums.e, kFoodExposure);
        w.Col(51).Cell(share, kShare).Text("%");
        w.Col(60).Cell(sums.pctNoel, kPercent).Text("%");
        WriteMoe(w, moe, 70);
      }
      break;
    case EndpointLayout::NoelRef:
      if (!listed && moe == 0) {
        w.Col(45).Text("no exposure");
      } else {
        w.Col(36).Cell(sums.e, kFoodExposure);
        w.Col(50).Cell(share, kShare).Text("%");
        WriteMoe(w, moe, 60);
        w.Col(70).Cell(sums.pctRef, kPercent).Text("%");
      }
      break;
    case EndpointLayout::Risk:
      if (!listed && sums.e == 0) {
        w.Col(45).Text("no exposure");
      } else {
        w.Col(41).Cell(sums.e, kFoodExposure);
        w.Col(56).Cell(share, kShare).Text("%");
        w.Col(69).Text(AlignedScientific(risk));
      }
      break;
  }
  w.End();
}

Int16 GroupNumber(const ModOrmid& m, int k) {
  const auto ki = static_cast<std::size_t>(k);
  return ki < m.gCropGroupNumber.size() ? m.gCropGroupNumber[ki] : Int16{0};
}

void AddLines(ModOrmid& m, int n) {
  m.gLineCount = static_cast<Int16>(m.gLineCount + n);
}

// One crop group of the critical report while its members are walked. A page
// break inside the group is only noted (breakPending) and made right before
// the group's next line, which then repeats the table heading and the group's
// heading.
class CriticalGroup {
 public:
  CriticalGroup(CommodityRun& run, int row, int group, float total)
      : run_(run), m_(run.m), row_(row), group_(group), total_(total) {}

  void NoteBreakIfPast(int limit) {
    if (m_.gLineCount > limit) breakPending_ = true;
  }
  void SetBreakPending(bool pending) { breakPending_ = pending; }

  // Adds an entry to the group's sums; true when it is to be listed.
  bool Take(const ExposureFigures& x) {
    sums_.Add(m_, x.e, x.pctRef, x.pctNoel);
    return ShareOfTotal(x.e, total_) >= m_.gCritFoodPct;
  }

  // Before a listed row: the deferred page break and the group's heading.
  void PrepareListedRow() {
    if (breakPending_) {
      BreakPage();
      if (headingWritten_) {
        run_.w.Line("Crop Group = " + GroupName(m_, group_) + " (cont.)");
        AddLines(m_, 1);
      }
    }
    if (!headingWritten_) {
      WriteHeading();
      headingWritten_ = true;
    }
  }

  // The group's end: its rule, or its heading alone when only its own share
  // shows it. False when the group is not shown at all.
  bool Finish() {
    if (headingWritten_) {
      run_.w.Line(m_.gCropTableRule);
      AddLines(m_, 1);
      return true;
    }
    if (ShareOfTotal(sums_.e, total_) < m_.gCritCropPct) return false;
    if (breakPending_) BreakPage();
    WriteHeading();
    return true;
  }

  const ExposureSums& sums() const { return sums_; }

 private:
  void BreakPage() {
    EndReportPage(m_, run_.w);
    WriteCropTableHeading(m_, run_.w, m_.gEndpoint, m_.gCropTableRule, m_.gQStar, m_.gLineCount,
                          row_);
    breakPending_ = false;
  }
  void WriteHeading() {
    run_.w.Line("Crop Group = " + GroupName(m_, group_));
    AddLines(m_, 1);
  }

  CommodityRun& run_;
  ModOrmid& m_;
  int row_;
  int group_;
  float total_;
  ExposureSums sums_;
  bool headingWritten_ = false;
  bool breakPending_ = false;
};

}  // namespace

float ShareOfTotal(float e, float total) {
  return Percent(e, total);
}

void WriteCropTableHeading(const ModOrmid& m, ReportWriter& w, Endpoint endpoint, std::string& rule,
                           float qStar, Int16& lineCount, int row) {
  const bool pad = PadApplies(m, row);
  w.End();
  if (endpoint == Endpoint::RfD || endpoint == Endpoint::Pad) {
    w.Line("Crop group                               ----------Exposure Analysis--------");
    w.Line("   Food                                     mg/kg     % of Total   Percent ");
    w.Line(endpoint == Endpoint::Pad && pad
               ? "      Foodform                           body wt/day   Exposure    of PAD  "
               : "      Foodform                           body wt/day   Exposure    of RfD  ");
    rule = "--------------------------------------   -----------  ----------  ----------";
  } else if (endpoint == Endpoint::Noel) {
    w.Line("Crop group                          ------------ Exposure Analysis -----------");
    w.Line("   Food                                mg/kg   |% of Total| Percent | Margin  ");
    w.Line("      Foodform                      body wt/day| Exposure | of NOEL |of Exposr");
    rule = "----------------------------------  -----------|----------|-------- |---------";
  } else if (endpoint == Endpoint::NoelRfD || endpoint == Endpoint::NoelPad) {
    w.Line("Crop group                          ------------ Exposure Analysis -----------");
    w.Line("   Food                                mg/kg   |% of Total|Margin of| Percent ");
    w.Line(endpoint == Endpoint::NoelPad && pad
               ? "      Foodform                      body wt/day| Exposure |Exposure |  of PAD "
               : "      Foodform                      body wt/day| Exposure |Exposure |  of RfD ");
    rule = "----------------------------------  -----------|----------|---------|---------";
  } else if (endpoint == Endpoint::QStar) {
    w.Line("Crop group                               -----------Exposure analysis----------");
    w.Line("   Food                                     mg/kg   | % of Total| Lifetime Risk");
    w.Line("      Foodform                           body wt/day|  Exposure |(Q*=" +
           ShortNumberText(qStar) + ")");
    rule = "--------------------------------------   -----------|-----------|--------------";
  }
  w.Line(rule);
  w.End();
  lineCount = static_cast<Int16>(lineCount + 6);
}

void WriteCriticalReport(CommodityRun& run, int row) {
  ModOrmid& m = run.m;
  ReportWriter& w = run.w;
  const int pageLength = m.gPageLength;
  const int column = m.gPopOrder[static_cast<std::size_t>(row)];
  const float total = m.gPopExposure[static_cast<std::size_t>(column)];
  run.Check(row, total);

  WriteCommodityHeader(run, row);
  w.Line("                 Critical Commodity Contribution Analysis for");
  WriteCentredName(w, m.gPopNames2[static_cast<std::size_t>(row)]);
  w.End();
  w.Line("                 Total Exposure =" + FormatPattern(total, "##.#######") +
         " mg/kg bw/day");
  AddLines(m, 4);

  if (total == 0) {
    w.End();
    w.Line("         No exposure for this subpopulation");
    AddLines(m, 2);
    EndReportPage(m, w);
    return;
  }

  w.End();
  w.Line("            Crop groups with total exposure contribution >" +
         ShortNumberText(m.gCritCropPct) + "%");
  w.Line("              Foods/Foodforms with exposure contribution >" +
         ShortNumberText(m.gCritFoodPct) + "%");
  w.Line(kDashes79);
  AddLines(m, 4);
  WriteCropTableHeading(m, w, m.gEndpoint, m.gCropTableRule, m.gQStar, m.gLineCount, row);

  ExposureSums listed;
  for (int k = 1; k <= m.gCropGroupCount; ++k) {
    const auto& members = m.gGroupFoods[static_cast<std::size_t>(k)];
    if (members[1] == 0) continue;
    CriticalGroup group(run, row, k, total);
    group.SetBreakPending(m.gLineCount > pageLength - 11);

    const std::vector<int>& foods = run.GroupFoods(k);
    for (std::size_t n = 0; n < foods.size(); ++n) {
      const int done = static_cast<int>(n) + 1;
      const int f = foods[n];
      const auto fi = static_cast<std::size_t>(f);
      const auto writeFoodLine = [&] {
        w.Text("   ").Text(m.gFoodName[fi]).Text(" (").Text(m.gFoodCode[fi]).Line("):");
      };

      if (m.gFoodFormCount[fi] == 0) {
        const ExposureFigures x = FoodExposure(run, row, f);
        if (group.Take(x)) {
          group.PrepareListedRow();
          writeFoodLine();
          w.Text("        FoodForm N/S");
          WriteRowCells(m, w, x, total, false);
          // The food line and its row count as one line.
          AddLines(m, 1);
        }
      } else {
        group.NoteBreakIfPast(pageLength - 7);
        bool foodLineWritten = false;
        const int first = m.gFoodFirstForm[fi];
        for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
          const ExposureFigures x = FormExposure(run, row, j);
          if (!group.Take(x)) continue;
          group.PrepareListedRow();
          if (!foodLineWritten) {
            writeFoodLine();
            foodLineWritten = true;
            AddLines(m, 1);
          }
          w.Text("      ").Text(run.FormLabel(j));
          WriteRowCells(m, w, x, total, true);
          AddLines(m, 1);
        }
      }

      group.SetBreakPending(m.gLineCount > pageLength - 6);
      if (done >= members[1]) break;
    }

    if (!group.Finish()) continue;
    if (GroupNumber(m, k) != 0) {
      const ExposureSums& sums = group.sums();
      listed.Add(m, sums.e, sums.pctRef, sums.pctNoel);
    }
    WriteTotalLine(run, row, group.sums(), total, false);
    w.End();
    AddLines(m, 2);
  }

  if (listed.e == 0) {
    w.Line("No critical crop commodities for this case");
  } else {
    WriteTotalLine(run, row, listed, total, true);
  }
  AddLines(m, 1);
  EndCommodityReport(m, w);
}

}  // namespace ormid
