#include "residue_build/build_report.h"

#include <filesystem>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "exposure/long_term_report.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

const std::string kEquals(79, '=');
const std::string kDashes(79, '-');

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string Centred(const std::string& text) {
  return std::string((79 - std::min<std::size_t>(text.size(), 79)) / 2, ' ') + text;
}

std::string Count(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The value the non-detects were given: one value, or the lowest and the
// highest; "-" when none was (no non-detects, or all of them zeros).
std::string NonDetectText(const BuildRow& r) {
  if (!r.nonDetectLow) return "-";
  if (*r.nonDetectLow == *r.nonDetectHigh) return ShortestText(*r.nonDetectLow);
  return ShortestText(*r.nonDetectLow) + "-" + ShortestText(*r.nonDetectHigh);
}

void Row(ReportWriter& w, const BuildRow& r) {
  const std::string what = r.form ? std::string(12, ' ') + Left(r.formLabel, 44)
                                  : Left(r.foodCode, 12) + Left(r.foodName, 44);
  if (!r.rule) {
    w.Line(what + "entry of its food forms: residue 0");
    return;
  }
  w.Line(what + "from " + r.commodity + (r.fromFoodRule ? " (the food's rule)" : ""));
  std::string nd = NonDetectText(r);
  const bool wide = nd.size() > 15;
  std::string mean = FormatPattern(r.mean, "#####.########"), aligned;
  AlignNumber("#####.########", mean, aligned);
  w.Line(Right(std::to_string(r.samples), 10) + Right(std::to_string(r.detected), 6) +
         Right(std::to_string(r.notQuantified), 5) + Right(std::to_string(r.nonDetects), 6) +
         Right(std::to_string(r.zeros), 7) + "  " + Left(wide ? "varies" : nd, 15) +
         Right(aligned, 14) + "  " + Left(ShortestText(r.percentCropTreated), 5) + " " +
         Left(ResidueNumberText(r.residue), 14) + " " + Left(ResidueNumberText(r.adj1), 8) + " " +
         ResidueNumberText(r.adj2));
  if (wide) w.Line(std::string(12, ' ') + "non-detects at " + nd + " ppm");
  // A food form given its food's rule has the food's note.
  if (!r.note.empty() && !r.fromFoodRule) w.Line(std::string(12, ' ') + "Note: " + r.note);
}

}  // namespace

std::string RuleWords(NonDetectRule rule) {
  switch (rule) {
    case NonDetectRule::Zero:
      return "0";
    case NonDetectRule::HalfLod:
      return "1/2 LOD";
    case NonDetectRule::Lod:
      return "LOD";
    case NonDetectRule::HalfLoq:
      return "1/2 LOQ";
    case NonDetectRule::Loq:
      return "LOQ";
  }
  return "";
}

std::string RuleWords(NotQuantifiedRule rule) {
  switch (rule) {
    case NotQuantifiedRule::HalfLoq:
      return "1/2 LOQ";
    case NotQuantifiedRule::Loq:
      return "LOQ";
    case NotQuantifiedRule::LodPlusHalf:
      return "LOD + (LOQ - LOD)/2";
  }
  return "";
}

