#include "batch/scenario_file.h"

#include <csv.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/names.h"
#include "core/paths.h"
#include "core/record_file.h"

namespace ormid {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kRequiredColumns = 3;

// The records of a CSV text, each with the line it starts on.
struct CsvRecords {
  std::vector<std::vector<std::string>> rows;
  std::vector<int> lines;
  std::vector<std::string> fields;
  int line = 1;      // line being fed to the parser
  int rowStart = 0;  // line of the current record's first field; 0 = none yet

  static void Field(void* s, std::size_t len, void* data) {
    auto* r = static_cast<CsvRecords*>(data);
    if (r->rowStart == 0) r->rowStart = r->line;
    r->fields.emplace_back(static_cast<const char*>(s), len);
  }
  static void End(int, void* data) {
    auto* r = static_cast<CsvRecords*>(data);
    r->rows.push_back(std::move(r->fields));
    r->lines.push_back(r->rowStart != 0 ? r->rowStart : r->line);
    r->fields.clear();
    r->rowStart = 0;
  }
};

bool ParseCsv(const std::string& text, CsvRecords& records, std::string& error) {
  csv_parser parser;
  if (csv_init(&parser, CSV_APPEND_NULL) != 0) {
    error = "the CSV reader could not start";
    return false;
  }
  // Fed line by line, so that each record knows the line it starts on.
  std::size_t start = 0;
  bool ok = true;
  while (ok && start < text.size()) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    ok = csv_parse(&parser, text.data() + start, end - start, CsvRecords::Field, CsvRecords::End,
                   &records) == end - start;
    start = end;
    ++records.line;
  }
  if (ok) ok = csv_fini(&parser, CsvRecords::Field, CsvRecords::End, &records) == 0;
  if (!ok) error = csv_strerror(csv_error(&parser));
  csv_free(&parser);
  return ok;
}

// The row's value of a yes/no column; nullopt when it is neither.
std::optional<bool> YesNo(const std::string& text) {
  const std::string v = ToLower(text);
  if (v.empty() || v == "no" || v == "n" || v == "0" || v == "false") return false;
  if (v == "yes" || v == "y" || v == "1" || v == "true") return true;
  return std::nullopt;
}

// Splits a cell at semicolons, commas, plus signs and blanks.
std::vector<std::string> Items(const std::string& text, const char* separators) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of(separators, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) items.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

