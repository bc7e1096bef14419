#include "headroom/headroom_text.h"

#include <algorithm>
#include <array>
#include <vector>

#include "commodity/commodity_run.h"
#include "core/mod_ormid.h"
#include "exposure/exposure_rows.h"
#include "headroom/headroom.h"
#include "report/number_format.h"

namespace ormid {

namespace {

std::string WithoutLeadingBlanks(std::string text) {
  const std::size_t b = text.find_first_not_of(' ');
  return b == std::string::npos ? std::string() : text.substr(b);
}

std::string TargetNumber(const HeadroomTarget& target) {
  if (target.kind == TargetKind::Risk) return FormatPattern(target.value, "scientific");
  return WithoutLeadingBlanks(ShortNumberText(target.value));
}

// The most exposed subgroup's figure as the long-term report shows it.
std::string FigureText(const ModOrmid& m, const HeadroomTable& table) {
  const int row = table.mostExposedRow;
  const float e = table.mostExposedExposure;
  if (e == 0) return "no exposure";
  const std::string exposure =
      WithoutLeadingBlanks(AlignedCell(e, "###.######")) + " mg/kg bw/day, ";
  switch (table.target.kind) {
    case TargetKind::PercentRef:
      return exposure +
             WithoutLeadingBlanks(AlignedCell(FiguresFor(m, row, e).pctRef, "###,###.#")) +
             "% of the " + (PadApplies(m, row) ? "PAD" : "RfD");
    case TargetKind::Moe: {
      const float moe = MarginOfExposure(m, e);
      return exposure + "margin of exposure " +
             (moe >= kMoeCap ? std::string(">1,000,000")
                             : WithoutLeadingBlanks(AlignedCell(moe, "#,###,###")));
    }
    case TargetKind::Risk:
      break;
  }
  return exposure + "lifetime risk " + FormatPattern(LifetimeRisk(m, e), "scientific");
}

std::string SubgroupsText(const ModOrmid& m, const std::vector<int>& rows) {
  if (static_cast<int>(rows.size()) == m.gPopCount) {
    bool every = true;
    for (std::size_t i = 0; i < rows.size(); ++i)
      every = every && rows[i] == static_cast<int>(i) + 1;
    if (every) return "all " + std::to_string(rows.size());
  }
  std::string text;
  for (int row : rows) text += (text.empty() ? "" : ", ") + std::to_string(row);
  return text;
}

}  // namespace

std::string TargetText(const HeadroomTarget& target) {
  switch (target.kind) {
    case TargetKind::PercentRef:
      return "at most " + TargetNumber(target) + "% of the RfD or PAD";
    case TargetKind::Moe:
      return "a margin of exposure of at least " + TargetNumber(target);
    case TargetKind::Risk:
      break;
  }
  return "a lifetime risk of at most " + TargetNumber(target);
}

std::string MultiplierCell(const HeadroomRow& row) {
  switch (row.outcome) {
    case HeadroomOutcome::Multiplier:
      return row.multiplier.Text();
    case HeadroomOutcome::PastTarget:
      return "past the target without it";
    case HeadroomOutcome::Unlimited:
      break;
  }
  return "unlimited";
}

std::string MaxResidueText(float residue) {
  if (!(residue > 0)) return "0";
  return Multiplier::FloorOf(static_cast<double>(residue)).Text();
}

std::string SubgroupName(const ModOrmid& m, int row) {
  const auto ri = static_cast<std::size_t>(row);
  return row > 0 && ri < m.gPopNames2.size() ? m.gPopNames2[ri] : std::string();
}

std::string HeadroomText(const ModOrmid& m, const HeadroomTable& table) {
  const bool residues = table.by != HeadroomBy::CropGroup;
  const char* what = table.by == HeadroomBy::CropGroup ? "Crop group"
                     : table.by == HeadroomBy::Food    ? "Food"
                                                       : "Food and food form";
  std::string out = "Headroom for " + m.gChemicalName + " (residue file " + m.gResidueFileName +
                    ") by " +
                    (table.by == HeadroomBy::CropGroup ? "crop group"
                     : table.by == HeadroomBy::Food    ? "food"
                                                       : "food form") +
                    "\n";
  out += "Target: " + TargetText(table.target) + "\n";
  out += "Subgroups: " + SubgroupsText(m, table.subgroups) + "\n";
  out += "Most exposed subgroup: " + SubgroupName(m, table.mostExposedRow) + " (" +
         FigureText(m, table) + ")\n";
  out +=
      "Share: percent of the most exposed subgroup's exposure. Multiplier: the factor on the\n"
      "residues that brings the first subgroup to the target, all else unchanged.\n\n";

  using Line = std::array<std::string, 6>;
  std::vector<Line> lines;
  lines.push_back(
      {"Code", what, "Share %", "Multiplier", residues ? "Max residue ppm" : "", "Limited by"});
  for (const HeadroomRow& row : table.rows) {
    std::string residue;
    if (row.hasMaxResidue && row.outcome == HeadroomOutcome::Multiplier && row.maxResidue > 0)
      residue = MaxResidueText(row.maxResidue);
    lines.push_back({row.code, row.name, WithoutLeadingBlanks(AlignedCell(row.share, "###.##")),
                     MultiplierCell(row), residue, SubgroupName(m, row.limitingRow)});
  }
  std::array<std::size_t, 6> width{};
  for (const Line& line : lines)
    for (std::size_t c = 0; c < line.size(); ++c) width[c] = std::max(width[c], line[c].size());
  // Text columns to the left, numbers to the right.
  constexpr std::array<bool, 6> right{false, false, true, true, true, false};
  auto cell = [&](const Line& line, std::size_t c) {
    const std::string pad(width[c] - line[c].size(), ' ');
    return right[c] ? pad + line[c] : line[c] + pad;
  };
  auto emit = [&](const Line& line) {
    std::string text;
    for (std::size_t c = 0; c < line.size(); ++c) {
      if (width[c] == 0) continue;
      text += (text.empty() ? "" : "  ") + cell(line, c);
    }
    out += text.substr(0, text.find_last_not_of(' ') + 1) + "\n";
  };
  emit(lines[0]);
  Line rule;
  for (std::size_t c = 0; c < rule.size(); ++c) rule[c] = std::string(width[c], '-');
  emit(rule);
  for (std::size_t i = 1; i < lines.size(); ++i) emit(lines[i]);
  return out;
}

}  // namespace ormid
