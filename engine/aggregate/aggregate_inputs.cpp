#include "aggregate/aggregate_inputs.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/names.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "residue_table/table_text.h"

namespace ormid {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDurationNames[] = {"chronic", "short-term", "intermediate-term", "cancer"};
constexpr const char* kDurationTitles[] = {"Chronic", "Short-term", "Intermediate-term", "Cancer"};
constexpr const char* kRouteNames[] = {"oral", "dermal", "inhalation"};

// The range of a point of departure, a level of concern, a potency and an
// exposure: within it no product or quotient of the figures leaves the
// range of a double.
constexpr double kLeast = 1e-30, kMost = 1e30;

// A table of named columns, its problems named by line.
class NamedTable {
 public:
  NamedTable(const std::string& shownName, const char* const* names, std::size_t count,
             const bool* required, std::vector<std::string>& problems)
      : name_(shownName),
        names_(names, names + count),
        required_(required, required + count),
        at_(count, -1),
        problems_(problems) {}

  void Problem(int line, const std::string& text) {
    problems_.push_back(line > 0 ? name_ + ":" + std::to_string(line) + ": " + text
                                 : name_ + ": " + text);
  }

  // The file read whole, its size checked; false after the problem.
  bool Read(std::string_view bytes, CsvTable& table) {
    if (bytes.size() > kMaxAggregateFileBytes) {
      Problem(0, "is larger than " + std::to_string(kMaxAggregateFileBytes >> 20) +
                     " MB; a file of a few hundred rows is a few KB");
      return false;
    }
    TableProblem split;
    if (!ReadCsvTable(bytes, table, split)) {
      Problem(split.line, split.text);
      return false;
    }
    if (table.records.empty()) {
      Problem(1, "the file is empty; its first row names the columns");
      return false;
    }
    separator_ = table.separator;
    return Columns(table.records[0]);
  }

  std::string Cell(const TableRecord& r, std::size_t c) const {
    const int at = at_[c];
    return at >= 0 && static_cast<std::size_t>(at) < r.cells.size()
               ? TrimCell(r.cells[static_cast<std::size_t>(at)])
               : std::string();
  }
  bool Has(std::size_t c) const { return at_[c] >= 0; }

  // A number of the range a run can use; `zero` allows 0. nullopt (after
  // its problem) otherwise, or when empty and not required.
  std::optional<double> Number(const TableRecord& r, std::size_t c, bool required, bool zero,
                               bool& ok) {
    const std::string text = Cell(r, c);
    double value = 0;
    const TableNumber read = ReadTableNumber(text, separator_, value);
    auto refuse = [&](const std::string& why) {
      Problem(r.line, names_[c] + " " + QuotedText(text) + " " + why);
      ok = false;
      return std::nullopt;
    };
    switch (read) {
      case TableNumber::Empty:
        if (required) {
          Problem(r.line, names_[c] + " is empty");
          ok = false;
        }
        return std::nullopt;
      case TableNumber::NotFinite:
        return refuse("is not a finite number");
      case TableNumber::NotNumber:
        return refuse("is not a number");
      case TableNumber::Number:
        break;
    }
    if (zero && value == 0) return 0.0;
    if (!(value > 0)) return refuse(zero ? "is below 0" : "is not above 0");
    if (value < kLeast || value > kMost)
      return refuse("is outside the range a run can use (1E-30 to 1E+30)");
    return value;
  }

  std::optional<Duration> DurationCell(const TableRecord& r, std::size_t c, bool& ok) {
    const std::string text = Cell(r, c);
    if (auto d = DurationFromName(text)) return d;
    Problem(r.line, text.empty() ? names_[c] + " is empty"
                                 : "duration " + QuotedText(text) +
                                       " is not chronic, short-term, intermediate-term or cancer");
    ok = false;
    return std::nullopt;
  }
  std::optional<Route> RouteCell(const TableRecord& r, std::size_t c, bool& ok) {
    const std::string text = Cell(r, c);
    if (auto route = RouteFromName(text)) return route;
    Problem(r.line, text.empty()
                        ? names_[c] + " is empty"
                        : "route " + QuotedText(text) + " is not oral, dermal or inhalation");
    ok = false;
    return std::nullopt;
  }

