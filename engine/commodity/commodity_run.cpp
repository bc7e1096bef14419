#include "commodity/commodity_run.h"

#include <algorithm>
#include <cmath>

#include "commodity/complete_report.h"
#include "commodity/contributions.h"
#include "commodity/critical_report.h"
#include "commodity/crop_groups.h"
#include "core/platform.h"
#include "core/run_host.h"
#include "exposure/exposure_rows.h"
#include "exposure/long_term_report.h"
#include "report/food_form_label.h"
#include "report/number_format.h"

namespace ormid {

namespace {

constexpr const char* kTitle = "Commodity Analysis";

// How much report text is handed to the file at a time: small enough to
// stay in the processor's cache.
constexpr std::size_t kReportChunk = 64 * 1024;

// Writes the report's lines to the temporary report; after a failure, the
// rest is dropped and the first error kept.
struct ReportToFile : ReportSink {
  explicit ReportToFile(FileReplacement& file) : file(file) {}
  void Take(std::string_view lines) override {
    if (written) written = file.Write(lines, error);
  }
  FileReplacement& file;
  bool written = false;
  std::string error;
};

const std::string& KindOfRow(const ModOrmid& m, int row) {
  static const std::string kNone;
  const auto ri = static_cast<std::size_t>(row);
  return ri < m.gCommodityKind.size() ? m.gCommodityKind[ri] : kNone;
}

}  // namespace

void CommodityRun::Check(int row, float value) {
  if (nonFiniteRow == 0 && !std::isfinite(value)) nonFiniteRow = row;
}

const std::string& CommodityRun::FormLabel(int j) {
  const auto ji = static_cast<std::size_t>(j);
  if (ji >= formLabels_.size()) formLabels_.resize(std::max(ji + 1, m.gFormCode.size()));
  std::string& label = formLabels_[ji];
  if (label.empty()) {  // a label always holds at least the code and "-"
    std::string code = std::to_string(m.gFormCode[ji]);
    FoodFormLabel(m, code, label);
  }
  return label;
}

EndpointLayout LayoutOf(Endpoint endpoint) {
  if (endpoint == Endpoint::RfD || endpoint == Endpoint::Pad) return EndpointLayout::RefDose;
  if (endpoint == Endpoint::Noel) return EndpointLayout::Noel;
  if (endpoint == Endpoint::NoelRfD || endpoint == Endpoint::NoelPad)
    return EndpointLayout::NoelRef;
  return EndpointLayout::Risk;
}

const std::vector<int>& CommodityRun::GroupFoods(int k) {
  if (groupFoods_.empty()) {
    // For each group, the foods its members are found at: from its first
    // member on, the foods the classification put into it, as many as it
    // counts (fewer where the tables disagree).
    groupFoods_.resize(static_cast<std::size_t>(std::max<int>(m.gCropGroupCount, 0)) + 1);
    for (int g = 1; g <= m.gCropGroupCount; ++g) {
      const auto gi = static_cast<std::size_t>(g);
      if (gi >= m.gGroupFoods.size()) break;
      const auto& group = m.gGroupFoods[gi];
      std::vector<int>& foods = groupFoods_[gi];
      for (int f = std::max<int>(group[2], 1);
           f <= m.gResFoodCount && static_cast<int>(foods.size()) < group[1]; ++f)
        if (FoodInGroup(m, f, g)) foods.push_back(f);
    }
  }
  static const std::vector<int> kNone;
  const auto ki = static_cast<std::size_t>(k);
  return ki < groupFoods_.size() ? groupFoods_[ki] : kNone;
}

float ReadFoodConsumption(const CommodityRun& run, int f, int s) {
  const int record = run.m.gFoodConsRec[static_cast<std::size_t>(f)];
  if (record == 0) return 0.0f;
  return ConsumptionIn(run.m, run.files.foods.Record(record), s);
}

float ReadFormConsumption(const CommodityRun& run, int j, int s) {
  const int record = run.m.gFormConsRec[static_cast<std::size_t>(j)];
  if (record == 0) return 0.0f;
  return ConsumptionIn(run.m, run.files.forms.Record(record), s);
}

namespace {

ExposureFigures Checked(CommodityRun& run, int row, const ExposureFigures& x) {
  run.Check(row, x.e);
  run.Check(row, x.pctRef);
  run.Check(row, x.pctNoel);
  run.Check(row, x.moe);
  run.Check(row, x.risk);
  return x;
}

int ColumnOfRow(const ModOrmid& m, int row) {
  return m.gPopOrder[static_cast<std::size_t>(row)];
}

// The figures of food (formRow false) or food-form entry `index` for report
// row `row`, checked for the reports and remembered while they are written.
ExposureFigures EntryExposure(CommodityRun& run, int row, bool formRow, int index) {
  return run.Remembered(row, formRow, index,
                        [&] { return Checked(run, row, EntryFigures(run, row, formRow, index)); });
}

}  // namespace

ExposureFigures EntryFigures(const CommodityRun& run, int row, bool formRow, int index) {
  const ModOrmid& m = run.m;
  const auto i = static_cast<std::size_t>(index);
  const int column = ColumnOfRow(m, row);
  const float c =
      formRow ? ReadFormConsumption(run, index, column) : ReadFoodConsumption(run, index, column);
  const float e =
      formRow ? ExposureTerm(c, m.gFormResidue[i], m.gFormAdj1[i], m.gFormAdj2[i], m.gUseAdj2 != 0)
              : ExposureTerm(c, m.gFoodResidue[i], m.gFoodAdj1[i], m.gFoodAdj2[i], m.gUseAdj2 != 0);
  return FiguresFor(m, row, e);
}

ExposureFigures FoodExposure(CommodityRun& run, int row, int f) {
  return EntryExposure(run, row, false, f);
}

ExposureFigures FormExposure(CommodityRun& run, int row, int j) {
  return EntryExposure(run, row, true, j);
}

void EndReportPage(ModOrmid& m, ReportWriter& w) {
  for (int n = m.gLineCount + 1; n <= m.gPageLength - 4; ++n) w.End();
  ++m.gPageNumber;
  if (m.gPageNumbers == "Y") {
    w.Text(std::string(38, ' ')).Num(static_cast<int>(m.gPageNumber)).End();
    w.Text("\f").End();
  } else {
    w.End();
  }
  m.gLineCount = 1;
}

void EndCommodityReport(ModOrmid& m, ReportWriter& w) {
  w.Line(kDashes79);
  m.gLineCount = static_cast<Int16>(m.gLineCount + 1);
  // The margin-of-exposure footnote of the NOEL endpoints.
  if (UsesNoel(m.gEndpoint)) {
    w.End();
    w.Line("1. Margin of Exposure = NOEL / Dietary Exposure");
    m.gLineCount = static_cast<Int16>(m.gLineCount + 2);
  }
  EndReportPage(m, w);
}

int CentringBlanks(std::size_t length) {
  // Twice the blank count: 78 - length. An odd value is a half, which goes to
  // the even one of its two neighbours.
  const long twice = 78 - static_cast<long>(length);
  if (twice <= 0) return 0;
  long blanks = twice / 2;
  if (twice % 2 != 0 && blanks % 2 != 0) ++blanks;
  return static_cast<int>(blanks);
}

void WriteCentredName(ReportWriter& w, std::string_view name) {
  w.Text(std::string(static_cast<std::size_t>(CentringBlanks(name.size())), ' ')).Text(name).End();
}

void WriteCommodityHeader(CommodityRun& run, int row) {
  WriteReportHeader(run.m, run.w, run.m.gLineCount, row, run.p.Now());
}

AnalysisEnd RunCommodityAnalysis(ModOrmid& m, Platform& p, RunHost& host,
                                 const std::string& reportFileName,
                                 const std::string& temporaryReport) {
  AnalysisEnd end;
  // Every group index the rule set can assign must name an entry of the crop
  // group list; otherwise group names and numbers would be missing.
  const int needed = RuleSetGroupCount(m);
  if (m.gCropGroupCount < needed) {
    p.MessageBox("The crop group list of the food-form description file " + m.gFoodFormFile +
                     " holds " + std::to_string(m.gCropGroupCount) +
                     " crop groups, but the survey data of this installation needs " +
                     std::to_string(needed) + ". No commodity report was written.",
                 kTitle, MsgIcon::Exclamation, MsgButtons::OK);
    return end;
  }

  m.gPageNumber = 0;
  m.gLineCount = 0;
  int failed = 0;
  ComputeTotalExposure(m, p, failed, host.Terms());
  if (failed != 0) return end;

  CommodityRun run(m, p);
  // Whoever keeps the run's rows is done with them before the texts they
  // point into go with the run, whichever way it ends.
  struct SentOnExit {
    ResultsSink* results;
    ~SentOnExit() {
      if (results) results->Sent();
    }
  } sentOnExit{host.Results()};
  std::string failedFile;
  if (!run.files.Open(m, failedFile)) {
    p.MessageBox("The consumption file " + failedFile + " cannot be opened.", "support file error",
                 MsgIcon::Critical, MsgButtons::OK);
    return end;
  }
  ClassifyCropGroups(m);

  // The reports go to the temporary report as they are written, so that
  // the run never holds them whole; the last report is replaced only when
  // every subgroup is done.
  FileReplacement report(p, temporaryReport, FileKind::WorkingFile);
  ReportToFile sink(report);
  run.w.SendTo(&sink, kReportChunk);
  sink.written = report.Open(sink.error);
  bool stopped = false;
  for (int i = 1; sink.written && run.nonFiniteRow == 0 && i <= m.gPopCount; ++i) {
    const std::string& kind = KindOfRow(m, i);
    if (kind == "A" || kind == "C") WriteCompleteReport(run, i);
    if (kind == "B" || kind == "C") WriteCriticalReport(run, i);
    if (ResultsSink* results = host.Results(); results && !kind.empty())
      SendContributions(run, i, *results);
    host.Progress(i, m.gPopCount);
    if (i < m.gPopCount && host.StopRequested()) {
      stopped = true;
      break;
    }
  }
  // A stopped run leaves the last report as it was, and the counters as a
  // run stopped after its start.
  if (stopped) {
    report.Abandon();
    m.gPageNumber = 0;
    m.gLineCount = 0;
    return end;
  }
  if (run.nonFiniteRow == 0) run.w.Flush();
  std::string& error = sink.error;

  // A run that writes nothing leaves the counters as a run stopped after its
  // start.
  if (run.nonFiniteRow != 0) {
    report.Abandon();
    m.gPageNumber = 0;
    m.gLineCount = 0;
    p.MessageBox("The exposure figures of " +
                     m.gPopNames2[static_cast<std::size_t>(run.nonFiniteRow)] +
                     " are not finite numbers (a zero endpoint value, or consumption or residue "
                     "values out of range). No report was written.",
                 kTitle, MsgIcon::Exclamation, MsgButtons::OK);
    return end;
  }
  if (!sink.written || !report.Commit(error)) {
    m.gPageNumber = 0;
    m.gLineCount = 0;
    p.MessageBox(ReportNotWritten(m, temporaryReport, kCommodityReportFile, error), kTitle,
                 MsgIcon::Exclamation, MsgButtons::OK);
    return end;
  }

  if (reportFileName.empty()) {
    end.done = end.showReport = true;
    return end;
  }
  if (!CopyReportFile(p, temporaryReport, reportFileName, error)) {
    p.MessageBox("The commodity report file " + reportFileName + " could not be written: " + error +
                     ". Specify a valid filename or path\\filename. The report is still "
                     "available through 'Show Last Commodity Rpt'.",
                 kTitle, MsgIcon::Exclamation, MsgButtons::OK);
    end.focus = Control::txtRptFile;
    return end;
  }
  end.done = true;
  end.closing = Notice{
      "Commodity analysis completed. Press 'Show Last Commodity Rpt' to view report. \r\n"
      "Commodity analysis report also saved as file " +
          reportFileName,
      kTitle, MsgIcon::Information};
  end.focus = Control::cmdCommodity;
  return end;
}

const std::string& GroupName(const ModOrmid& m, int k) {
  static const std::string kNone;
  const auto ki = static_cast<std::size_t>(k);
  return ki < m.gCropGroupNames.size() ? m.gCropGroupNames[ki] : kNone;
}

}  // namespace ormid
