#include "aggregate/aggregate_report.h"

#include <algorithm>
#include <filesystem>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "exposure/long_term_report.h"
#include "report/number_format.h"
#include "report/report_writer.h"

namespace ormid {

namespace {

const std::string kEquals79(79, '=');
const std::string kDashes79(79, '-');

std::string Aligned(double value, std::string_view pattern) {
  std::string text = FormatPattern(value, pattern), result;
  AlignNumber(pattern, text, result);
  return result;
}

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text.substr(0, width)
                              : text + std::string(width - text.size(), ' ');
}

std::string Centered(const std::string& title) {
  return std::string((79 - std::min<std::size_t>(title.size(), 79)) / 2, ' ') + title;
}

// A dose in its column: seven decimals (a single-precision exposure as the
// long-term report prints it); one of 1,000 mg/kg bw/day or more, which the
// column has no room for, with an exponent.
std::string DoseText(float value) {
  if (value >= 1000.0f) return TrimBlanks(FormatPattern(value, "scientific"));
  return AlignedCell(value, "###.#######");
}
std::string DoseText(double value) {
  if (value >= 1000.0) return TrimBlanks(FormatPattern(value, "scientific"));
  return Aligned(value, "###.#######");
}

std::string Plain(double value) {
  return ShortestText(value);
}

std::string Risk(double risk) {
  return TrimBlanks(FormatPattern(risk, "scientific"));
}

void DurationSection(ReportWriter& w, const AggregateFigures& f,
                     const AggregateDurationFigures& d) {
  const bool cancer = d.duration == Duration::Cancer;
  const bool chronic = d.duration == Duration::Chronic;
  w.Line(kEquals79);
  w.Line(Centered(std::string(DurationTitle(d.duration)) +
                  " aggregate exposure by population subgroup"));
  w.Line(Centered("(mg/kg bw/day; dermal and inhalation doses as absorbed)"));
  w.Line(kDashes79);
  w.Line(Left("Population subgroup", 30) + Right("Food", 12) + Right("Water", 12) +
         Right("Residential", 12) + Right("Total", 12));
  w.Line(std::string(30, '-') + "  ----------  ----------  ----------  ----------");
  for (const AggregateSubgroup& s : d.subgroups) {
    const double residential = s.residential[0] + s.dose[1] + s.dose[2];
    const double total = s.dose[0] + s.dose[1] + s.dose[2];
    w.Line(Left(s.subgroup, 30) + Right(DoseText(s.food), 12) + Right(DoseText(s.water), 12) +
           Right(DoseText(residential), 12) + Right(DoseText(total), 12));
  }
  w.End();
  if (cancer) {
    w.Line("Population subgroup              Lifetime risk");
    w.Line("------------------------------  --------------");
    for (const AggregateSubgroup& s : d.subgroups)
      w.Line(Left(s.subgroup, 30) + "  " + Right(Risk(*s.risk), 14) + (s.ofConcern ? " *" : ""));
    w.Line("* above the cancer risk limit of " + Risk(f.settings.cancerLimit) + ".");
  } else {
    // Every figure's column is 9 wide.
    w.Line(std::string(24, ' ') + Right("MOE", 9) + Right("MOE", 9) + Right("MOE", 9) +
           Right("aggr.", 9) + (chronic ? std::string(9, ' ') + Right("Percent", 9) : ""));
    w.Line(Left("Population subgroup", 24) + Right("oral", 9) + Right("dermal", 9) +
           Right("inhal.", 9) + Right("MOE", 9) + Right("ARI", 9) +
           (chronic ? Right("of cPAD", 9) : ""));
    w.Line(std::string("------------------------ -------- -------- -------- --------  -------") +
           (chronic ? " --------" : ""));
    for (const AggregateSubgroup& s : d.subgroups) {
      std::string line = Left(s.subgroup, 24);
      for (std::size_t r = 0; r < 3; ++r) line += " " + Right(MarginText(s.moe[r]), 8);
      line += " " + Right(d.sameLoc ? MarginText(s.aggregateMoe) : "-", 8);
      line += "  " + Right(AriText(s.ari), 7);
      if (chronic && s.percentCpad)
        line += " " + Right(*s.percentCpad >= 100000.0 ? ">99,999%"
                                                       : Aligned(*s.percentCpad, "#####.#") + "%",
                            8);
      if (s.ofConcern) line += " *";
      w.Line(line);
    }
    if (!d.sameLoc)
      w.Line("Aggregate MOE: -, the routes' levels of concern differ; the ARI combines them.");
    w.Line("* of concern: an aggregate risk index below 1.");
  }
  w.End();
  w.Line("Population subgroup           Scenario used               DWLOC ug/L  EDWC below");
  w.Line("----------------------------  ------------------------  -----------  ----------");
  for (const AggregateSubgroup& s : d.subgroups) {
    const std::string below = !s.edwcBelow ? "-" : *s.edwcBelow ? "yes" : "NO";
    w.Line(Left(s.subgroup, 28) + "  " + Left(s.scenario.empty() ? "none" : s.scenario, 24) + "  " +
           Right(DwlocText(s), 11) + "  " + Right(below, 10));
  }
  if (f.exposures.waterCodes.empty()) {
    w.Line("No drinking water foods named: no water exposure and no DWLOC.");
    return;
  }
  w.Line("EDWC " + (d.edwc ? Plain(*d.edwc) + " ug/L." : std::string("not given.")));
  w.Line("DWLOC: the drinking water concentration at which the aggregate reaches");
  w.Line(cancer ? "the risk limit, food and residential held (none: they pass it alone)."
                : "an ARI of 1, food and residential held (none: they pass it alone).");
}

void Inputs(ReportWriter& w, const AggregateFigures& f) {
  w.Line(kEquals79);
  w.Line(Centered("Toxicology"));
  w.Line("Toxicology file: " + f.tox.path);
  w.Line(kDashes79);
  w.Line("Duration           Route        PoD mg/kg bw/day        LOC  Absorbed %     Q*");
  w.Line("-----------------  ----------  -----------------  ---------  ----------  -----");
  for (const ToxRow& t : f.tox.rows) {
    const bool cancer = t.duration == Duration::Cancer;
    std::string line = Left(DurationName(t.duration), 17) + "  " + Left(RouteName(t.route), 10) +
                       "  " + Right(cancer ? "-" : Plain(t.pod), 17) + "  " +
                       Right(cancer ? "-" : Plain(t.loc), 9) + "  " +
                       Right(Plain(t.absorptionPercent), 10);
    if (cancer && t.route == Route::Oral) line += "  " + Plain(t.qStar);
    w.Line(line);
  }
  if (const ToxRow* oral = f.tox.Find(Duration::Chronic, Route::Oral))
    w.Line("cPAD = PoD / LOC of the chronic oral row =" + ShortNumberText(oral->pod / oral->loc) +
           " mg/kg bw/day");
  w.Line(kEquals79);
  w.Line(Centered("Drinking water"));
  w.Line(kDashes79);
  if (f.exposures.waterCodes.empty()) {
    w.Line("No drinking water foods named: no water exposure and no DWLOC.");
  } else {
    w.Line("Drinking water foods (residue EDWC/1000 ppm, adjustment factors 1):");
    for (std::size_t i = 0; i < f.exposures.waterCodes.size(); ++i)
      w.Line("   " + f.exposures.waterCodes[i] + "  " + f.exposures.waterNames[i]);
  }
  for (Duration d : f.settings.durations) {
    const auto& ppb = f.settings.waterPpb[Index(d)];
    w.Line(
        Left(DurationName(d), 17) + "  EDWC " +
        (ppb ? Plain(*ppb) + " ug/L (" + ShortestText(static_cast<float>(*ppb / 1000.0)) + " ppm)"
             : std::string("not given")));
  }
  w.Line(kEquals79);
  w.Line(Centered("Residential scenarios"));
  if (!f.residential.path.empty()) w.Line("Residential file: " + f.residential.path);
  w.Line(kDashes79);
  if (f.residential.rows.empty()) {
    w.Line("No residential file: food and drinking water only.");
    return;
  }
  if (f.settings.scenario)
    w.Line("Scenario used for every subgroup: " + *f.settings.scenario);
  else
    w.Line("Per subgroup and duration, the scenario of the highest aggregate risk is used.");
  w.Line("Scenario                  Route       Duration           Subgroup  mg/kg bw/day");
  w.Line("------------------------  ----------  -----------------  --------  ------------");
  for (const ResidentialRow& r : f.residential.rows)
    w.Line(Left(r.scenario, 24) + "  " + Left(RouteName(r.route), 10) + "  " +
           Left(DurationName(r.duration), 17) + "  " +
           Left(r.row == 0 ? "all" : "row " + std::to_string(r.row), 8) + "  " +
           Right(TrimBlanks(ShortNumberText(r.exposure)), 12));
}

}  // namespace