  static bool Blank(const TableRecord& r) {
    return std::all_of(r.cells.begin(), r.cells.end(),
                       [](const std::string& c) { return TrimCell(c).empty(); });
  }

 private:
  // The header row: every column known, none twice, the required there.
  bool Columns(const TableRecord& header) {
    bool ok = true;
    for (std::size_t c = 0; c < header.cells.size(); ++c) {
      const std::string name = ToLower(TrimCell(header.cells[c]));
      if (name.empty()) continue;
      const auto known = std::find(names_.begin(), names_.end(), name);
      if (known == names_.end()) {
        Problem(header.line, "unknown column " + QuotedText(TrimCell(header.cells[c])));
        ok = false;
        continue;
      }
      const auto k = static_cast<std::size_t>(known - names_.begin());
      if (at_[k] >= 0) {
        Problem(header.line, "the column " + name + " is there twice");
        ok = false;
        continue;
      }
      at_[k] = static_cast<int>(c);
    }
    for (std::size_t k = 0; k < names_.size(); ++k)
      if (required_[k] && at_[k] < 0) {
        Problem(header.line, "the column " + names_[k] + " is missing");
        ok = false;
      }
    return ok;
  }

  const std::string& name_;
  std::vector<std::string> names_;
  std::vector<bool> required_;
  std::vector<int> at_;
  std::vector<std::string>& problems_;
  char separator_ = ',';
};

// A file of a few KB read whole; false after the problem.
bool ReadSmallFile(const std::string& path, NamedTable& t, std::string& bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    t.Problem(0, fs::exists(path, ec) ? "is not a file" : "cannot be read");
    return false;
  }
  if (fs::file_size(path, ec) > kMaxAggregateFileBytes) {
    t.Problem(0, "is larger than " + std::to_string(kMaxAggregateFileBytes >> 20) +
                     " MB; a file of a few hundred rows is a few KB");
    return false;
  }
  auto read = ReadWholeFile(path);
  if (!read) {
    t.Problem(0, "cannot be read");
    return false;
  }
  bytes = std::move(*read);
  return true;
}

enum ToxColumn { kDuration, kRoute, kPod, kLoc, kAbsorption, kQStar, kToxCount };
constexpr bool kToxRequired[kToxCount] = {true, true, true, true, false, false};

enum ResColumn { kScenario, kResRoute, kResDuration, kSubgroup, kExposure, kResCount };
constexpr bool kResRequired[kResCount] = {true, true, true, true, true};

// The report row a subgroup cell names: a row number, a name as the
// installation gives it, or "all" (0); nullopt when none.
std::optional<int> SubgroupRow(const ModOrmid& m, const std::string& text) {
  if (SameName(text, "all")) return 0;
  if (!text.empty() && text.size() < 6 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    const int row = std::stoi(text);
    if (row >= 1 && row <= m.gPopCount) return row;
    return std::nullopt;
  }
  for (int k = 1; k <= m.gPopCount && static_cast<std::size_t>(k) < m.gPopNames2.size(); ++k)
    if (SameName(TrimCell(m.gPopNames2[static_cast<std::size_t>(k)]), text)) return k;
  return std::nullopt;
}

}  // namespace

const char* DurationName(Duration d) {
  return kDurationNames[Index(d)];
}
const char* DurationTitle(Duration d) {
  return kDurationTitles[Index(d)];
}
std::optional<Duration> DurationFromName(std::string_view name) {
  for (Duration d : kDurations)
    if (SameName(name, DurationName(d))) return d;
  return std::nullopt;
}
const char* RouteName(Route r) {
  return kRouteNames[Index(r)];
}
std::optional<Route> RouteFromName(std::string_view name) {
  for (Route r : kRoutes)
    if (SameName(name, RouteName(r))) return r;
  return std::nullopt;
}

const ToxRow* ToxTable::Find(Duration d, Route r) const {
  for (const ToxRow& row : rows)
    if (row.duration == d && row.route == r) return &row;
  return nullptr;
}

bool ToxTable::SameLoc(Duration d) const {
  std::optional<double> loc;
  for (const ToxRow& row : rows) {
    if (row.duration != d) continue;
    if (loc && *loc != row.loc) return false;
    loc = row.loc;
  }
  return true;
}

