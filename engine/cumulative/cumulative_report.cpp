#include "cumulative/cumulative_report.h"

#include <algorithm>
#include <charconv>
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

// A double figure in its column, as a float's is aligned.
std::string Aligned(double value, std::string_view pattern) {
  std::string text = FormatPattern(value, pattern), result;
  AlignNumber(pattern, text, result);
  return result;
}

// A group file's number as it reads there: the shortest text of the double.
std::string Plain(double value) {
  return ShortestText(value);
}

std::string Right(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::string Left(const std::string& text, std::size_t width) {
  return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

// The total margin of exposure as its column shows it: nine characters,
// ten for one of a million or more.
std::string Margin(double moet) {
  if (moet >= 1000000.0) return ">1,000,000";
  return Right(Aligned(moet, "#,###,###"), 9);
}

// `text` after `lead` in lines of at most 79 characters, the lines after
// the first indented as far as `lead` is long; broken at blanks, and a word
// longer than a line at a character's boundary.
std::vector<std::string> Wrapped(const std::string& lead, const std::string& text) {
  std::vector<std::string> lines;
  const std::size_t room = 79 - std::min<std::size_t>(lead.size(), 60);
  std::string rest = text, line;
  while (!rest.empty()) {
    std::size_t cut = rest.size();
    if (cut > room) {
      cut = rest.rfind(' ', room);
      if (cut == std::string::npos || cut == 0) {
        cut = room;
        while (cut > 0 && (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80) --cut;
        if (cut == 0) cut = room;
      }
    }
    line = rest.substr(0, cut);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    lines.push_back((lines.empty() ? lead : std::string(lead.size(), ' ')) + line);
    rest.erase(0, cut);
    rest.erase(0, rest.find_first_not_of(' ') == std::string::npos ? rest.size()
                                                                   : rest.find_first_not_of(' '));
  }
  return lines;
}

std::string SubgroupName(const ModOrmid& m, int row) {
  const auto ri = static_cast<std::size_t>(row);
  return row > 0 && ri < m.gPopNames2.size() ? m.gPopNames2[ri] : std::string();
}

void HeadroomSection(ReportWriter& w, const ModOrmid& m, const CumulativeHeadroom& h) {
  const char* what = h.by == HeadroomBy::CropGroup ? "Crop group"
                     : h.by == HeadroomBy::Food    ? "Food"
                                                   : "Food form";
  w.Line(kEquals79);
  const std::string title = "Headroom to at most " + Plain(h.target) + "% of the cPAD";
  w.Line(std::string((79 - std::min<std::size_t>(title.size(), 79)) / 2, ' ') + title);
  w.Line(kDashes79);
  if (h.mostExposedRow == 0) {
    w.Line("No subgroup chosen.");
    return;
  }
  std::string percent = Aligned(h.mostExposedPercent, "###,###.#");
  percent = percent.substr(percent.find_first_not_of(' '));
  w.Line("Most exposed subgroup: " + SubgroupName(m, h.mostExposedRow) + " (" + percent +
         "% of the cPAD)");
  w.Line("Share: percent of its exposure in index equivalents. Factor: the factor on the");
  w.Line("residues that brings the first subgroup to the target, all else unchanged.");
  auto table = [&](const std::string& heading, const std::vector<CumulativeHeadroomRow>& rows) {
    w.End();
    w.Line("   " + Left(heading, 28) + "    Share       Factor  Limited by");
    w.Line("   " + std::string(28, '-') + "  -------  -----------  " + std::string(24, '-'));
    for (const CumulativeHeadroomRow& r : rows) {
      const std::string name = r.code.empty() ? r.name : r.code + " " + r.name;
      std::string line = "   " + Left(name.substr(0, 28), 28) + "  " +
                         Right(Aligned(r.share, "###.##") + "%", 7) + "  " +
                         Right(CumulativeFactorText(r), 11);
      if (r.limitingRow != 0) line += "  " + SubgroupName(m, r.limitingRow);
      w.Line(line.substr(0, 79));
    }
  };
  table("Chemical", h.chemicals);
  table(what, h.commodities);
}

}  // namespace

std::string CumulativeFactorText(const CumulativeHeadroomRow& row) {
  switch (row.outcome) {
    case HeadroomOutcome::Multiplier:
      return row.multiplier.Text();
    case HeadroomOutcome::PastTarget:
      return "past target";
    case HeadroomOutcome::Unlimited:
      break;
  }
  return "unlimited";
}

std::string CumulativeReportText(const ModOrmid& m, const AssessmentGroup& group,
                                 const ChemicalExposures& e,
                                 const std::vector<CumulativeSubgroup>& subgroups, bool adj2,
                                 const DateTime& now, const std::string& whatIf,
                                 const CumulativeHeadroom* headroom) {
  ReportWriter w;
  const GroupChemical& index = group.chemicals[group.index];
  const std::string name = std::filesystem::path(group.path).stem().string();
  w.End();
  w.Text(m.gReportBanner).Col(65).Text("Ver. " + m.gProgramVersion + ", " + m.gDataVersion).End();
  w.Text("KAVRI-FCID Ormid cumulative analysis for " + ToUpper(name));
  if (const char* label = SurveyLabel(m.gSurveyBase)) w.Col(60).Text(label);
  w.End();
  w.Text("Assessment group file: " + group.path)
      .Col(50)
      .Text(adj2 ? "    Adjustment factor #2 used." : "Adjustment factor #2 NOT used.")
      .End();
  w.Line("Analysis Date " + FormatReportDate(now) + "/" + FormatReportTime(now));
  w.Line("Index chemical: " + index.chemical + "   cPAD =" + ShortNumberText(group.Cpad()) +
         " mg/kg bw/day (PoD " + Plain(index.pod) + " / UF " +
         Plain(index.uncertaintyFactor.value_or(1.0)) + ")");
  if (!whatIf.empty()) w.Line(whatIf);
  w.Line(kEquals79);
  w.Line("                   Chemicals of the assessment group");
  w.Line(kDashes79);
  w.Line("Chemical                         PoD mg/kg      UF          RPF  Residue file");
  w.Line("                                 bw/day");
  w.Line("------------------------------  ----------  ------  -----------  -------------");
  for (std::size_t j = 0; j < group.chemicals.size(); ++j) {
    const GroupChemical& g = group.chemicals[j];
    w.Line(Left(g.chemical + (g.index ? " (index)" : ""), 30) + "  " + Right(Plain(g.pod), 10) +
           "  " + Right(g.uncertaintyFactor ? Plain(*g.uncertaintyFactor) : "-", 6) + "  " +
           Right(Aligned(g.rpf, "###.#######"), 11) + (g.rpfGiven ? "g" : " ") + " " +
           std::filesystem::path(g.residuePath).filename().string() + " (" + e.files[j].date + ")");
    // The uncertainty factor named one by one, and where the point of
    // departure comes from, when the file says.
    if (g.HasFactors())
      w.Line("    UF " + Plain(g.uncertaintyFactor.value_or(1.0)) + " = " +
             Plain(*g.interspeciesFactor) + " interspecies x " + Plain(*g.intraspeciesFactor) +
             " intraspecies x " + Plain(*g.fqpaFactor) + " FQPA");
    if (!g.podSource.empty())
      for (const std::string& line : Wrapped("    PoD source: ", g.podSource)) w.Line(line);
  }
  w.Line("RPF: pod(index) / pod; g: as given in the group file.");
  w.Line(kEquals79);
  w.Line("              Cumulative exposure by population subgroup");
  w.Line("             (index-chemical equivalents, mg/kg bw/day)");
  w.Line(kDashes79);
  w.Line("          Population                     Exposure    Percent     Total    Hazard");
  w.Line("           Subgroup                    (index eq.)   of cPAD      MOE      index");
  w.Line("--------------------------------------  -----------  ---------  --------  -------");
  for (const CumulativeSubgroup& s : subgroups) {
    std::string line =
        Left(s.subgroup, 38) + "  " + Right(Aligned(s.indexEquivalent, "###.#######"), 11);
    if (s.indexEquivalent == 0) {
      w.Line(line + "  no exposure");
      continue;
    }
    // A subgroup with exposure has a margin. A wider margin keeps a blank
    // on either side and takes its room from the blanks before the hazard
    // index, so that the columns stay where they are.
    const std::string margin = Margin(s.moet.value_or(0));
    line += "  " + Right(Aligned(s.percentCpad, "###,###.#") + "%", 9) + " " + margin;
    const std::string hazard =
        s.hazardIndex ? "  " + Right(Aligned(*s.hazardIndex, "##.####"), 7) : "        -";
    const std::size_t wider = std::min(margin.size() - std::min<std::size_t>(margin.size(), 9),
                                       hazard.find_first_not_of(' ') - 1);
    w.Line(line + hazard.substr(wider));
  }
  // The cumulative margin of exposure against its target, the index
  // chemical's uncertainty factor.
  w.Line(kEquals79);
  w.Line("          Cumulative margin of exposure by population subgroup");
  w.Line("       (PoD of the index chemical / exposure in index equivalents;");
  w.Line("        target: the index chemical's uncertainty factor)");
  w.Line(kDashes79);
  w.Line("          Population                     Exposure    Cumulative    Target");
  w.Line("           Subgroup                    (index eq.)      MOE          MOE");
  w.Line("--------------------------------------  -----------  ----------  --------");
  for (const CumulativeSubgroup& s : subgroups) {
    const std::string line =
        Left(s.subgroup, 38) + "  " + Right(Aligned(s.indexEquivalent, "###.#######"), 11);
    if (!s.margin) {
      w.Line(line + "  no exposure");
      continue;
    }
    w.Line(line + "  " + Right(Margin(*s.margin), 10) + "  " +
           Right(Plain(s.targetMargin.value_or(group.TargetMargin())), 8));
  }
  w.Line(kEquals79);
  w.Line("            Contribution of each chemical by population subgroup");
  w.Line(kDashes79);
  for (const CumulativeSubgroup& s : subgroups) {
    w.End();
    w.Line(s.subgroup);
    w.Line("   Chemical                        Exposure          Index eq.     Share");
    for (std::size_t j = 0; j < group.chemicals.size(); ++j) {
      std::string line = "   " + Left(group.chemicals[j].chemical, 28) +
                         Right(AlignedCell(s.exposure[j], "###.#######"), 12) + "  " +
                         Right(Aligned(s.equivalent[j], "###.#######"), 17);
      if (s.share[j]) line += "  " + Right(Aligned(*s.share[j], "###.##") + "%", 8);
      w.Line(line);
    }
  }
  if (e.breakdown) {
    const CommodityBreakdown& b = *e.breakdown;
    const char* what = b.by == HeadroomBy::CropGroup ? "crop group"
                       : b.by == HeadroomBy::Food    ? "food"
                                                     : "food form";
    w.Line(kEquals79);
    w.Line(std::string("     Contribution of each ") + what +
           " by population subgroup, largest first");
    w.Line(kDashes79);
    for (std::size_t r = 0; r < b.rows.size() && r < subgroups.size(); ++r) {
      const CumulativeSubgroup& s = subgroups[r];
      w.End();
      w.Line(s.subgroup);
      w.Line("   Code          Name                            Index eq.     Share");
      std::vector<std::size_t> order;
      for (std::size_t c = 0; c < b.parts.size(); ++c)
        if (b.parts[c].equivalent[r] != 0) order.push_back(c);
      std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return b.parts[x].equivalent[r] > b.parts[y].equivalent[r];
      });
      if (order.empty()) w.Line("   no exposure");
      for (std::size_t c : order) {
        const CommodityPart& part = b.parts[c];
        std::string line = "   " + Left(part.code, 13) + " " + Left(part.name.substr(0, 28), 28) +
                           Right(Aligned(part.equivalent[r], "###.#######"), 14);
        if (s.indexEquivalent != 0)
          line += "  " +
                  Right(Aligned(100.0 * part.equivalent[r] / s.indexEquivalent, "###.##") + "%", 8);
        w.Line(line);
      }
    }
  }
  if (headroom) HeadroomSection(w, m, *headroom);
  w.Line(kEquals79);
  return std::string(w.str());
}

}  // namespace ormid
