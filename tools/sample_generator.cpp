#include "tools/sample_generator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tools/installation_writer.h"

namespace ormid::testdata {
namespace {

namespace fs = std::filesystem;

// Where a value came from, for messages.
struct Origin {
  std::string file;
  int line = 0;
  std::string Where() const { return file + ":" + std::to_string(line) + ": "; }
};

[[noreturn]] void Fail(const Origin& at, const std::string& message) {
  throw std::runtime_error(at.Where() + message);
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool IsComment(const std::string& line) {
  const std::string t = Trim(line);
  return t.empty() || t[0] == '#';
}

// One comma-separated row; fields may be double-quoted (a doubled quote
// inside stands for one quote). Blanks around fields are dropped.
std::vector<std::string> SplitCsv(const std::string& line, const Origin& at) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (true) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) Fail(at, "unterminated quote");
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      while (i < line.size() && line[i] == ' ') ++i;
      if (i < line.size() && line[i] != ',') Fail(at, "text after a quoted field");
    } else {
      const auto comma = line.find(',', i);
      field = Trim(line.substr(i, comma == std::string::npos ? std::string::npos : comma - i));
      i = comma == std::string::npos ? line.size() : comma;
    }
    fields.push_back(field);
    if (i >= line.size()) break;
    ++i;  // the comma
  }
  return fields;
}

double Number(const std::string& text, const Origin& at) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0') Fail(at, "not a number: \"" + text + "\"");
  return value;
}

float Float(const std::string& text, const Origin& at) {
  return static_cast<float>(Number(text, at));
}

int Integer(const std::string& text, const Origin& at) {
  const double value = Number(text, at);
  if (value != std::floor(value)) Fail(at, "not a whole number: " + text);
  return static_cast<int>(value);
}

std::int16_t Int16(const std::string& text, const Origin& at) {
  const int value = Integer(text, at);
  if (value < -32768 || value > 32767) Fail(at, "outside the 16-bit range: " + text);
  return static_cast<std::int16_t>(value);
}

// A CSV table with a header row; rows are handed out with their line numbers.
struct Table {
  std::vector<std::string> header;
  std::vector<std::pair<Origin, std::vector<std::string>>> rows;
};

Table ReadTable(const fs::path& path, std::size_t minColumns) {
  Table table;
  const std::vector<std::string> lines = ReadLines(path);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (IsComment(lines[n])) continue;
    Origin at{path.filename().string(), static_cast<int>(n + 1)};
    std::vector<std::string> fields = SplitCsv(lines[n], at);
    if (table.header.empty()) {
      table.header = std::move(fields);
      continue;
    }
    if (fields.size() < minColumns) Fail(at, "too few columns");
    table.rows.emplace_back(at, std::move(fields));
  }
  return table;
}

// "key: value" lines, in file order (keys may repeat).
struct KeyValue {
  Origin at;
  std::string key;
  std::string value;     // trimmed
  std::string rawValue;  // after the blank following the colon, trailing blanks kept
};

std::vector<KeyValue> ReadKeyValues(const fs::path& path) {
  std::vector<KeyValue> items;
  const std::vector<std::string> lines = ReadLines(path);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (IsComment(lines[n])) continue;
    Origin at{path.filename().string(), static_cast<int>(n + 1)};
    const auto colon = lines[n].find(':');
    if (colon == std::string::npos) Fail(at, "expected \"key: value\"");
    std::string raw = lines[n].substr(colon + 1);
    if (!raw.empty() && raw[0] == ' ') raw.erase(0, 1);
    items.push_back({at, Trim(lines[n].substr(0, colon)), Trim(raw), raw});
  }
  return items;
}

struct SourceFood {
  MasterFood master;
  std::string category;
  std::string base;                 // "-" = no food-level data
  std::vector<std::string> shares;  // per form; "-" = no data
};

struct Subgroup {
  int column = 0;
  std::string name;
  std::map<std::string, double> multipliers;
};