// The options of one row; a value no option takes goes to row.problem.
void BuildArguments(const std::map<std::string, std::string>& cells, const fs::path& folder,
                    ScenarioRow& row) {
  auto cell = [&](const char* name) -> std::string {
    auto it = cells.find(name);
    return it == cells.end() ? std::string() : it->second;
  };
  auto problem = [&](const std::string& text) {
    if (row.problem.empty()) row.problem = text;
  };
  // An aggregate assessment of the residue file takes its own files and
  // values, the second adjustment factor and the subgroups; the endpoints
  // are its toxicology file's.
  if (row.command == "aggregate") {
    std::string filled;
    for (const char* name :
         {"noel", "rfd", "qstar", "pad", "comment", "reports", "food_pct", "crop_pct"})
      if (!cell(name).empty()) filled += (filled.empty() ? "" : ", ") + std::string(name);
    if (!filled.empty())
      problem(filled + (filled.find(',') == std::string::npos ? " does" : " do") +
              " not apply to an aggregate scenario: leave " +
              (filled.find(',') == std::string::npos ? "it" : "them") + " empty");
    if (cell("tox_file").empty()) problem("the row names no toxicology file");
    if (auto adj2 = YesNo(cell("adj2")); !adj2)
      problem("adj2 takes yes or no, not \"" + cell("adj2") + "\"");
    else if (*adj2)
      row.arguments.push_back("--adj2");
    // Files are taken relative to the scenario file's folder.
    for (const auto& [column, option] :
         {std::pair{"tox_file", "--tox="}, std::pair{"residential_file", "--residential="}})
      if (const std::string v = cell(column); !v.empty())
        row.arguments.push_back(option + (folder / fs::path(v)).lexically_normal().string());
    for (const std::string& item : Items(cell("water_ppb"), "; "))
      row.arguments.push_back("--water-ppb=" + item);
    if (const std::string v = cell("water_foods"); !v.empty()) {
      std::string codes;
      for (const std::string& code : Items(v, ";, ")) codes += (codes.empty() ? "" : ",") + code;
      row.arguments.push_back("--water-foods=" + codes);
    }
    for (const auto& [column, option] :
         {std::pair{"scenario", "--scenario="}, std::pair{"durations", "--durations="},
          std::pair{"subgroups", "--subgroups="}, std::pair{"cancer_limit", "--cancer-limit="}})
      if (const std::string v = cell(column); !v.empty()) {
        std::string value = v;
        if (std::string(column) == "durations") {
          value.clear();
          for (const std::string& d : Items(v, ";, ")) value += (value.empty() ? "" : ",") + d;
        }
        row.arguments.push_back(option + value);
      }
    return;
  }
  // The aggregate's columns are for aggregate scenarios only.
  for (const char* name : {"tox_file", "residential_file", "water_ppb", "water_foods", "scenario",
                           "durations", "cancer_limit"})
    if (!cell(name).empty())
      problem(std::string(name) + " applies to an aggregate scenario only: leave it empty");
  // A cumulative assessment is judged against the group file's index
  // chemical and has no run comment: of the settings it takes only the
  // second adjustment factor and the subgroups.
  if (row.command == "cumulative") {
    std::string filled;
    for (const char* name :
         {"noel", "rfd", "qstar", "pad", "comment", "reports", "food_pct", "crop_pct"})
      if (!cell(name).empty()) filled += (filled.empty() ? "" : ", ") + std::string(name);
    if (!filled.empty())
      problem(filled + (filled.find(',') == std::string::npos ? " does" : " do") +
              " not apply to a cumulative scenario: leave " +
              (filled.find(',') == std::string::npos ? "it" : "them") + " empty");
    if (auto adj2 = YesNo(cell("adj2")); !adj2)
      problem("adj2 takes yes or no, not \"" + cell("adj2") + "\"");
    else if (*adj2)
      row.arguments.push_back("--adj2");
    if (const std::string v = cell("subgroups"); !v.empty())
      row.arguments.push_back("--subgroups=" + v);
    return;
  }
  // An endpoint: empty leaves it unchecked, "file" checks it with the
  // residue file's value, anything else is typed into its box.
  for (const char* endpoint : {"noel", "rfd", "qstar"}) {
    const std::string v = cell(endpoint);
    if (v.empty()) continue;
    if (ToLower(v) == "file")
      row.arguments.push_back(std::string("--") + endpoint);
    else
      row.arguments.push_back(std::string("--") + endpoint + "=" + v);
  }
  if (const std::string pad = cell("pad"); !pad.empty()) {
    row.arguments.push_back("--pad");
    if (ToLower(pad) != "yes")
      for (const std::string& item : Items(pad, "; "))
        row.arguments.push_back("--pad-value=" + item);
  }
  if (auto adj2 = YesNo(cell("adj2")); !adj2)
    problem("adj2 takes yes or no, not \"" + cell("adj2") + "\"");
  else if (*adj2)
    row.arguments.push_back("--adj2");
  if (const std::string comment = cell("comment"); !comment.empty())
    row.arguments.push_back("--comment=" + comment);
  for (const std::string& kind : Items(ToLower(cell("reports")), "+;, ")) {
    if (kind == "complete" || kind == "critical")
      row.arguments.push_back("--" + kind);
    else if (kind == "both") {
      row.arguments.push_back("--complete");
      row.arguments.push_back("--critical");
    } else
      problem("reports takes complete, critical or both, not \"" + kind + "\"");
  }
  if (const std::string v = cell("subgroups"); !v.empty())
    row.arguments.push_back("--subgroups=" + v);
  if (const std::string v = cell("food_pct"); !v.empty())
    row.arguments.push_back("--food-pct=" + v);
  if (const std::string v = cell("crop_pct"); !v.empty())
    row.arguments.push_back("--crop-pct=" + v);
  if (row.command != "longterm" && row.command != "commodity")
    problem("command takes longterm, commodity, cumulative or aggregate, not \"" + row.command +
            "\"");
}

}  // namespace

