// The long-term analysis report ("ormdtemp.txt"), the header block that the
// commodity reports share, and the long-term run.
#pragma once

#include <string>

#include "core/mod_ormid.h"
#include "core/platform.h"

namespace ormid {

class ReportWriter;
class RunHost;
struct ExposureTable;

// The header block of the analysis reports. Adds one to lineCount for every
// header step written; popIndex names the subgroup whose PAD may be shown.
void WriteReportHeader(const ModOrmid& m, ReportWriter& w, Int16& lineCount, int popIndex,
                       const DateTime& now);

// The three column-heading lines of the long-term table; adds 3 to lineCount.
void WriteExposureColumnHeads(ReportWriter& w, const std::string& endpoint, float qStar,
                              Int16& lineCount);

// The whole long-term report text for the computed totals.
std::string LongTermReportText(ModOrmid& m, const ExposureTable& table, const DateTime& now);

// Copies a report's lines into a user's file (each line ended with CR LF).
bool CopyReportFile(Platform& p, const std::string& source, const std::string& target,
                    std::string& error);

// The long-term run: totals, rows, "ormdtemp.txt", then the copy and its
// message, or the Show Last action when no report file name was given.
// False when a message stopped it: before the report was written, or when
// the copy to the report file failed (the report itself then stands).
bool RunOrmidAnalysis(ModOrmid& m, Platform& p, RunHost& host, const std::string& reportFileName);

}  // namespace ormid