Installation ReadInstallationSettings(const fs::path& path) {
  Installation inst;
  // Keys naming text items, and keys naming numbers.
  const std::map<std::string, std::string*> texts = {{"heading", &inst.heading},
                                                     {"data version", &inst.dataVersion},
                                                     {"support note", &inst.supportNote},
                                                     {"form heading 1", &inst.formHeading1},
                                                     {"form heading 2", &inst.formHeading2},
                                                     {"form heading 3", &inst.formHeading3},
                                                     {"residue folder", &inst.setup.residuePath},
                                                     {"setup field 3", &inst.setup.field3},
                                                     {"banner", &inst.setup.banner},
                                                     {"setup field 5", &inst.setup.field5},
                                                     {"setup field 6", &inst.setup.field6},
                                                     {"page numbers", &inst.setup.pageNumbers},
                                                     {"setup field 8", &inst.setup.field8},
                                                     {"setup field 9", &inst.setup.field9}};
  const std::map<std::string, std::vector<std::string>*> lists = {
      {"support file", &inst.supportFiles},
      {"support list a", &inst.supportListA},
      {"support list b", &inst.supportListB}};
  const std::map<std::string, std::int16_t*> numbers = {{"support list first", &inst.supportFirst},
                                                        {"support count 2", &inst.supportCount2},
                                                        {"page length", &inst.setup.pageLength}};
  for (const KeyValue& kv : ReadKeyValues(path)) {
    if (const auto t = texts.find(kv.key); t != texts.end()) {
      *t->second = kv.value;
    } else if (const auto l = lists.find(kv.key); l != lists.end()) {
      l->second->push_back(kv.value);
    } else if (const auto n = numbers.find(kv.key); n != numbers.end()) {
      *n->second = Int16(kv.value, kv.at);
    } else if (kv.key == "survey base") {
      inst.surveyBase = Integer(kv.value, kv.at);
    } else {
      Fail(kv.at, "unknown key \"" + kv.key + "\"");
    }
  }
  return inst;
}

std::vector<Subgroup> ReadSubgroups(const fs::path& path, int columns) {
  const Table table = ReadTable(path, 3);
  std::vector<Subgroup> groups;
  std::vector<bool> used(columns + 1, false);
  for (const auto& [at, row] : table.rows) {
    if (Integer(row[0], at) != static_cast<int>(groups.size()) + 1) Fail(at, "rows out of order");
    Subgroup g;
    g.column = Integer(row[1], at);
    if (g.column < 1 || g.column > columns || used[g.column]) Fail(at, "bad consumption column");
    used[g.column] = true;
    g.name = row[2];
    if (row.size() != table.header.size()) Fail(at, "row and header differ in width");
    for (std::size_t i = 3; i < row.size(); ++i) {
      g.multipliers[table.header[i]] = Number(row[i], at);
    }
    groups.push_back(std::move(g));
  }
  return groups;
}

void ReadForms(const fs::path& path, Installation& inst) {
  std::vector<FormDescription>* lists[] = {&inst.formDesc1, &inst.formDesc2, &inst.formDesc3};
  for (const auto& [at, row] : ReadTable(path, 3).rows) {
    const int list = Integer(row[0], at);
    const int digit = Integer(row[1], at);
    if (list < 1 || list > 3 || digit < 0 || digit > 9) Fail(at, "bad list or digit");
    lists[list - 1]->push_back({digit, row[2]});
  }
}

void ReadCropGroups(const fs::path& path, Installation& inst) {
  for (const auto& [at, row] : ReadTable(path, 4).rows) {
    if (Integer(row[0], at) != static_cast<int>(inst.cropGroups.size()) + 1) {
      Fail(at, "crop group indexes must run 1, 2, 3, ...");
    }
    inst.cropGroups.push_back({Int16(row[2], at), row[3]});
  }
}

std::vector<SourceFood> ReadFoods(const fs::path& path, int codeWidth) {
  std::vector<SourceFood> foods;
  for (const auto& [at, row] : ReadTable(path, 7).rows) {
    SourceFood food;
    MasterFood& m = food.master;
    m.number = Int16(row[0], at);
    m.code = row[1];
    m.cropGroup = row[2];
    food.category = row[3];
    food.base = row[4];
    m.name = row[5];
    m.extraNumber = m.number;
    if (static_cast<int>(m.code.size()) != codeWidth)
      Fail(at, "code width is not " + std::to_string(codeWidth));
    if (m.cropGroup.empty() || m.cropGroup.size() > 3) Fail(at, "crop group code of 1-3 chars");
    if (m.name.size() > 39) Fail(at, "name longer than 39 characters");
    if (!foods.empty() && m.number <= foods.back().master.number) Fail(at, "numbers must rise");
    std::istringstream forms(row[6]);
    std::string form;
    while (forms >> form) {
      const auto colon = form.find(':');
      if (colon == std::string::npos) Fail(at, "form \"" + form + "\" is not code:share");
      m.forms.push_back({Int16(form.substr(0, colon), at), {}});
      food.shares.push_back(form.substr(colon + 1));
      if (food.shares.back() != "-") Number(food.shares.back(), at);
    }
    if (food.base != "-") Number(food.base, at);
    foods.push_back(std::move(food));
  }
  return foods;
}