bool ReadToxTable(const std::string& path, const std::string& shownName, ToxTable& tox,
                  std::vector<std::string>& problems) {
  tox = ToxTable();
  tox.path = path;
  NamedTable t(shownName, kToxColumns, kToxCount, kToxRequired, problems);
  std::string bytes;
  if (!ReadSmallFile(path, t, bytes)) return false;
  return ReadToxText(bytes, path, shownName, tox, problems);
}

bool ReadToxText(std::string_view bytes, const std::string& path, const std::string& shownName,
                 ToxTable& tox, std::vector<std::string>& problems) {
  tox = ToxTable();
  tox.path = path;
  const std::size_t before = problems.size();
  NamedTable t(shownName, kToxColumns, kToxCount, kToxRequired, problems);
  CsvTable table;
  if (!t.Read(bytes, table)) return false;
  std::map<std::pair<Duration, Route>, int> seen;
  std::map<Duration, int> firstLine;
  for (std::size_t i = 1; i < table.records.size(); ++i) {
    const TableRecord& r = table.records[i];
    if (NamedTable::Blank(r)) continue;
    bool ok = true;
    ToxRow row;
    row.line = r.line;
    const auto duration = t.DurationCell(r, kDuration, ok);
    const auto route = t.RouteCell(r, kRoute, ok);
    if (duration && route) {
      row.duration = *duration;
      row.route = *route;
      firstLine.emplace(*duration, r.line);
      if (auto [it, added] = seen.emplace(std::pair{*duration, *route}, r.line); !added) {
        t.Problem(r.line, std::string("the ") + DurationName(*duration) + " " + RouteName(*route) +
                              " row is already on line " + std::to_string(it->second));
        ok = false;
      }
    }
    const bool cancer = duration == Duration::Cancer;
    if (cancer) {
      // A lifetime risk is Q* times the dose: a cancer row has no margin.
      for (std::size_t c : {std::size_t{kPod}, std::size_t{kLoc}})
        if (!t.Cell(r, c).empty()) {
          t.Problem(r.line, std::string("a cancer row takes no ") + kToxColumns[c] +
                                ": its risk is q_star times the dose");
          ok = false;
        }
      if (route == Route::Oral) {
        if (!t.Has(kQStar)) {
          t.Problem(r.line, "the oral cancer row needs q_star, and the file has no such column");
          ok = false;
        } else {
          row.qStar = t.Number(r, kQStar, true, false, ok).value_or(0);
        }
      } else if (!t.Cell(r, kQStar).empty()) {
        t.Problem(r.line,
                  "q_star belongs on the oral cancer row; a dermal or inhalation dose is "
                  "converted by its absorption_percent");
        ok = false;
      }
    } else if (duration) {
      row.pod = t.Number(r, kPod, true, false, ok).value_or(0);
      row.loc = t.Number(r, kLoc, true, false, ok).value_or(0);
      if (!t.Cell(r, kQStar).empty()) {
        t.Problem(r.line, "q_star belongs on the oral cancer row only");
        ok = false;
      }
    }
    if (!t.Cell(r, kAbsorption).empty()) {
      const auto a = t.Number(r, kAbsorption, false, false, ok);
      if (a && *a > 100) {
        t.Problem(r.line,
                  "absorption_percent " + QuotedText(t.Cell(r, kAbsorption)) + " is above 100");
        ok = false;
      } else if (a && route == Route::Oral && *a != 100) {
        t.Problem(r.line, "an oral row takes no absorption_percent other than 100");
        ok = false;
      } else if (a) {
        row.absorptionPercent = *a;
        row.absorptionGiven = true;
      }
    }
    if (ok) tox.rows.push_back(row);
  }
  const int headerLine = table.records[0].line;
  if (problems.size() == before && tox.rows.empty())
    t.Problem(headerLine, "the file has no rows below its header row");
  // Food and drinking water are oral: every duration assessed needs its
  // oral row.
  for (const auto& [duration, line] : firstLine)
    if (!seen.count({duration, Route::Oral}))
      t.Problem(line, std::string(DurationName(duration)) +
                          " has no oral row; food and drinking water are oral");
  return problems.size() == before;
}

