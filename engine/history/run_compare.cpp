#include "history/run_compare.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "core/json_text.h"
#include "core/utf8.h"
#include "export/results_export.h"
#include "export/table_writer.h"

namespace ormid {

using nlohmann::json;

namespace {

// A subgroup's figures in one run.
struct ComparedSubgroup {
  int row = 0;
  std::string subgroup;
  float exposure = 0;
  RecordedFigures figures;
  // A cumulative run's subgroup: its percent of the cPAD, and its exposure
  // in index-chemical equivalents as `exposure`.
  std::optional<float> percentCpad;
  // An aggregate run's subgroup: its percent of the limit as `percentCpad`,
  // its total dose as `exposure`.
  bool aggregate = false;
};

std::vector<ComparedSubgroup> SubgroupsOf(const RecordedRun& run) {
  std::vector<ComparedSubgroup> out;
  for (const RecordedCumulative& r : run.cumulative)
    out.push_back({r.row,
                   r.subgroup,
                   static_cast<float>(r.indexEquivalent),
                   {},
                   static_cast<float>(r.percentCpad),
                   false});
  for (const RecordedAggregate& r : run.aggregateSubgroups)
    out.push_back({r.row,
                   r.subgroup,
                   static_cast<float>(r.totalDose),
                   {},
                   static_cast<float>(r.percentOfLimit),
                   true});
  for (const RecordedLongTerm& r : run.longTerm)
    out.push_back({r.row, r.subgroup, r.exposure, r.figures, std::nullopt, false});
  for (const RecordedContribution& r : run.commodity)
    if (r.kind == ContributionKind::SubgroupTotal)
      out.push_back({r.row, r.subgroup, r.exposure, r.figures, std::nullopt, false});
  return out;
}

// The figures a row can carry, in the order the headline takes them.
enum class Family { PercentReference, Moe, Risk, PercentNoel, PercentCpad, PercentOfLimit };
constexpr Family kFamilies[] = {Family::PercentReference, Family::Moe, Family::Risk,
                                Family::PercentNoel};

std::optional<Figure> FigureOf(const RecordedFigures& f, Family family) {
  switch (family) {
    case Family::PercentReference:
      if (f.percentReference)
        return Figure{
            f.reference == ReferenceKind::PAD ? FigureKind::PercentPAD : FigureKind::PercentRfD,
            *f.percentReference};
      break;
    case Family::Moe:
      if (f.marginOfExposure) return Figure{FigureKind::MarginOfExposure, *f.marginOfExposure};
      break;
    case Family::Risk:
      if (f.lifetimeRisk) return Figure{FigureKind::Risk, *f.lifetimeRisk};
      break;
    case Family::PercentNoel:
      if (f.percentNoel) return Figure{FigureKind::PercentNoel, *f.percentNoel};
      break;
    case Family::PercentCpad:  // cumulative and aggregate runs set theirs themselves
    case Family::PercentOfLimit:
      break;
  }
  return std::nullopt;
}

std::optional<Family> FamilyOf(FigureKind kind) {
  switch (kind) {
    case FigureKind::PercentRfD:
    case FigureKind::PercentPAD:
      return Family::PercentReference;
    case FigureKind::MarginOfExposure:
      return Family::Moe;
    case FigureKind::Risk:
      return Family::Risk;
    case FigureKind::PercentNoel:
      return Family::PercentNoel;
    case FigureKind::PercentCpad:
      return Family::PercentCpad;
    case FigureKind::PercentOfLimit:
      return Family::PercentOfLimit;
    case FigureKind::None:
      break;
  }
  return std::nullopt;
}

}  // namespace

bool Comparable(const SubgroupChange& s) {
  if (!s.valueA || !s.valueB) return false;
  const auto a = FamilyOf(s.figureA);
  return a && a == FamilyOf(s.figureB);
}

namespace {

// The headline figures of a subgroup in both runs: of one kind where both
// runs have one in common, else each run's own.
void SetFigures(const RecordedFigures* a, const RecordedFigures* b, SubgroupChange& c) {
  if (a && b)
    for (Family family : kFamilies) {
      auto fa = FigureOf(*a, family), fb = FigureOf(*b, family);
      if (fa && fb) {
        c.figureA = fa->kind;
        c.valueA = fa->value;
        c.figureB = fb->kind;
        c.valueB = fb->value;
        return;
      }
    }
  auto headline = [](const RecordedFigures& f) {
    return HeadlineOf(f.percentReference, f.reference, f.percentNoel, f.marginOfExposure,
                      f.lifetimeRisk);
  };
  if (a) {
    Figure h = headline(*a);
    c.figureA = h.kind;
    if (h.kind != FigureKind::None) c.valueA = h.value;
  }
  if (b) {
    Figure h = headline(*b);
    c.figureB = h.kind;
    if (h.kind != FigureKind::None) c.valueB = h.value;
  }
}

void Flatten(const json& j, const std::string& name, std::map<std::string, std::string>& out) {
  if (j.is_object()) {
    for (auto it = j.begin(); it != j.end(); ++it)
      Flatten(it.value(), name.empty() ? it.key() : name + "." + it.key(), out);
  } else if (j.is_array()) {
    // An empty list adds nothing: its first entry in the other run shows.
    for (std::size_t i = 0; i < j.size(); ++i)
      Flatten(j[i], name + "[" + std::to_string(i) + "]", out);
  } else {
    out[name] = JsonText(j);
  }
}

// What of a manifest counts as a setting of the run.
std::map<std::string, std::string> SettingsOf(const json& manifest) {
  std::map<std::string, std::string> out;
  auto take = [&](const char* section, std::initializer_list<const char*> keys) {
    auto it = manifest.find(section);
    if (it == manifest.end() || !it->is_object()) return;
    for (const char* key : keys)
      if (auto k = it->find(key); k != it->end())
        Flatten(*k, std::string(section) + "." + key, out);
  };
  take("run", {"command"});
  take("program", {"version"});
  take("installation", {"working_folder", "survey_base", "data_version"});
  take("residue_file", {"path", "chemical", "date", "format_tag"});
  if (auto it = manifest.find("settings"); it != manifest.end() && it->is_object())
    for (auto s = it->begin(); s != it->end(); ++s)
      if (s.key() != "arguments") Flatten(s.value(), "settings." + s.key(), out);
  return out;
}

struct Input {
  std::string path, sha256;
};

std::map<std::string, Input> InputsOf(const json& manifest) {
  std::map<std::string, Input> out;
  auto text = [](const json& e, const char* key) {
    auto it = e.find(key);
    return it != e.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  if (auto it = manifest.find("installation"); it != manifest.end() && it->contains("files"))
    for (const json& f : (*it)["files"])
      if (f.is_object()) out[text(f, "role")] = {text(f, "path"), text(f, "sha256")};
  if (auto it = manifest.find("residue_file"); it != manifest.end() && it->is_object())
    out["residue file"] = {text(*it, "path"), text(*it, "sha256")};
  // A cumulative run's group file and each chemical's residue file.
  if (auto it = manifest.find("group_file"); it != manifest.end() && it->is_object())
    out["assessment group file"] = {text(*it, "path"), text(*it, "sha256")};
  // An aggregate run's toxicology and residential files.
  for (const char* key : {"toxicology_file", "residential_file"})
    if (auto it = manifest.find(key); it != manifest.end() && it->is_object())
      out[key] = {text(*it, "path"), text(*it, "sha256")};
  if (auto it = manifest.find("residue_files"); it != manifest.end() && it->is_array())
    for (const json& f : *it)
      if (f.is_object())
        out["residue file of " + text(f, "chemical")] = {text(f, "path"), text(f, "sha256")};
  return out;
}

// Each subgroup's crop group shares, by crop group name.
std::map<std::string, std::map<std::string, std::optional<float>>> SharesOf(
    const RecordedRun& run) {
  std::map<std::string, std::map<std::string, std::optional<float>>> out;
  for (const RecordedContribution& r : run.commodity)
    if (r.kind == ContributionKind::CropGroupSubtotal)
      out[r.subgroup][r.cropGroupName] = r.sharePercent;
  return out;
}

std::string Number(const std::optional<double>& v, const char* format = "%.6g") {
  if (!v) return "";
  char text[40];
  std::snprintf(text, sizeof text, format, *v);
  return text;
}

std::optional<double> Widen(const std::optional<float>& v) {
  return v ? std::optional<double>(*v) : std::nullopt;
}

std::optional<float> Narrow(const std::optional<double>& v) {
  return v ? std::optional<float>(static_cast<float>(*v)) : std::nullopt;
}

std::string Pad(std::string text, std::size_t width) {
  if (text.size() < width) text.append(width - text.size(), ' ');
  return text;
}

std::string Right(const std::string& text, std::size_t width) {
  return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

json SummaryJson(const RunSummary& s) {
  return {{"id", s.id},
          {"date", s.date},
          {"command", s.command},
          {"chemical", s.chemical},
          {"residue_file", s.residueFile},
          {"endpoint", s.endpoint}};
}

}  // namespace

const char* CrossingText(Crossing c) {
  switch (c) {
    case Crossing::Above:
      return "rises above 100%";
    case Crossing::Below:
      return "falls to 100% or below";
    case Crossing::None:
      break;
  }
  return "";
}

Crossing CrossingOf(const std::optional<float>& a, const std::optional<float>& b) {
  if (!a || !b) return Crossing::None;
  if (*a <= 100.0f && *b > 100.0f) return Crossing::Above;
  if (*a > 100.0f && *b <= 100.0f) return Crossing::Below;
  return Crossing::None;
}

std::optional<double> Change(const std::optional<float>& a, const std::optional<float>& b) {
  if (!a || !b) return std::nullopt;
  return static_cast<double>(*b) - static_cast<double>(*a);
}

std::optional<double> RelativeChange(const std::optional<float>& a, const std::optional<float>& b) {
  if (!a || !b || *a == 0) return std::nullopt;
  return (static_cast<double>(*b) - static_cast<double>(*a)) / static_cast<double>(*a) * 100.0;
}

Comparison CompareRuns(const RecordedRun& a, const RecordedRun& b) {
  Comparison c;
  c.a = a.summary;
  c.b = b.summary;

  const auto subA = SubgroupsOf(a), subB = SubgroupsOf(b);
  std::vector<bool> usedB(subB.size());
  auto add = [&](const ComparedSubgroup* x, const ComparedSubgroup* y) {
    SubgroupChange s;
    s.row = x ? x->row : y->row;
    s.subgroup = x ? x->subgroup : y->subgroup;
    if (x) s.exposureA = x->exposure;
    if (y) s.exposureB = y->exposure;
    SetFigures(x ? &x->figures : nullptr, y ? &y->figures : nullptr, s);
    if (x && x->percentCpad) {
      s.figureA = x->aggregate ? FigureKind::PercentOfLimit : FigureKind::PercentCpad;
      s.valueA = x->percentCpad;
    }
    if (y && y->percentCpad) {
      s.figureB = y->aggregate ? FigureKind::PercentOfLimit : FigureKind::PercentCpad;
      s.valueB = y->percentCpad;
    }
    if (x && y)
      s.crossing = x->percentCpad && y->percentCpad
                       ? CrossingOf(x->percentCpad, y->percentCpad)
                       : CrossingOf(x->figures.percentReference, y->figures.percentReference);
    c.subgroups.push_back(std::move(s));
  };
  for (const ComparedSubgroup& x : subA) {
    const ComparedSubgroup* match = nullptr;
    for (std::size_t i = 0; i < subB.size() && !match; ++i)
      if (!usedB[i] && subB[i].subgroup == x.subgroup) {
        usedB[i] = true;
        match = &subB[i];
      }
    add(&x, match);
  }
  for (std::size_t i = 0; i < subB.size(); ++i)
    if (!usedB[i]) add(nullptr, &subB[i]);

  const auto setA = SettingsOf(a.manifest), setB = SettingsOf(b.manifest);
  std::map<std::string, std::pair<std::string, std::string>> settings;
  for (const auto& [k, v] : setA) settings[k].first = v;
  for (const auto& [k, v] : setB) settings[k].second = v;
  for (const auto& [k, v] : settings)
    if (v.first != v.second) c.settings.push_back({k, v.first, v.second});

  const auto inA = InputsOf(a.manifest), inB = InputsOf(b.manifest);
  std::map<std::string, std::pair<Input, Input>> inputs;
  for (const auto& [k, v] : inA) inputs[k].first = v;
  for (const auto& [k, v] : inB) inputs[k].second = v;
  for (const auto& [role, v] : inputs)
    if (v.first.sha256 != v.second.sha256)
      c.inputs.push_back({role, v.first.path, v.second.path, v.first.sha256, v.second.sha256});

  const auto sharesA = SharesOf(a), sharesB = SharesOf(b);
  for (const SubgroupChange& s : c.subgroups) {
    auto ia = sharesA.find(s.subgroup), ib = sharesB.find(s.subgroup);
    if (ia == sharesA.end() || ib == sharesB.end()) continue;
    std::map<std::string, std::pair<std::optional<float>, std::optional<float>>> groups;
    for (const auto& [g, v] : ia->second) groups[g].first = v;
    for (const auto& [g, v] : ib->second) groups[g].second = v;
    for (const auto& [g, v] : groups) {
      const double change =
          static_cast<double>(v.second.value_or(0)) - static_cast<double>(v.first.value_or(0));
      if (change != 0) c.cropGroups.push_back({s.row, s.subgroup, g, v.first, v.second, change});
    }
  }
  std::stable_sort(c.cropGroups.begin(), c.cropGroups.end(),
                   [](const CropGroupChange& x, const CropGroupChange& y) {
                     return std::fabs(x.change) > std::fabs(y.change);
                   });
  if (c.cropGroups.size() > kCropGroupsShown) c.cropGroups.resize(kCropGroupsShown);
  return c;
}

std::string ComparisonText(const Comparison& c) {
  std::string out;
  // Names and paths come from residue files and manifests: each is shown on
  // its line, never obeyed.
  const auto shown = [](const std::string& text) { return TerminalText(text); };
  auto run = [&](const char* label, const RunSummary& s) {
    out += std::string(label) + " run " + std::to_string(s.id) + "  " + shown(s.date) + "  " +
           shown(s.command) + "  " + shown(s.chemical) + "  " + shown(s.residueFile) +
           "  endpoint " + shown(s.endpoint) + "\n";
  };
  run("A:", c.a);
  run("B:", c.b);
  std::size_t nameWidth = 33;
  for (const SubgroupChange& s : c.subgroups)
    nameWidth = std::max(nameWidth, shown(s.subgroup).size() + 1);
  out += "\nSubgroups\n";
  out += Pad("  Row  Subgroup", nameWidth + 7) + Right("Exposure A", 13) + Right("Exposure B", 13) +
         Right("Change", 13) + Right("Change %", 10) + "  " + Pad("Figure", 14) + Right("A", 11) +
         Right("B", 11) + Right("Change", 11) + Right("Change %", 10) + "  100%\n";
  for (const SubgroupChange& s : c.subgroups) {
    std::string figure = FigureName(s.figureA);
    if (s.figureB != s.figureA)
      figure = (figure.empty() ? "-" : figure) + " / " +
               (*FigureName(s.figureB) ? FigureName(s.figureB) : "-");
    const bool comparable = Comparable(s);
    // Figures of two kinds each show, and the change columns say why they
    // are empty.
    const bool unlike = s.valueA && s.valueB && !comparable;
    out +=
        Right(std::to_string(s.row), 5) + "  " + Pad(shown(s.subgroup), nameWidth) +
        Right(Number(Widen(s.exposureA)), 13) + Right(Number(Widen(s.exposureB)), 13) +
        Right(Number(Change(s.exposureA, s.exposureB), "%+.6g"), 13) +
        Right(Number(RelativeChange(s.exposureA, s.exposureB), "%+.2f"), 10) + "  " +
        Pad(figure, 14) + Right(Number(Widen(s.valueA)), 11) + Right(Number(Widen(s.valueB)), 11) +
        (unlike ? "  " + Pad(kNotComparable, 19)
                : Right(comparable ? Number(Change(s.valueA, s.valueB), "%+.4g") : "", 11) +
                      Right(comparable ? Number(RelativeChange(s.valueA, s.valueB), "%+.2f") : "",
                            10)) +
        "  " + CrossingText(s.crossing);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    out += "\n";
  }
  out += "\nSettings that differ\n";
  if (c.settings.empty()) out += "  none\n";
  for (const SettingChange& s : c.settings)
    out += "  " + shown(s.name) + ": " + (s.a.empty() ? "(none)" : shown(s.a)) + " -> " +
           (s.b.empty() ? "(none)" : shown(s.b)) + "\n";
  out += "\nInput files whose SHA-256 differs\n";
  if (c.inputs.empty()) out += "  none\n";
  for (const InputChange& i : c.inputs) {
    auto sha = [](const std::string& s) {
      return s.empty() ? std::string("(none)") : s.substr(0, 16);
    };
    out += "  " + shown(i.role) + ": " + (i.pathA.empty() ? "(none)" : shown(i.pathA)) + " " +
           sha(shown(i.sha256A));
    out += i.pathB == i.pathA ? " -> " + sha(shown(i.sha256B)) + "\n"
                              : " -> " + (i.pathB.empty() ? "(none)" : shown(i.pathB)) + " " +
                                    sha(shown(i.sha256B)) + "\n";
  }
  if (c.a.command == "commodity" && c.b.command == "commodity") {
    out += "\nCrop groups whose share of the subgroup's exposure changed most\n";
    if (c.cropGroups.empty()) out += "  none\n";
    for (const CropGroupChange& g : c.cropGroups)
      out += Right(std::to_string(g.row), 5) + "  " + Pad(shown(g.subgroup), nameWidth) +
             Pad(shown(g.cropGroup), 36) + Right(Number(Widen(g.shareA), "%.2f%%"), 9) + " -> " +
             Right(Number(Widen(g.shareB), "%.2f%%"), 9) + Right(Number(g.change, "%+.2f"), 9) +
             " points\n";
  }
  return out;
}

bool ExportComparison(Platform& p, const Comparison& c, const std::string& path,
                      std::string& error) {
  static const std::vector<Column> columns = {
      {"row", CellType::Integer, ""},
      {"subgroup", CellType::Text, ""},
      {"exposure_a_mg_per_kg_bw_day", CellType::Number, ""},
      {"exposure_b_mg_per_kg_bw_day", CellType::Number, ""},
      {"exposure_change_mg_per_kg_bw_day", CellType::Number, ""},
      {"exposure_change_percent", CellType::Number, "0.00"},
      {"figure_a", CellType::Text, ""},
      {"figure_a_value", CellType::Number, ""},
      {"figure_b", CellType::Text, ""},
      {"figure_b_value", CellType::Number, ""},
      {"figure_change", CellType::Number, ""},
      {"figure_change_percent", CellType::Number, "0.00"},
      {"crossing_100_percent", CellType::Text, ""},
  };
  // The workbook is dated as the later of the two runs, so that a
  // comparison exported again writes the same bytes.
  const std::string later = std::max(c.a.date, c.b.date);
  TableSpec spec{path,    "Comparison", "comparison",
                 columns, 12,           CreatedOf(json{{"run", {{"date", later}}}})};

  json about = {{"run_a", SummaryJson(c.a)}, {"run_b", SummaryJson(c.b)}};
  json settings = json::array();
  for (const SettingChange& s : c.settings)
    settings.push_back({{"setting", s.name}, {"a", s.a}, {"b", s.b}});
  json inputs = json::array();
  for (const InputChange& i : c.inputs)
    inputs.push_back({{"role", i.role},
                      {"path_a", i.pathA},
                      {"path_b", i.pathB},
                      {"sha256_a", i.sha256A},
                      {"sha256_b", i.sha256B}});
  json groups = json::array();
  for (const CropGroupChange& g : c.cropGroups)
    groups.push_back({{"row", g.row},
                      {"subgroup", g.subgroup},
                      {"crop_group", g.cropGroup},
                      {"share_a_percent", g.shareA ? json(*g.shareA) : json()},
                      {"share_b_percent", g.shareB ? json(*g.shareB) : json()},
                      {"change_percentage_points", g.change}});
  about["settings_differ"] = settings;
  about["inputs_differ"] = inputs;
  if (c.a.command == "commodity" && c.b.command == "commodity")
    about["crop_groups_changed_most"] = groups;

  auto table = OpenTable(p, spec, about, error);
  if (!table) return false;
  std::vector<Cell> cells(columns.size());
  auto number = [](const std::optional<float>& v) { return v ? Cell(*v) : Cell(); };
  for (const SubgroupChange& s : c.subgroups) {
    const bool comparable = Comparable(s);
    cells[0] = static_cast<long long>(s.row);
    cells[1] = std::string_view(s.subgroup);
    cells[2] = number(s.exposureA);
    cells[3] = number(s.exposureB);
    cells[4] = number(Narrow(Change(s.exposureA, s.exposureB)));
    cells[5] = number(Narrow(RelativeChange(s.exposureA, s.exposureB)));
    cells[6] = std::string_view(FigureName(s.figureA));
    cells[7] = number(s.valueA);
    cells[8] = std::string_view(FigureName(s.figureB));
    cells[9] = number(s.valueB);
    cells[10] = comparable ? number(Narrow(Change(s.valueA, s.valueB))) : Cell();
    cells[11] = comparable ? number(Narrow(RelativeChange(s.valueA, s.valueB))) : Cell();
    cells[12] = std::string_view(CrossingText(s.crossing));
    table->Row(cells, s.crossing != Crossing::None);
  }
  return table->Commit(error);
}

}  // namespace ormid