float Micro(double value) {
  return static_cast<float>(std::round(value * 1e6) / 1e6);
}

// Fills the consumption records of every food from the subgroup multipliers.
void FillConsumption(std::vector<SourceFood>& foods, const std::vector<Subgroup>& subgroups,
                     int columns) {
  for (SourceFood& food : foods) {
    MasterFood& m = food.master;
    std::vector<double> exact(columns, 0.0);
    const double base = food.base == "-" ? 0.0 : std::strtod(food.base.c_str(), nullptr);
    for (const Subgroup& g : subgroups) {
      const auto mult = g.multipliers.find(food.category);
      if (mult == g.multipliers.end()) {
        throw std::runtime_error("food " + std::to_string(m.number) + ": unknown category " +
                                 food.category);
      }
      const long h = (7919L * m.number + 104729L * g.column) % 1000;
      exact[g.column - 1] = base * mult->second * (0.85 + 0.0003 * static_cast<double>(h));
    }
    m.consumption = {};
    if (food.base == "-") {
      m.consumption.code = "";
    } else {
      for (double v : exact) m.consumption.values.push_back(Micro(v));
    }
    for (std::size_t i = 0; i < m.forms.size(); ++i) {
      Consumption& c = m.forms[i].consumption;
      if (food.shares[i] == "-") {
        c.code = "";
        continue;
      }
      const double share = std::strtod(food.shares[i].c_str(), nullptr);
      for (double v : exact) c.values.push_back(Micro(v * share));
    }
  }
}

std::string SupportFile4Text(const std::vector<SourceFood>& foods) {
  std::string out = "Commodity list\r\n";
  for (const SourceFood& f : foods) {
    out += std::to_string(f.master.number) + "," + f.master.code + "," + f.master.name + "\r\n";
  }
  return out;
}

std::string SupportFile7Text(const std::vector<SourceFood>& foods) {
  std::string out = "Crop group codes by commodity\r\n";
  for (const SourceFood& f : foods) {
    out += f.master.code + "," + f.master.cropGroup + "\r\n";
  }
  return out;
}

std::vector<std::pair<float, float>> Pairs(const std::vector<std::string>& row, std::size_t from,
                                           const Origin& at) {
  std::vector<std::pair<float, float>> pairs;
  if ((row.size() - from) % 2 != 0) Fail(at, "value pairs come in twos");
  for (std::size_t i = from; i + 1 < row.size(); i += 2) {
    pairs.emplace_back(Float(row[i], at), Float(row[i + 1], at));
  }
  return pairs;
}

// food: number, code, residue, factor 1, factor 2[, comment[, pair values...]]
ResidueFood ReadResidueFood(const std::string& value, const Origin& at,
                            const std::map<int, const MasterFood*>& foods) {
  const std::vector<std::string> row = SplitCsv(value, at);
  if (row.size() < 5) Fail(at, "a food needs number, code, residue and two factors");
  const auto master = foods.find(Integer(row[0], at));
  if (master == foods.end()) Fail(at, "no master food " + row[0]);
  const MasterFood& m = *master->second;
  ResidueFood food;
  food.number = m.number;
  food.code = row[1].empty() ? m.code : row[1];
  if (food.code != m.code && "0" + food.code != m.code) {
    Fail(at, "code " + food.code + " is not the master food's code " + m.code);
  }
  food.text = m.cropGroup;
  food.residue = Float(row[2], at);
  food.adj1 = Float(row[3], at);
  food.adj2 = Float(row[4], at);
  food.name = m.name;
  if (row.size() > 5) food.comment = row[5];
  if (row.size() > 6) food.pairs = Pairs(row, 6, at);
  return food;
}

