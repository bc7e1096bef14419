#include "exposure/long_term_report.h"

#include "core/paths.h"
#include "core/record_file.h"
#include "core/run_host.h"
#include "exposure/exposure_rows.h"
#include "exposure/total_exposure.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

const std::string kEquals79(79, '=');
const std::string kDashes79(79, '-');

}  // namespace

const char* SurveyLabel(Int16 surveyBase) {
  switch (surveyBase) {
    case 0:
      return "CSFII 1994-98";
    case 1:
      return "NHANES 1999-2006 1-day";
    case 2:
      return "NHANES 2005-2010 2-day";
    default:
      return nullptr;
  }
}

void WriteReportHeader(const ModOrmid& m, ReportWriter& w, Int16& lineCount, int popIndex,
                       const DateTime& now) {
  if (lineCount == 0) {
    w.End();
    lineCount = 1;
  }
  w.End();
  w.Text(m.gReportBanner).Col(65).Text("Ver. " + m.gProgramVersion + ", " + m.gDataVersion).End();
  w.Text("KAVRI-FCID Ormid analysis for " + ToUpper(m.gChemicalName));
  if (const char* label = SurveyLabel(m.gSurveyBase)) w.Col(60).Text(label);
  w.End();
  w.Text("Residue file name: " + m.gResidueFileName)
      .Col(50)
      .Text(m.gUseAdj2 != 0 ? "    Adjustment factor #2 used." : "Adjustment factor #2 NOT used.")
      .End();
  w.Text("Analysis Date " + FormatReportDate(now) + "/" + FormatReportTime(now))
      .Col(39)
      .Text("Residue file dated: " + m.gResidueFileDate)
      .End();
  lineCount = static_cast<Int16>(lineCount + 5);
  const Endpoint code = m.gEndpoint;
  if (UsesReferenceDose(code)) {
    if (PadApplies(m, popIndex))
      w.Line("Pop Adj dose (PAD, Ormid) =" +
             ShortNumberText(m.gPAD[static_cast<std::size_t>(popIndex)]) + " mg/kg bw/day");
    else
      w.Line("Reference dose (RfD, Ormid) =" + ShortNumberText(m.gRefDose) + " mg/kg bw/day");
    ++lineCount;
  }
  if (UsesNoel(code)) {
    w.Line("NOEL (Ormid) =" + ShortNumberText(m.gNOEL) + " mg/kg bw/day");
    ++lineCount;
  }
  if (code == Endpoint::QStar) {
    w.Text("Q* =").Num(m.gQStar).End();
    ++lineCount;
  }
  if (!m.gRunComment.empty()) {
    w.Line("COMMENT 1: " + m.gRunComment);
    ++lineCount;
  }
  w.Line(kEquals79);
  ++lineCount;
}

void WriteExposureColumnHeads(ReportWriter& w, Endpoint endpoint, float qStar, Int16& lineCount) {
  const char* head1 =
      "          Population                         mg/kg             Percent of   ";
  const char* rule =
      "--------------------------------------   -------------       ----------------";
  if (endpoint == Endpoint::RfD || endpoint == Endpoint::Pad) {
    w.Line(head1);
    w.Line(endpoint == Endpoint::RfD
               ? "           Subgroup                       body wt/day             Rfd       "
               : "           Subgroup                       body wt/day             PAD       ");
    w.Line(rule);
  } else if (endpoint == Endpoint::Noel) {
    w.Line("          Population                         mg/kg       Percent   Margin of");
    w.Line("           Subgroup                       body wt/day    of NOEL   Exposure ");
    w.Line("--------------------------------------   -------------  ---------  ----------");
  } else if (endpoint == Endpoint::NoelRfD || endpoint == Endpoint::NoelPad) {
    w.Line("          Population                         mg/kg       Margin of   Percent ");
    w.Line(endpoint == Endpoint::NoelRfD
               ? "           Subgroup                       body wt/day    Exposure    of RfD "
               : "           Subgroup                       body wt/day    Exposure    of PAD ");
    w.Line("--------------------------------------   -------------  ----------  ----------");
  } else if (endpoint == Endpoint::QStar) {
    w.Line("          Population                         mg/kg         Lifetime risk");
    w.Line("           Subgroup                       body wt/day       (Q*=" +
           ShortNumberText(qStar) + ")");
    w.Line("--------------------------------------   -------------     --------------");
  }
  lineCount = static_cast<Int16>(lineCount + 3);
}

