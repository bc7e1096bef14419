#include "cumulative/assessment_group.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <map>

#include "core/float_text.h"
#include "core/names.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "residue_table/table_text.h"

namespace ormid {

namespace {

namespace fs = std::filesystem;

// The range of a point of departure, an uncertainty factor, a relative
// potency and the cPAD. Within it, no product, quotient or sum of the
// group's figures with any single-precision exposure leaves the range of a
// double, nor comes so near 0 that it reads as none.
constexpr double kLeast = 1e-30, kMost = 1e30;

bool InRange(double value) {
  return value >= kLeast && value <= kMost;
}

const std::string kUsable = " a run can use (1E-30 to 1E+30)";

std::string Outside(const char* column, double value) {
  return std::string(column) + " " + ShortestText(value) + " is outside the range" + kUsable;
}

// An uncertainty factor outside the range, named as the file gives it: by
// its column, or as the product of its three factors.
std::string UncertaintyOutside(const GroupChemical& g) {
  const double uf = g.uncertaintyFactor.value_or(1.0);
  if (!g.uncertaintyFromFactors) return Outside("uncertainty_factor", uf);
  return "the uncertainty factor interspecies_factor x intraspecies_factor x fqpa_factor, " +
         ShortestText(uf) + ", is outside the range" + kUsable;
}

enum Column {
  kChemical,
  kResidueFile,
  kPod,
  kUncertaintyFactor,
  kIndex,
  kRpf,
  kInterspecies,
  kIntraspecies,
  kFqpa,
  kPodSource,
  kColumns
};
constexpr bool kRequired[kColumns] = {true,  true,  true,  false, true,
                                      false, false, false, false, false};
static_assert(std::size(kGroupColumns) == kColumns);
constexpr Column kFactors[] = {kInterspecies, kIntraspecies, kFqpa};

// "a", "a and b", "a, b and c".
std::string Listed(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i)
    out += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
  return out;
}

class GroupReader {
 public:
  GroupReader(const std::string& shownName, std::vector<std::string>& problems)
      : name_(shownName), problems_(problems) {}

  void Problem(int line, const std::string& text) {
    problems_.push_back(line > 0 ? name_ + ":" + std::to_string(line) + ": " + text
                                 : name_ + ": " + text);
  }

  // The header row: every column known, none twice, the required there.
  bool Columns(const TableRecord& header) {
    std::fill(std::begin(at_), std::end(at_), -1);
    bool ok = true;
    for (std::size_t c = 0; c < header.cells.size(); ++c) {
      const std::string name = ToLower(TrimCell(header.cells[c]));
      if (name.empty()) continue;
      const auto* known = std::find_if(std::begin(kGroupColumns), std::end(kGroupColumns),
                                       [&](const char* k) { return name == k; });
      if (known == std::end(kGroupColumns)) {
        Problem(header.line, "unknown column " + QuotedText(TrimCell(header.cells[c])));
        ok = false;
        continue;
      }
      const auto k = static_cast<std::size_t>(known - std::begin(kGroupColumns));
      if (at_[k] >= 0) {
        Problem(header.line, "the column " + name + " is there twice");
        ok = false;
        continue;
      }
      at_[k] = static_cast<int>(c);
    }
    for (std::size_t k = 0; k < kColumns; ++k)
      if (kRequired[k] && at_[k] < 0) {
        Problem(header.line, std::string("the column ") + kGroupColumns[k] + " is missing");
        ok = false;
      }
    return ok;
  }

  std::string Cell(const TableRecord& r, Column c) const {
    const int at = at_[c];
    return at >= 0 && static_cast<std::size_t>(at) < r.cells.size()
               ? TrimCell(r.cells[static_cast<std::size_t>(at)])
               : std::string();
  }

  // A number above 0 and finite; nullopt (after its problem) otherwise, or
  // when empty and not required.
  std::optional<double> Number(const TableRecord& r, Column c, bool required, bool& ok) {
    const std::string text = Cell(r, c);
    if (text.empty()) {
      if (required) {
        Problem(r.line, std::string(kGroupColumns[c]) + " is empty");
        ok = false;
      }
      return std::nullopt;
    }
    double value = 0;
    const TableNumber read = ReadTableNumber(text, separator_, value);
    if (read == TableNumber::NotFinite) {
      Problem(r.line, std::string(kGroupColumns[c]) + " " + QuotedText(Cell(r, c)) +
                          " is not a finite number");
      ok = false;
      return std::nullopt;
    }
    if (read != TableNumber::Number) {
      Problem(r.line,
              std::string(kGroupColumns[c]) + " " + QuotedText(Cell(r, c)) + " is not a number");
      ok = false;
      return std::nullopt;
    }
    if (!(value > 0)) {
      Problem(r.line,
              std::string(kGroupColumns[c]) + " " + QuotedText(Cell(r, c)) + " is not above 0");
      ok = false;
      return std::nullopt;
    }
    return value;
  }