std::string ResidueBuildReportText(const ModOrmid& m, const ResidueBuild& build,
                                   const DateTime& now) {
  const ResidueBuildSettings& s = build.settings;
  ReportWriter w;
  w.End();
  w.Text(m.gReportBanner).Col(65).Text("Ver. " + m.gProgramVersion + ", " + m.gDataVersion).End();
  w.Text("KAVRI-FCID Ormid residue file build for " + s.chemical);
  if (const char* label = SurveyLabel(m.gSurveyBase)) w.Col(60).Text(label);
  w.End();
  w.Line("Samples file: " + s.samples + " (" + Count(build.sampleCount, "sample", "samples") +
         " of " + Count(build.commodityCount, "commodity", "commodities") + ")");
  w.Line("Rules file: " + s.rules + " (" + Count(build.ruleCount, "rule", "rules") + ")");
  w.Line("Build Date " + FormatReportDate(now) + "/" + FormatReportTime(now));
  w.Line(std::string("Non-detects: ") + OptionText(s.nonDetects) + " (" + RuleWords(s.nonDetects) +
         ")   Not quantified: " + OptionText(s.notQuantified) + " (" + RuleWords(s.notQuantified) +
         ")");
  w.Line(std::string("Percent crop treated: ") + OptionText(s.cropTreated) +
         (s.cropTreated == CropTreatedRule::ZeroNonDetects
              ? " (the untreated share of the samples as true zeros)"
              : " (as adjustment factor #2)"));
  w.Line("NOEL " + ShortestText(s.noel) + "   RfD " + ShortestText(s.rfd) + "   Q* " +
         ShortestText(s.qstar) + "   (as the residue file carries them)");

  for (std::size_t b = 0; b < build.bounds.size(); ++b) {
    const Bound bound = build.bounds[b];
    w.Line(kEquals);
    w.Line(Centred("Residue file " + FileNameOnly(ResidueFileOfBound(s, bound)) + ": " +
                   OptionText(bound) + " bound"));
    w.Line(Centred(bound == Bound::Lower ? "(non-detects and not quantified as 0)"
                   : bound == Bound::Upper
                       ? "(non-detects at their LOQ, or LOD without one; "
                         "not quantified at the LOQ)"
                       : "(non-detects at " + RuleWords(s.nonDetects) + ", not quantified at " +
                             RuleWords(s.notQuantified) + ")"));
    w.Line(kDashes);
    w.Line("Food code   Food / food form                            Commodity sampled");
    w.Line(
        "   Samples  Det.   NQ    ND  Zeros  ND value (ppm)     Mean (ppm)  %CT   "
        "Residue (ppm)  Adj.#1   Adj.#2");
    w.Line(
        "---------- ----- ---- ----- ------  --------------  -------------  ----  "
        "-------------  -------  ------");
    std::size_t entries = 0;
    for (const BuildRow& r : build.rows) {
      if (r.bound != bound) continue;
      Row(w, r);
      ++entries;
    }
    w.Line(kDashes);
    w.Line(Count(entries, "entry", "entries") + " of " +
           Count(build.files[b].foods.size(), "food", "foods") + " written to " +
           FileNameOnly(ResidueFileOfBound(s, bound)) + " (chemical " + build.files[b].chemical +
           ")");
  }

  w.Line(kEquals);
  w.Line(Centred("Commodities sampled that no rule names"));
  w.Line(kDashes);
  if (build.unruled.empty()) w.Line("None.");
  for (const ResidueBuild::Unruled& u : build.unruled)
    w.Line(Left(u.commodity, 44) + " " + Right(Count(u.samples, "sample", "samples"), 14));
  w.Line(kEquals);
  w.Line(Centred("Foods of the installation that no rule names: no data, no entry"));
  w.Line(kDashes);
  if (build.noData.empty()) w.Line("None.");
  for (const ResidueBuild::Food& f : build.noData) w.Line(Left(f.code, 12) + f.name);
  w.Line(Count(build.noData.size(), "food", "foods") + " without an entry.");
  w.Line(kEquals);
  w.Line("Det.: detected and quantified; NQ: detected, not quantified; ND: not detected.");
  w.Line("Zeros: non-detects counted as true zeros for the crop not treated,");
  w.Line("(100 - %CT) x Samples / 100 to the nearest whole number (halves up), at most");
  w.Line("ND: those of the lowest values (the first in the samples file among equal ones).");
  w.Line("ND value: the value the other non-detects were given (lowest-highest).");
  w.Line("Mean: the mean of every sample's value, in double precision; Residue: the mean");
  w.Line("rounded once to single precision, as written. Adj.#1: the processing factor;");
  w.Line("Adj.#2: 1, or %CT / 100 with --crop-treated factor.");
  return w.take();
}

}  // namespace ormid