// form: code, residue, factor 1, factor 2[, comment[, pair values...]]
ResidueForm ReadResidueForm(const std::string& value, const Origin& at) {
  const std::vector<std::string> row = SplitCsv(value, at);
  if (row.size() < 4) Fail(at, "a form needs code, residue and two factors");
  ResidueForm form;
  form.code = Int16(row[0], at);
  form.residue = Float(row[1], at);
  form.adj1 = Float(row[2], at);
  form.adj2 = Float(row[3], at);
  if (row.size() > 4) form.comment = row[4];
  if (row.size() > 5) form.pairs = Pairs(row, 5, at);
  return form;
}

ResidueFile ReadResidueSource(const fs::path& path, const std::map<int, const MasterFood*>& foods) {
  ResidueFile file;
  const std::map<std::string, std::string*> texts = {{"chemical", &file.chemical},
                                                     {"tag", &file.tag},
                                                     {"item 5", &file.item5},
                                                     {"date", &file.date}};
  const std::map<std::string, float*> numbers = {{"rfd", &file.rfd},
                                                 {"item 4", &file.item4},
                                                 {"noel", &file.noel},
                                                 {"item 7", &file.item7},
                                                 {"q star", &file.qStar}};
  for (const KeyValue& kv : ReadKeyValues(path)) {
    if (const auto t = texts.find(kv.key); t != texts.end()) {
      *t->second = kv.value;
    } else if (const auto n = numbers.find(kv.key); n != numbers.end()) {
      *n->second = Float(kv.value, kv.at);
    } else if (kv.key == "comment") {
      file.comment = kv.value;
    } else if (kv.key == "value pairs") {
      file.pairCount = Int16(kv.value, kv.at);
    } else if (kv.key == "chemical line") {
      file.chemicals.push_back({kv.rawValue, ""});
    } else if (kv.key == "second line") {
      if (file.chemicals.empty()) Fail(kv.at, "second line before a chemical line");
      file.chemicals.back().secondLine = kv.rawValue;
    } else if (kv.key == "food") {
      file.foods.push_back(ReadResidueFood(kv.value, kv.at, foods));
    } else if (kv.key == "form") {
      if (file.foods.empty()) Fail(kv.at, "a form before the first food");
      file.foods.back().forms.push_back(ReadResidueForm(kv.value, kv.at));
    } else {
      Fail(kv.at, "unknown key \"" + kv.key + "\"");
    }
  }
  return file;
}

}  // namespace

std::string GenerateSample(const fs::path& source, const fs::path& out) {
  Installation inst = ReadInstallationSettings(source / "installation.txt");
  const int columns = ConsumptionColumns(inst.surveyBase);
  const std::vector<Subgroup> subgroups = ReadSubgroups(source / "subgroups.csv", columns);
  for (const Subgroup& g : subgroups) inst.subgroups.push_back(g.name);
  ReadForms(source / "forms.csv", inst);
  ReadCropGroups(source / "cropgroups.csv", inst);
  std::vector<SourceFood> foods = ReadFoods(source / "foods.csv", CodeWidth(inst.surveyBase));
  FillConsumption(foods, subgroups, columns);
  for (const SourceFood& f : foods) inst.foods.push_back(f.master);
  inst.supportFile4Text = SupportFile4Text(foods);
  if (inst.surveyBase == 0) inst.supportFile7Text = SupportFile7Text(foods);
  WriteInstallation(inst, out);

  std::map<int, const MasterFood*> byNumber;
  for (const MasterFood& m : inst.foods) byNumber[m.number] = &m;
  int residueFiles = 0;
  const fs::path residueSources = source / "residues";
  if (fs::is_directory(residueSources)) {
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(residueSources)) {
      if (entry.path().extension() == ".txt") names.push_back(entry.path());
    }
    std::sort(names.begin(), names.end());
    for (const fs::path& name : names) {
      const ResidueFile file = ReadResidueSource(name, byNumber);
      WriteResidueFile(file, out / inst.setup.residuePath / name.stem());
      ++residueFiles;
    }
  }
  return std::to_string(inst.foods.size()) + " foods, " + std::to_string(FormEntryCount(inst)) +
         " food forms, " + std::to_string(inst.subgroups.size()) + " subgroups, " +
         std::to_string(residueFiles) + " residue files";
}

}  // namespace ormid::testdata