bool ReadResidentialTable(const ModOrmid& m, const ToxTable& tox, const std::string& path,
                          const std::string& shownName, ResidentialTable& res,
                          std::vector<std::string>& problems) {
  res = ResidentialTable();
  res.path = path;
  NamedTable t(shownName, kResidentialColumns, kResCount, kResRequired, problems);
  std::string bytes;
  if (!ReadSmallFile(path, t, bytes)) return false;
  return ReadResidentialText(m, tox, bytes, path, shownName, res, problems);
}

bool ReadResidentialText(const ModOrmid& m, const ToxTable& tox, std::string_view bytes,
                         const std::string& path, const std::string& shownName,
                         ResidentialTable& res, std::vector<std::string>& problems) {
  res = ResidentialTable();
  res.path = path;
  const std::size_t before = problems.size();
  NamedTable t(shownName, kResidentialColumns, kResCount, kResRequired, problems);
  CsvTable table;
  if (!t.Read(bytes, table)) return false;
  std::map<std::tuple<std::string, Route, Duration, int>, int> seen;
  for (std::size_t i = 1; i < table.records.size(); ++i) {
    const TableRecord& r = table.records[i];
    if (NamedTable::Blank(r)) continue;
    bool ok = true;
    ResidentialRow row;
    row.line = r.line;
    row.scenario = t.Cell(r, kScenario);
    if (row.scenario.empty()) {
      t.Problem(r.line, "the scenario is empty");
      ok = false;
    } else if (!IsValidUtf8(row.scenario) || HoldsControlCharacter(row.scenario)) {
      t.Problem(r.line, "the scenario " + QuotedText(row.scenario) + " holds a control character");
      ok = false;
    }
    const auto route = t.RouteCell(r, kResRoute, ok);
    const auto duration = t.DurationCell(r, kResDuration, ok);
    const std::string subgroup = t.Cell(r, kSubgroup);
    const auto subgroupRow = SubgroupRow(m, subgroup);
    if (subgroup.empty()) {
      t.Problem(r.line, "the subgroup is empty");
      ok = false;
    } else if (!subgroupRow) {
      t.Problem(r.line, "subgroup " + QuotedText(subgroup) +
                            " is not a subgroup of the installation (a report row from 1 to " +
                            std::to_string(m.gPopCount) + ", a subgroup's name, or all)");
      ok = false;
    }
    const auto exposure = t.Number(r, kExposure, true, true, ok);
    if (route && duration) {
      row.route = *route;
      row.duration = *duration;
      if (!tox.Has(*duration)) {
        t.Problem(r.line, std::string("the toxicology file has no oral row for ") +
                              DurationName(*duration));
        ok = false;
      } else if (exposure && *exposure > 0 && !tox.Find(*duration, *route)) {
        t.Problem(r.line, std::string("the toxicology file has no ") + DurationName(*duration) +
                              " " + RouteName(*route) + " row for this exposure");
        ok = false;
      }
      if (!row.scenario.empty() && subgroupRow) {
        const auto key = std::tuple{FoldedName(row.scenario), *route, *duration, *subgroupRow};
        if (auto [it, added] = seen.emplace(key, r.line); !added) {
          t.Problem(r.line, "scenario " + QuotedText(row.scenario) + ", " + RouteName(*route) +
                                ", " + DurationName(*duration) +
                                " and this subgroup are "
                                "already on line " +
                                std::to_string(it->second));
          ok = false;
        }
      }
    }
    if (!ok) continue;
    row.row = *subgroupRow;
    row.exposure = *exposure;
    // A scenario is named as first written.
    const auto known =
        std::find_if(res.scenarios.begin(), res.scenarios.end(),
                     [&](const std::string& s) { return SameName(s, row.scenario); });
    if (known == res.scenarios.end())
      res.scenarios.push_back(row.scenario);
    else
      row.scenario = *known;
    res.rows.push_back(std::move(row));
  }
  if (problems.size() == before && res.rows.empty())
    t.Problem(table.records[0].line, "the file has no rows below its header row");
  return problems.size() == before;
}

}  // namespace ormid