  // The three factors of the uncertainty factor: all or none given, each a
  // number above 0. Their product is the uncertainty factor where the file
  // gives none, and must be the one it gives, exactly. Whether the row has
  // an uncertainty factor (given, or the product) or a problem about it.
  bool Factors(const TableRecord& r, GroupChemical& g, bool& ok) {
    std::vector<std::string> given, missing;
    for (Column c : kFactors) (Cell(r, c).empty() ? missing : given).push_back(kGroupColumns[c]);
    const bool ufCell = !Cell(r, kUncertaintyFactor).empty();
    if (given.empty()) return ufCell;
    bool factorsOk = true;
    g.interspeciesFactor = Number(r, kInterspecies, false, factorsOk);
    g.intraspeciesFactor = Number(r, kIntraspecies, false, factorsOk);
    g.fqpaFactor = Number(r, kFqpa, false, factorsOk);
    if (!missing.empty()) {
      Problem(r.line, Listed(given) + (given.size() == 1 ? " is" : " are") + " given without " +
                          Listed(missing) +
                          "; the uncertainty factor is named by all three factors or by none");
      factorsOk = false;
    }
    if (!factorsOk) {
      g.interspeciesFactor.reset();
      g.intraspeciesFactor.reset();
      g.fqpaFactor.reset();
      ok = false;
      return true;  // its problem is told
    }
    // In this order, as the report names them.
    const double product = *g.interspeciesFactor * *g.intraspeciesFactor * *g.fqpaFactor;
    if (!ufCell) {
      g.uncertaintyFactor = product;
      g.uncertaintyFromFactors = true;
      return true;
    }
    if (g.uncertaintyFactor && *g.uncertaintyFactor != product) {
      Problem(r.line, "uncertainty_factor " + QuotedText(Cell(r, kUncertaintyFactor)) +
                          " is not interspecies_factor x intraspecies_factor x fqpa_factor (" +
                          ShortestText(*g.interspeciesFactor) + " x " +
                          ShortestText(*g.intraspeciesFactor) + " x " +
                          ShortestText(*g.fqpaFactor) + " = " + ShortestText(product) + ")");
      ok = false;
    }
    return true;
  }

  void Rows(const CsvTable& table, const fs::path& folder, AssessmentGroup& group) {
    separator_ = table.separator;
    std::map<std::string, int> seen;  // chemical (as FoldedName) -> line
    int indexLine = 0;
    for (std::size_t i = 1; i < table.records.size(); ++i) {
      const TableRecord& r = table.records[i];
      if (std::all_of(r.cells.begin(), r.cells.end(),
                      [](const std::string& c) { return TrimCell(c).empty(); }))
        continue;
      GroupChemical g;
      g.line = r.line;
      bool ok = true;
      g.chemical = Cell(r, kChemical);
      if (g.chemical.empty()) {
        Problem(r.line, "the chemical is empty");
        ok = false;
      } else if (!IsValidUtf8(g.chemical) || HoldsControlCharacter(g.chemical)) {
        Problem(r.line, "the chemical " + QuotedText(g.chemical) + " holds a control character");
        ok = false;
      } else if (auto [it, added] = seen.emplace(FoldedName(g.chemical), r.line); !added) {
        Problem(r.line, "the chemical " + QuotedText(g.chemical) +
                            " is listed twice (first on line " + std::to_string(it->second) + ")");
        ok = false;
      }
      g.residueFile = Cell(r, kResidueFile);
      if (g.residueFile.empty()) {
        Problem(r.line, "residue_file is empty");
        ok = false;
      } else if (HoldsControlCharacter(g.residueFile)) {
        // A NUL would end the name where the system reads it.
        Problem(r.line, "the residue file name " + QuotedText(g.residueFile) +
                            " holds a control character");
        ok = false;
      } else {
        const fs::path given(g.residueFile);
        g.residuePath = (given.is_absolute() ? given : folder / given).lexically_normal().string();
      }
      const auto pod = Number(r, kPod, true, ok);
      g.pod = pod.value_or(0);
      g.podSource = Cell(r, kPodSource);
      if (!IsValidUtf8(g.podSource) || HoldsControlCharacter(g.podSource)) {
        Problem(r.line, "the pod_source " + QuotedText(g.podSource) + " holds a control character");
        ok = false;
      }
      g.uncertaintyFactor = Number(r, kUncertaintyFactor, false, ok);
      g.rpfGiven = Number(r, kRpf, false, ok);
      const bool ufKnown = Factors(r, g, ok);
      const std::string index = ToLower(Cell(r, kIndex));
      if (index == "yes") {
        g.index = true;
        // The group's figures are in equivalents of the index chemical.
        if (g.rpfGiven && *g.rpfGiven != 1) {
          Problem(r.line, "the index chemical's rpf " + QuotedText(Cell(r, kRpf)) + " is not 1");
          ok = false;
        }
        if (indexLine != 0) {
          Problem(r.line, "a second index chemical (the first is on line " +
                              std::to_string(indexLine) + ")");
          ok = false;
        } else {
          indexLine = r.line;
          group.index = group.chemicals.size();
          if (!ufKnown) {
            Problem(r.line, "the index chemical has no uncertainty_factor");
            ok = false;
          }
        }
      } else if (!index.empty()) {
        Problem(r.line, "index " + QuotedText(Cell(r, kIndex)) + " is neither yes nor empty");
        ok = false;
      }
      group.chemicals.push_back(std::move(g));
    }
    const int headerLine = table.records.empty() ? 1 : table.records[0].line;
    if (group.chemicals.empty()) {
      Problem(headerLine, "the group has no chemicals below its header row");
    } else if (indexLine == 0) {
      Problem(headerLine, "no chemical is the index chemical (index yes)");
    }
  }