std::string LongTermReportText(ModOrmid& m, const ExposureTable& table, const DateTime& now) {
  ReportWriter w;
  WriteReportHeader(m, w, m.gLineCount, 0, now);
  w.Line("                    Total exposure by population subgroup");
  w.Line(kDashes79);
  w.End();
  w.Line("                                                    Total Exposure");
  w.Line("                                         -----------------------------------");
  m.gLineCount = static_cast<Int16>(m.gLineCount + 5);
  WriteExposureColumnHeads(w, m.gEndpoint, m.gQStar, m.gLineCount);

  const Endpoint code = m.gEndpoint;
  const bool lowerCase = code == Endpoint::RfD || code == Endpoint::Pad ||
                         code == Endpoint::NoelRfD || code == Endpoint::NoelPad;
  for (const ExposureRow& row : table.rows) {
    w.Text(row.name);
    if (row.noExposure) {
      w.Col(43).Text(lowerCase ? "  no exposure" : "  No Exposure").End();
      ++m.gLineCount;
      continue;
    }
    w.Col(43).Text(AlignedCell(row.exposure, "###.######"));
    if (code == Endpoint::RfD || code == Endpoint::Pad) {
      w.Col(64).Text(AlignedCell(row.percentRef, "###,###.#") + "%");
    } else if (code == Endpoint::Noel) {
      w.Col(57).Text(AlignedCell(row.percentNoel, "#,###.##") + "%");
      if (row.moe >= kMoeCap)
        w.Col(67).Text(">1,000,000)");
      else
        w.Col(69).Text(AlignedCell(row.moe, "#,###,###"));
    } else if (code == Endpoint::NoelRfD || code == Endpoint::NoelPad) {
      if (row.moe >= kMoeCap)
        w.Col(55).Text(">1,000,000");
      else
        w.Col(57).Text(AlignedCell(row.moe, "#,###,###"));
      w.Col(68).Text(AlignedCell(row.percentRef, "###,###.#") + "%");
    } else if (code == Endpoint::QStar) {
      w.Col(60).Text(AlignedScientific(row.risk));
    }
    w.End();
    ++m.gLineCount;
  }
  w.End();
  if (table.padFootnote) {
    w.Line(" *PAD in mg/kg-bw-day");
    ++m.gLineCount;
  }
  w.Line(kDashes79);
  m.gLineCount = static_cast<Int16>(m.gLineCount + 2);
  return w.take();
}

std::string ReportNotWritten(const ModOrmid& m, const std::string& report,
                             const std::string& workingReport, const std::string& error) {
  // The working folder's report is named with the folder; a report written
  // elsewhere (a batch scenario's) by its full name.
  return "The report file " + report +
         (report == workingReport ? " could not be written in the working folder " + m.gWorkingDir
                                  : std::string(" could not be written")) +
         ": " + error + ". The last report was left as it was.";
}

bool CopyReportFile(Platform& p, const std::string& source, const std::string& target,
                    std::string& error) {
  auto bytes = ReadWholeFile(source);
  if (!bytes) {
    error = "the report " + source + " cannot be read";
    return false;
  }
  // Line by line: every line, the last one included, ends with CR LF.
  std::string out;
  out.reserve(bytes->size() + 2);
  std::size_t i = 0;
  const std::string& s = *bytes;
  while (i < s.size()) {
    std::size_t e = s.find_first_of("\r\n", i);
    if (e == std::string::npos) e = s.size();
    out.append(s, i, e - i).append("\r\n");
    if (e < s.size() && s[e] == '\r') ++e;
    if (e < s.size() && s[e] == '\n') ++e;
    i = e;
  }
  return p.WriteFile(target, out, FileKind::SavedCopy, error);
}

AnalysisEnd RunOrmidAnalysis(ModOrmid& m, Platform& p, RunHost& host,
                             const std::string& reportFileName,
                             const std::string& temporaryReport) {
  AnalysisEnd end;
  int failed = 0;
  ComputeTotalExposure(m, p, failed, host.Terms());
  if (failed != 0) return end;
  ExposureTable table = BuildExposureRows(m);
  if (table.nonFiniteRow != 0) {
    p.MessageBox("The exposure figures of " +
                     m.gPopNames2[static_cast<std::size_t>(table.nonFiniteRow)] +
                     " are not finite numbers (a zero endpoint value, or consumption or residue "
                     "values out of range). No report was written.",
                 "Ormid Analysis", MsgIcon::Exclamation, MsgButtons::OK);
    return end;
  }
  Int16 savedCount = m.gLineCount;
  std::string text = LongTermReportText(m, table, p.Now());
  std::string error;
  if (!p.WriteFile(temporaryReport, text, FileKind::WorkingFile, error)) {
    m.gLineCount = savedCount;
    p.MessageBox(ReportNotWritten(m, temporaryReport, kLongTermReportFile, error), "Ormid Analysis",
                 MsgIcon::Exclamation, MsgButtons::OK);
    return end;
  }
  if (ResultsSink* results = host.Results())
    for (int k = 1; k <= m.gPopCount; ++k) results->LongTerm(m, LongTermResultOf(m, table, k));
  if (reportFileName.empty()) {
    end.done = end.showReport = true;
    return end;
  }
  if (!CopyReportFile(p, temporaryReport, reportFileName, error)) {
    p.MessageBox("Report file name (or path\\filename) " + reportFileName +
                     " is invalid. Specifiy a valid filename or path\\filename.",
                 "KAVRI-FCID Ormid", MsgIcon::Information, MsgButtons::OK);
    end.focus = Control::txtRptFile;
    return end;
  }
  end.done = true;
  end.closing = Notice{
      "Ormid analysis completed. Press 'Show Last Ormid Rpt' to view report. \r\n"
      "Ormid analysis report also saved as file " +
          reportFileName,
      "Ormid Analysis", MsgIcon::Information};
  end.focus = Control::cmdPrintOrmidAnalysis;
  return end;
}

}  // namespace ormid
