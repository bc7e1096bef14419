#include "residue_table/residue_table.h"

#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <unordered_map>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/paths.h"
#include "core/record_file.h"
#include "core/utf8.h"
#include "report/food_form_label.h"

namespace ormid {
namespace {

// Header items and columns, as exported; read back without regard to case.
const char* const kChemicalName = "Chemical name";
const char* const kFormatTag = "Format tag";
const char* const kFileDate = "File date";
const char* const kNoel = "NOEL";
const char* const kRfd = "RfD";
const char* const kQStar = "Q*";
const char* const kComment = "Comment";
const char* const kItem4 = "Item 4";
const char* const kItem5 = "Item 5";
const char* const kItem7 = "Item 7";
// The count of chemical value pairs per entry a file names in its head; only
// a multi-chemical file with chemicals uses it, and a table carries it so
// that any other file comes back the same.
const char* const kPairCount = "Value pairs per entry";

enum Column { kCode, kName, kFormCode, kFormLabel, kResidue, kAdj1, kAdj2, kRowComment, kColumns };
const char* const kColumnNames[kColumns] = {
    "Commodity code", "Commodity name",      "Food form code",      "Food form",
    "Residue (ppm)",  "Adjustment factor 1", "Adjustment factor 2", "Comment"};
// Columns a table cannot do without; the others have a default.
const bool kColumnRequired[kColumns] = {true, false, true, false, true, true, true, false};

// A header item's or column's name as written in a table: blanks and a
// trailing colon dropped, case ignored.
std::string Key(const std::string& cell) {
  std::string key = TrimBlanks(cell);
  if (!key.empty() && key.back() == ':') key = TrimBlanks(key.substr(0, key.size() - 1));
  return ToLower(key);
}

// A number of the table in a message, cut as Quote cuts a text (a number
// may be written with thousands of digits).
std::string Shown(const std::string& number) {
  return number.size() <= 60 ? number : QuotedText(number);
}

TableCell Number(float value) {
  return {ShortestText(value), true};
}

std::size_t Characters(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

bool AllBlank(const std::vector<std::string>& cells) {
  return std::all_of(cells.begin(), cells.end(),
                     [](const std::string& c) { return TrimCell(c).empty(); });
}

// Checks the rows of a table and builds the residue file from them.
class TableReader {
 public:
  TableReader(const ModOrmid& m, const MasterFoods& foods, char separator, const std::string& today)
      : m_(m), foods_(foods), separator_(separator), today_(today) {
    for (std::size_t f = foods_.code.size(); f-- > 1;)
      if (!foods_.code[f].empty()) byCode_[foods_.code[f]] = static_cast<int>(f);
  }

  // Takes the table's rows in order, as they are read: the header items, the
  // column heading row, then the rows below it.
  void Take(const TableRecord& record);
  // The residue file and the problems, once every row has been taken.
  TableImport Finish();

 private:
  // The problems are counted, and the first kProblemsKept kept: a file of
  // many bad rows costs no more memory than a good table.
  void Problem(int line, std::string text) {
    if (out_.problems.size() < kProblemsKept) out_.problems.push_back({line, std::move(text)});
    ++out_.problemCount;
  }
  void Warning(int line, std::string text) { out_.warnings.push_back({line, std::move(text)}); }

  std::optional<float> ReadNumber(int line, const std::string& what, const std::string& cell,
                                  bool mayBeNegative = false);
  bool CheckText(int line, const std::string& what, const std::string& text, std::size_t max);
  void ReadHeaderItem(const TableRecord& record);
  void ReadHeaderValues(int headingLine);
  bool ReadHeadings(const TableRecord& record);
  void ReadRow(const TableRecord& record);
  int FoodNumber(const std::string& code) const;
  std::string CodeToWrite(int food, const std::string& given) const;
  // The entry of a master food, made on its first row.
  ResidueFood& Food(int number, const std::string& givenCode);

  const ModOrmid& m_;
  const MasterFoods& foods_;
  const char separator_;
  const std::string& today_;
  TableImport out_;
  bool headingSeen_ = false, headingsRead_ = false, anyRow_ = false;
  int headingLine_ = 0, lastLine_ = 0;

  struct HeaderValue {
    int line = 0;
    std::string value;
  };
  std::map<std::string, HeaderValue> header_;    // by key
  std::unordered_map<std::string, int> byCode_;  // master food numbers
  int columns_[kColumns];
  std::size_t headingCount_ = 0;
  std::map<int, std::size_t> foodIndex_;  // master food number -> entry
  std::map<int, int> foodRowLine_;
  std::map<std::pair<int, int>, int> formRowLine_;
};

std::optional<float> TableReader::ReadNumber(int line, const std::string& what,
                                             const std::string& cell, bool mayBeNegative) {
  std::string text = TrimCell(cell);
  if (text.empty()) {
    Problem(line, what + " is empty");
    return std::nullopt;
  }
  if (separator_ == ';') std::replace(text.begin(), text.end(), ',', '.');
  const std::optional<float> value = ReadFloatText(text);
  if (!value) {
    if (IsValidNumber(text))
      Problem(line, what + " " + Shown(TrimCell(cell)) +
                        " is beyond the range of a residue file's numbers");
    else
      Problem(line, what + " " + QuotedText(TrimCell(cell)) + " is not a number");
    return std::nullopt;
  }
  if (!std::isfinite(*value)) {
    Problem(line, what + " " + QuotedText(TrimCell(cell)) + " is not a finite number");
    return std::nullopt;
  }
  // The file keeps the number as its shortest text, which must read back
  // within the single-precision range (3.4028235e38 reads as a little more).
  if (std::fabs(*value) > 3.4e38f &&
      std::fabs(std::strtod(ResidueNumberText(*value).c_str(), nullptr)) > FLT_MAX) {
    Problem(line, what + " " + Shown(TrimCell(cell)) +
                      " is beyond the range of a residue file's numbers");
    return std::nullopt;
  }
  if (*value < 0 && !mayBeNegative) {
    Problem(line, what + " " + Shown(TrimCell(cell)) + " is negative");
    return std::nullopt;
  }
  return *value == 0 ? 0.0f : *value;  // no -0 in the file
}

bool TableReader::CheckText(int line, const std::string& what, const std::string& text,
                            std::size_t max) {
  bool ok = true;
  if (Characters(text) > max) {
    Problem(line, what + " is " + std::to_string(Characters(text)) +
                      " characters long; a residue file takes " + std::to_string(max));
    ok = false;
  }
  if (text.find('"') != std::string::npos) {
    Problem(line, what + " holds a double quote, which a residue file cannot hold");
    ok = false;
  }
  if (text.find_first_of("\r\n") != std::string::npos) {
    Problem(line, what + " holds a line break, which a residue file cannot hold");
    ok = false;
  } else if (std::any_of(text.begin(), text.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
             })) {
    Problem(line, what + " holds a control character, which a residue file cannot hold");
    ok = false;
  }
  return ok;
}

void TableReader::ReadHeaderItem(const TableRecord& record) {
  static const std::vector<std::string> known = {
      ToLower(kChemicalName), ToLower(kFormatTag), ToLower(kFileDate), ToLower(kNoel),
      ToLower(kRfd),          ToLower(kQStar),     ToLower(kComment),  ToLower(kItem4),
      ToLower(kItem5),        ToLower(kItem7),     ToLower(kPairCount)};
  std::vector<std::string> cells = record.cells;
  while (!cells.empty() && TrimCell(cells.back()).empty()) cells.pop_back();
  if (cells.empty()) return;
  const std::string key = Key(cells[0]);
  if (std::find(known.begin(), known.end(), key) == known.end()) {
    Problem(record.line, "unknown header item " + QuotedText(TrimCell(cells[0])));
    return;
  }
  if (const auto before = header_.find(key); before != header_.end()) {
    Problem(record.line, TrimCell(cells[0]) + " is given twice (first on line " +
                             std::to_string(before->second.line) + ")");
    return;
  }
  if (cells.size() > 2) Problem(record.line, TrimCell(cells[0]) + " has more than one value");
  // Texts stay as the table holds them: a spreadsheet quotes a text with
  // blanks at its ends, and the blanks belong to it.
  header_[key] = {record.line, cells.size() > 1 ? cells[1] : std::string()};
}

void TableReader::ReadHeaderValues(int headingLine) {
  // Required header values; a missing one is reported on the column heading row.
  auto required = [&](const char* name) -> const HeaderValue* {
    const auto it = header_.find(ToLower(name));
    if (it == header_.end()) {
      Problem(headingLine, std::string("the header has no ") + name + " row");
      return nullptr;
    }
    if (TrimCell(it->second.value).empty()) {
      Problem(it->second.line, std::string(name) + " has no value");
      return nullptr;
    }
    return &it->second;
  };
  auto optional = [&](const char* name) -> const HeaderValue* {
    const auto it = header_.find(ToLower(name));
    return it == header_.end() ? nullptr : &it->second;
  };
  ResidueFile& file = out_.file;
  if (const HeaderValue* v = required(kChemicalName)) {
    CheckText(v->line, kChemicalName, v->value, kMaxChemicalName);
    file.chemical = v->value;
  }
  for (auto [name, target] :
       {std::pair{kNoel, &file.noel}, {kRfd, &file.rfd}, {kQStar, &file.qStar}})
    if (const HeaderValue* v = required(name))
      *target = ReadNumber(v->line, name, v->value).value_or(0.0f);
  for (auto [name, target] : {std::pair{kItem4, &file.item4}, {kItem7, &file.item7}})
    if (const HeaderValue* v = optional(name); v && !v->value.empty())
      *target = ReadNumber(v->line, name, v->value, true).value_or(0.0f);
  file.pairCount = 0;
  if (const HeaderValue* v = optional(kPairCount); v && !TrimCell(v->value).empty()) {
    const std::string text = TrimCell(v->value);
    int count = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (ec != std::errc() || end != text.data() + text.size() || count < INT16_MIN ||
        count > INT16_MAX)
      Problem(v->line, std::string(kPairCount) + " " + QuotedText(text) +
                           " is not a whole number from -32768 to 32767");
    else
      file.pairCount = static_cast<std::int16_t>(count);
  }
  file.item5.clear();
  if (const HeaderValue* v = optional(kItem5);
      v && CheckText(v->line, kItem5, v->value, kMaxComment))
    file.item5 = v->value;
  if (const HeaderValue* v = optional(kComment);
      v && CheckText(v->line, kComment, v->value, kMaxComment))
    file.comment = v->value;
  file.date = today_;
  if (const HeaderValue* v = optional(kFileDate);
      v && !v->value.empty() && CheckText(v->line, kFileDate, v->value, kMaxDate))
    file.date = v->value;
  file.tag = InstallationTag(m_);
  if (const HeaderValue* v = optional(kFormatTag);
      v && !v->value.empty() && CheckText(v->line, kFormatTag, v->value, kMaxTag)) {
    if (InstallationReadsTag(m_, v->value))
      file.tag = v->value;
    else
      Warning(v->line, "this installation does not read residue files tagged " +
                           QuotedText(v->value) + "; the file is tagged " + QuotedText(file.tag));
  }
}

bool TableReader::ReadHeadings(const TableRecord& record) {
  std::fill(std::begin(columns_), std::end(columns_), -1);
  headingCount_ = record.cells.size();
  for (std::size_t c = 0; c < record.cells.size(); ++c) {
    const std::string key = Key(record.cells[c]);
    if (key.empty()) continue;
    int found = -1;
    for (int k = 0; k < kColumns; ++k)
      if (key == ToLower(kColumnNames[k])) found = k;
    if (found < 0) {
      Problem(record.line, "unknown column " + QuotedText(TrimCell(record.cells[c])));
    } else if (columns_[found] >= 0) {
      Problem(record.line, std::string("the column ") + kColumnNames[found] + " is there twice");
    } else {
      columns_[found] = static_cast<int>(c);
    }
  }
  bool complete = true;
  for (int k = 0; k < kColumns; ++k) {
    if (kColumnRequired[k] && columns_[k] < 0) {
      Problem(record.line, std::string("the column ") + kColumnNames[k] + " is missing");
      complete = false;
    }
  }
  return complete;
}

int TableReader::FoodNumber(const std::string& code) const {
  auto find = [this](const std::string& c) {
    const auto it = byCode_.find(c);
    return it == byCode_.end() ? 0 : it->second;
  };
  if (int f = find(code)) return f;
  // A spreadsheet drops a code's leading zeros when it takes it for a number.
  const std::size_t width = m_.gSurveyBase == 0 ? 8 : 10;
  if (!code.empty() && code.size() < width &&
      code.find_first_not_of("0123456789") == std::string::npos)
    return find(std::string(width - code.size(), '0') + code);
  return 0;
}

// The code as the file gets it: the master code, or the nine characters the
// reader completes with a leading zero when the table gives them.
std::string TableReader::CodeToWrite(int food, const std::string& given) const {
  const std::string& master = foods_.code[static_cast<std::size_t>(food)];
  if (given.size() == 9 && master.size() == 10 && "0" + given == master) return given;
  return master;
}

ResidueFood& TableReader::Food(int number, const std::string& givenCode) {
  auto [it, added] = foodIndex_.emplace(number, out_.file.foods.size());
  if (added) {
    ResidueFood& food = out_.file.foods.emplace_back();
    const auto f = static_cast<std::size_t>(number);
    food.number = static_cast<std::int16_t>(number);
    food.code = CodeToWrite(number, givenCode);
    food.text = f < m_.gFoodCropGroup.size() ? m_.gFoodCropGroup[f] : std::string();
    food.name = foods_.name[f];
    food.residue = 0;
  }
  return out_.file.foods[it->second];
}

void TableReader::ReadRow(const TableRecord& record) {
  const int line = record.line;
  // Codes and numbers without blanks; texts as the table holds them.
  auto raw = [&](Column c) -> std::string {
    const int at = columns_[c];
    return at >= 0 && static_cast<std::size_t>(at) < record.cells.size()
               ? record.cells[static_cast<std::size_t>(at)]
               : std::string();
  };
  auto cell = [&](Column c) { return TrimCell(raw(c)); };
  for (std::size_t c = 0; c < record.cells.size(); ++c) {
    const bool named = std::find(std::begin(columns_), std::end(columns_), static_cast<int>(c)) !=
                       std::end(columns_);
    if (!named && !TrimCell(record.cells[c]).empty()) {
      Problem(line, "a value in column " + std::to_string(c + 1) + ", which has no heading");
      break;
    }
  }

  const std::string code = cell(kCode);
  int food = 0;
  if (code.empty()) {
    Problem(line, "the commodity code is empty");
  } else {
    food = FoodNumber(code);
    if (food == 0) Problem(line, "commodity code " + code + " is not in the master food list");
  }
  const std::string& shownCode = food ? foods_.code[static_cast<std::size_t>(food)] : code;

  // The food form: a whole number among the food's master food-form entries.
  const std::string formText = cell(kFormCode);
  std::optional<int> form;
  bool formOk = true;
  if (!formText.empty()) {
    const auto number = ParseNumberItem(formText);
    if (!number || *number != std::floor(*number) || *number < 0 || *number > 32767) {
      Problem(line, "food form code " + QuotedText(formText) + " is not a food-form code");
      formOk = false;
    } else {
      form = static_cast<int>(*number);
    }
  }
  if (form && food) {
    const auto f = static_cast<std::size_t>(food);
    const int first = m_.gFoodFormCode2[f];
    const int count = m_.gFoodFormCode1[f];
    std::string listed;
    bool found = false;
    for (int k = first; k < first + count; ++k) {
      if (k < 1 || k > m_.gRacCount) continue;
      const int value = m_.gRacValue[static_cast<std::size_t>(k)];
      found = found || value == *form;
      listed += (listed.empty() ? "" : ", ") + std::to_string(value);
    }
    if (!found) {
      Problem(line, "food form " + formText + " is not a food form of commodity " + shownCode +
                        (listed.empty() ? " (it has none)" : " (its food forms: " + listed + ")"));
      formOk = false;
    }
  }

  // The same commodity, or the same food form of it, twice.
  if (food && formOk) {
    if (!form) {
      if (auto [it, added] = foodRowLine_.emplace(food, line); !added)
        Problem(line,
                "commodity " + shownCode + " is already on line " + std::to_string(it->second));
    } else if (auto [it, added] = formRowLine_.emplace(std::pair{food, *form}, line); !added) {
      Problem(line, "food form " + std::to_string(*form) + " of commodity " + shownCode +
                        " is already on line " + std::to_string(it->second));
    }
  }

  const auto residue = ReadNumber(line, "the residue", cell(kResidue));
  if (residue && *residue > kResidueWarningPpm)
    Warning(line,
            "residue " + cell(kResidue) + " ppm is above 10,000 ppm; is it in ppm and not in ppb?");
  const auto adj1 = ReadNumber(line, "adjustment factor 1", cell(kAdj1));
  const auto adj2 = ReadNumber(line, "adjustment factor 2", cell(kAdj2));
  const std::string comment = raw(kRowComment);
  CheckText(line, "the comment", comment, kMaxComment);
  const std::string name = raw(kName);
  if (!form) CheckText(line, "the commodity name", name, kMaxCommodityName);

  if (!food || !formOk || !out_.problems.empty()) return;
  ResidueFood& entry = Food(food, code);
  if (!form) {
    entry.code = CodeToWrite(food, code);
    if (!name.empty()) entry.name = name;
    entry.residue = residue.value_or(0.0f);
    entry.adj1 = adj1.value_or(1.0f);
    entry.adj2 = adj2.value_or(1.0f);
    entry.comment = comment;
  } else {
    ResidueForm& f = entry.forms.emplace_back();
    f.code = static_cast<std::int16_t>(*form);
    f.residue = residue.value_or(0.0f);
    f.adj1 = adj1.value_or(1.0f);
    f.adj2 = adj2.value_or(1.0f);
    f.comment = comment;
  }
}

void TableReader::Take(const TableRecord& record) {
  lastLine_ = record.line;
  if (!headingSeen_) {
    if (record.cells.empty() || Key(record.cells[0]) != ToLower(kColumnNames[kCode])) {
      ReadHeaderItem(record);
      return;
    }
    // The header ends at the column heading row.
    headingSeen_ = true;
    headingLine_ = record.line;
    ReadHeaderValues(headingLine_);
    headingsRead_ = ReadHeadings(record);
    return;
  }
  if (!headingsRead_ || AllBlank(record.cells)) return;
  anyRow_ = true;
  ReadRow(record);
}

TableImport TableReader::Finish() {
  if (!headingSeen_) {
    ReadHeaderValues(1);
    Problem(lastLine_ == 0 ? 1 : lastLine_,
            "the table has no column heading row (a row that starts with " +
                QuotedText(kColumnNames[kCode]) + ")");
  } else if (headingsRead_ && !anyRow_) {
    Problem(headingLine_, "the table has no rows below its column headings");
  }
  return std::move(out_);
}

}  // namespace

bool LoadMasterFoods(const ModOrmid& m, MasterFoods& foods, std::string& error) {
  RecordFile file;
  const int length = m.MasterFoodRecordLength();
  if (!file.Open(m.gFoodFile, length)) {
    error = "the master food file " + m.gFoodFile + " cannot be read";
    return false;
  }
  const std::size_t width = m.gSurveyBase == 0 ? 8 : 10;
  const std::size_t nameAt = m.gSurveyBase == 0 ? 17 : 19;
  const auto n = static_cast<std::size_t>(std::max<int>(m.gFoodCount, 0)) + 1;
  foods.code.assign(n, std::string());
  foods.name.assign(n, std::string());
  for (int r = 1; r <= m.gFoodCount; ++r) {
    const std::string_view record = file.Record(r);
    const int f = ReadInt16LE(record, 0);
    if (f < 1 || f > m.gFoodCount) continue;
    foods.code[static_cast<std::size_t>(f)] = TrimBlanks(record.substr(2, width));
    foods.name[static_cast<std::size_t>(f)] = TrimBlanks(record.substr(nameAt, 39));
  }
  return true;
}

std::string ExportRefusal(const ResidueFile& file) {
  if (UsesChemicalPairs(file))
    return "it is a multi-chemical file, whose entries carry values of " +
           std::to_string(file.chemicals.size()) +
           " chemicals that a residue table has no columns for";
  return std::string();
}

std::vector<TableRow> ResidueTableRows(const ModOrmid& m, const ResidueFile& file) {
  std::vector<TableRow> rows = {
      {{kChemicalName}, {file.chemical}}, {{kFormatTag}, {file.tag}},
      {{kFileDate}, {file.date}},         {{kNoel}, Number(file.noel)},
      {{kRfd}, Number(file.rfd)},         {{kQStar}, Number(file.qStar)},
  };
  // A file without a comment item has no Comment row, so that the table
  // makes the same file again.
  if (file.comment) rows.push_back({{kComment}, {*file.comment}});
  rows.push_back({{kItem4}, Number(file.item4)});
  rows.push_back({{kItem5}, {file.item5}});
  rows.push_back({{kItem7}, Number(file.item7)});
  if (file.pairCount != 0) rows.push_back({{kPairCount}, {std::to_string(file.pairCount)}});
  rows.emplace_back();
  TableRow headings;
  for (const char* name : kColumnNames) headings.push_back({name});
  rows.push_back(std::move(headings));
  rows.reserve(rows.size() + file.foods.size() * 2);
  for (const ResidueFood& food : file.foods) {
    rows.push_back({{food.code},
                    {food.name},
                    {},
                    {},
                    Number(food.residue),
                    Number(food.adj1),
                    Number(food.adj2),
                    {food.comment}});
    for (const ResidueForm& form : food.forms) {
      std::string code = std::to_string(form.code);
      std::string label;
      FoodFormLabel(m, code, label);
      rows.push_back({{food.code},
                      {food.name},
                      {std::to_string(form.code), true},
                      {label},
                      Number(form.residue),
                      Number(form.adj1),
                      Number(form.adj2),
                      {form.comment}});
    }
  }
  return rows;
}

std::string InstallationTag(const ModOrmid& m) {
  return m.gSurveyBase == 0 ? "FCID1" : m.gDataVersion + "NH2";
}

bool InstallationReadsTag(const ModOrmid& m, const std::string& tag) {
  switch (m.gSurveyBase) {
    case 0:
      return tag == "FCID1" || tag == "FCIDMC1" || tag == "FCID" || tag == "FCIDMC";
    case 2:
      return tag.find(m.gDataVersion) != std::string::npos ||
             tag.find("05-10-b") != std::string::npos;
    default:
      return false;
  }
}

std::string ResidueExtension(const ModOrmid& m) {
  switch (m.gSurveyBase) {
    case 0:
      return ".R98";
    case 2:
      return ".R10";
    default:
      return "";
  }
}

TableImport ImportResidueRows(const ModOrmid& m, const MasterFoods& foods, const CsvTable& table,
                              const std::string& today) {
  TableReader reader(m, foods, table.separator, today);
  for (const TableRecord& record : table.records) reader.Take(record);
  return reader.Finish();
}

bool ImportResidueTableText(const ModOrmid& m, const MasterFoods& foods, const TableSource& source,
                            const TableSource& again, const std::string& today, TableImport& made,
                            TableProblem& problem) {
  const char separator = DetectTableSeparator(source);
  TableReader reader(m, foods, separator, today);
  if (!ReadCsvRecords(
          again, separator, [&](TableRecord&& record) { reader.Take(record); }, problem))
    return false;
  made = reader.Finish();
  return true;
}

}  // namespace ormid