 private:
  const std::string& name_;
  std::vector<std::string>& problems_;
  int at_[kColumns];
  char separator_ = ',';
};

}  // namespace

bool AssessmentGroup::AllUncertaintyFactors() const {
  return std::all_of(chemicals.begin(), chemicals.end(),
                     [](const GroupChemical& g) { return g.uncertaintyFactor.has_value(); });
}

bool ReadAssessmentGroup(const std::string& path, const std::string& shownName,
                         AssessmentGroup& group, std::vector<std::string>& problems) {
  group = AssessmentGroup();
  group.path = path;
  GroupReader reader(shownName, problems);
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    reader.Problem(0, fs::exists(path, ec) ? "is not a file" : "cannot be read");
    return false;
  }
  if (fs::file_size(path, ec) > kMaxGroupFileBytes) {
    reader.Problem(0, "is larger than " + std::to_string(kMaxGroupFileBytes >> 20) +
                          " MB; a group file of a few hundred chemicals is a few KB");
    return false;
  }
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    reader.Problem(0, "cannot be read");
    return false;
  }
  return ReadAssessmentGroupText(*bytes, fs::absolute(fs::path(path), ec).parent_path().string(),
                                 path, shownName, group, problems);
}

bool ReadAssessmentGroupText(std::string_view bytes, const std::string& folder,
                             const std::string& path, const std::string& shownName,
                             AssessmentGroup& group, std::vector<std::string>& problems) {
  group = AssessmentGroup();
  group.path = path;
  GroupReader reader(shownName, problems);
  const std::size_t before = problems.size();
  if (bytes.size() > kMaxGroupFileBytes) {
    reader.Problem(0, "is larger than " + std::to_string(kMaxGroupFileBytes >> 20) +
                          " MB; a group file of a few hundred chemicals is a few KB");
    return false;
  }
  CsvTable table;
  TableProblem split;
  if (!ReadCsvTable(bytes, table, split)) {
    reader.Problem(split.line, split.text);
    return false;
  }
  if (table.records.empty()) {
    reader.Problem(1, "the group file is empty; its first row names the columns");
    return false;
  }
  if (!reader.Columns(table.records[0])) return false;
  reader.Rows(table, fs::path(folder), group);
  if (problems.size() != before) return false;
  // Each row's figures within the range a run can use; a row gets the first
  // problem of its own (the index chemical's after the others').
  const double indexPod = group.chemicals[group.index].pod;
  for (GroupChemical& g : group.chemicals) {
    g.rpf = g.rpfGiven.value_or(indexPod / g.pod);
    if (g.index) continue;
    std::string problem;
    if (g.rpfGiven && !InRange(*g.rpfGiven))
      problem = Outside(kGroupColumns[kRpf], *g.rpfGiven);
    else if (!InRange(g.rpf))  // points of departure far apart
      problem = "the relative potency pod(index) / pod is beyond the range of a number" + kUsable;
    else if (!InRange(g.pod))
      problem = Outside(kGroupColumns[kPod], g.pod);
    else if (g.uncertaintyFactor && !InRange(*g.uncertaintyFactor))
      problem = UncertaintyOutside(g);
    if (!problem.empty()) reader.Problem(g.line, problem);
  }
  const GroupChemical& index = group.chemicals[group.index];
  std::string problem;
  if (!InRange(group.Cpad()))
    problem =
        "the index chemical's PAD (pod / uncertainty_factor) is beyond the range of a number" +
        kUsable;
  else if (!InRange(index.pod))
    problem = Outside(kGroupColumns[kPod], index.pod);
  else if (!InRange(index.uncertaintyFactor.value_or(1.0)))
    problem = UncertaintyOutside(index);
  if (!problem.empty()) reader.Problem(index.line, problem);
  return problems.size() == before;
}

}  // namespace ormid
