// The long-term analysis report ("ormdtemp.txt"), the header block that the
// commodity reports share, and the long-term run.
#pragma once

#include <string>

#include "core/mod_ormid.h"
#include "core/platform.h"
#include "core/run_host.h"

namespace ormid {

class ReportWriter;
class RunHost;
struct ExposureTable;

// The survey a report's second line names ("CSFII 1994-98"); nullptr for
// an unknown survey base.
const char* SurveyLabel(Int16 surveyBase);

// The header block of the analysis reports. Adds one to lineCount for every
// header step written; popIndex names the subgroup whose PAD may be shown.
void WriteReportHeader(const ModOrmid& m, ReportWriter& w, Int16& lineCount, int popIndex,
                       const DateTime& now);

// The three column-heading lines of the long-term table; adds 3 to lineCount.
void WriteExposureColumnHeads(ReportWriter& w, Endpoint endpoint, float qStar, Int16& lineCount);

// The whole long-term report text for the computed totals.
std::string LongTermReportText(ModOrmid& m, const ExposureTable& table, const DateTime& now);

// Copies a report's lines into a user's file (each line ended with CR LF).
bool CopyReportFile(Platform& p, const std::string& source, const std::string& target,
                    std::string& error);

// The long-term run: totals, rows, the report written to `temporaryReport`
// ("ormdtemp.txt" in the working folder), then its copy to the user's
// report file when one was given. Not done when a message stopped it:
// before the report was written, or when the copy to the report file failed
// (the report itself then stands).
// The message of a report that could not be written: the working folder's
// temporary report (`workingReport`) named with its folder, another one
// (a batch scenario's) by its own name.
std::string ReportNotWritten(const ModOrmid& m, const std::string& report,
                             const std::string& workingReport, const std::string& error);

AnalysisEnd RunOrmidAnalysis(ModOrmid& m, Platform& p, RunHost& host,
                             const std::string& reportFileName,
                             const std::string& temporaryReport = kLongTermReportFile);

}  // namespace ormid