const std::vector<std::string>& ScenarioColumns() {
  static const std::vector<std::string> columns = {
      "id",
      "residue_file",
      "command",
      "noel",
      "rfd",
      "qstar",
      "pad",
      "adj2",
      "comment",
      "reports",
      "subgroups",
      "food_pct",
      "crop_pct",
      // An aggregate scenario's (docs/batch.md).
      "tox_file",
      "residential_file",
      "water_ppb",
      "water_foods",
      "scenario",
      "durations",
      "cancer_limit",
  };
  return columns;
}

bool UsableScenarioId(const std::string& id) {
  for (unsigned char c : id)
    if (c < 0x20 || c == 0x7F) return false;  // control characters, NUL among them
  return !id.empty() && id.find_first_of("/\\:") == std::string::npos && id.front() != '.' &&
         !SameName(id, "summary");
}

std::optional<std::vector<ScenarioRow>> ReadScenarioFile(const std::string& path,
                                                         std::string& error) {
  auto bytes = ReadWholeFile(path);
  if (!bytes) {
    error = "cannot read the scenario file " + path;
    return std::nullopt;
  }
  return ReadScenarioText(*bytes, path, fs::absolute(fs::path(path)).parent_path().string(), error);
}

std::optional<std::vector<ScenarioRow>> ReadScenarioText(const std::string& bytes,
                                                         const std::string& path,
                                                         const std::string& folderName,
                                                         std::string& error) {
  CsvRecords records;
  std::string why;
  if (!ParseCsv(bytes, records, why)) {
    error = "the scenario file " + path + " is not a CSV table: " + why;
    return std::nullopt;
  }
  if (records.rows.empty()) {
    error = "the scenario file " + path + " has no header row";
    return std::nullopt;
  }
  const auto& known = ScenarioColumns();
  std::vector<std::string> header;
  for (const std::string& name : records.rows.front()) {
    std::string column = ToLower(TrimCell(name));
    // A byte order mark before the first column's name.
    if (header.empty() && column.rfind("\xEF\xBB\xBF", 0) == 0) column.erase(0, 3);
    if (std::find(known.begin(), known.end(), column) == known.end()) {
      error = "the scenario file " + path + " has an unknown column \"" + TrimCell(name) + "\"";
      return std::nullopt;
    }
    if (std::find(header.begin(), header.end(), column) != header.end()) {
      error = "the scenario file " + path + " has the column \"" + column + "\" twice";
      return std::nullopt;
    }
    header.push_back(column);
  }
  for (std::size_t k = 0; k < kRequiredColumns; ++k)
    if (std::find(header.begin(), header.end(), known[k]) == header.end()) {
      error = "the scenario file " + path + " has no column \"" + known[k] + "\"";
      return std::nullopt;
    }

  const fs::path folder(folderName);
  std::vector<ScenarioRow> rows;
  for (std::size_t r = 1; r < records.rows.size(); ++r) {
    const auto& fields = records.rows[r];
    ScenarioRow row;
    row.line = records.lines[r];
    std::map<std::string, std::string> cells;
    for (std::size_t c = 0; c < fields.size() && c < header.size(); ++c)
      cells[header[c]] = TrimCell(fields[c]);
    if (fields.size() > header.size())
      row.problem = "the row has " + std::to_string(fields.size()) + " fields, the header " +
                    std::to_string(header.size());
    row.id = cells["id"];
    row.command = ToLower(cells["command"]);
    if (const std::string& residue = cells["residue_file"]; !residue.empty())
      row.residueFile = (folder / fs::path(residue)).lexically_normal().string();
    else if (row.problem.empty())
      row.problem = row.command == "cumulative" ? "the row names no assessment group file"
                                                : "the row names no residue file";
    BuildArguments(cells, folder, row);
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace ormid