std::string AriText(const std::optional<double>& ari) {
  if (!ari) return "-";
  if (*ari >= 10000.0) return ">9999";
  return TrimBlanks(Aligned(*ari, "####.##"));
}

std::string MarginText(const std::optional<double>& moe) {
  if (!moe) return "-";
  if (*moe >= 1000000.0) return ">999,999";
  return TrimBlanks(Aligned(*moe, "###,###"));
}

std::string DwlocText(const AggregateSubgroup& s) {
  switch (s.dwlocKind) {
    case DwlocKind::Value:
      return s.dwloc >= 1e7 ? ">9,999,999" : TrimBlanks(Aligned(s.dwloc, "#,###,###.##"));
    case DwlocKind::None:
      return "none";
    case DwlocKind::Unlimited:
      return "unlimited";
    case DwlocKind::NoWaterFoods:
      break;
  }
  return "-";
}

std::string AggregateReportText(const ModOrmid& m, const AggregateFigures& f,
                                const std::string& residueFile, const DateTime& now) {
  ReportWriter w;
  w.End();
  w.Text(m.gReportBanner).Col(65).Text("Ver. " + m.gProgramVersion + ", " + m.gDataVersion).End();
  w.Text("KAVRI-FCID Ormid aggregate analysis for " + ToUpper(f.exposures.chemical));
  if (const char* label = SurveyLabel(m.gSurveyBase)) w.Col(60).Text(label);
  w.End();
  w.Line("Residue file: " + residueFile + " (" + f.exposures.residueDate + ")");
  w.Line(f.settings.adj2 ? "Adjustment factor #2 used." : "Adjustment factor #2 NOT used.");
  w.Line("Analysis Date " + FormatReportDate(now) + "/" + FormatReportTime(now));
  w.Line("Food: the residue file's long-term exposure without the drinking water foods.");
  for (const AggregateDurationFigures& d : f.durations) DurationSection(w, f, d);
  Inputs(w, f);
  w.Line(kEquals79);
  return std::string(w.str());
}

}  // namespace ormid
