#include "residue_build/residue_build.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <unordered_map>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "core/names.h"
#include "core/paths.h"
#include "core/utf8.h"
#include "report/food_form_label.h"
#include "residue_table/residue_table.h"
#include "residue_table/table_text.h"

namespace ormid {

namespace fs = std::filesystem;

// --- Options ---

namespace {

template <typename E, std::size_t N>
const char* TextOf(const std::pair<E, const char*> (&names)[N], E value) {
  for (const auto& [e, text] : names)
    if (e == value) return text;
  return "";
}

template <typename E, std::size_t N>
std::optional<E> ValueOf(const std::pair<E, const char*> (&names)[N], std::string_view text) {
  for (const auto& [e, name] : names)
    if (text == name) return e;
  return std::nullopt;
}

const std::pair<NonDetectRule, const char*> kNonDetectNames[] = {
    {NonDetectRule::Zero, "zero"}, {NonDetectRule::HalfLod, "half-lod"},
    {NonDetectRule::Lod, "lod"},   {NonDetectRule::HalfLoq, "half-loq"},
    {NonDetectRule::Loq, "loq"},
};
const std::pair<NotQuantifiedRule, const char*> kNotQuantifiedNames[] = {
    {NotQuantifiedRule::HalfLoq, "half-loq"},
    {NotQuantifiedRule::Loq, "loq"},
    {NotQuantifiedRule::LodPlusHalf, "lod-plus-half"},
};
const std::pair<CropTreatedRule, const char*> kCropTreatedNames[] = {
    {CropTreatedRule::ZeroNonDetects, "zero-non-detects"},
    {CropTreatedRule::Factor, "factor"},
};
const std::pair<BoundChoice, const char*> kBoundNames[] = {
    {BoundChoice::Lower, "lower"},
    {BoundChoice::Middle, "middle"},
    {BoundChoice::Upper, "upper"},
    {BoundChoice::All, "all"},
};

BoundChoice ChoiceOf(Bound bound) {
  return bound == Bound::Lower   ? BoundChoice::Lower
         : bound == Bound::Upper ? BoundChoice::Upper
                                 : BoundChoice::Middle;
}

}  // namespace

const char* OptionText(NonDetectRule rule) {
  return TextOf(kNonDetectNames, rule);
}
const char* OptionText(NotQuantifiedRule rule) {
  return TextOf(kNotQuantifiedNames, rule);
}
const char* OptionText(CropTreatedRule rule) {
  return TextOf(kCropTreatedNames, rule);
}
const char* OptionText(Bound bound) {
  return TextOf(kBoundNames, ChoiceOf(bound));
}
const char* OptionText(BoundChoice bound) {
  return TextOf(kBoundNames, bound);
}
std::optional<NonDetectRule> NonDetectRuleFrom(std::string_view text) {
  return ValueOf(kNonDetectNames, text);
}
std::optional<NotQuantifiedRule> NotQuantifiedRuleFrom(std::string_view text) {
  return ValueOf(kNotQuantifiedNames, text);
}
std::optional<CropTreatedRule> CropTreatedRuleFrom(std::string_view text) {
  return ValueOf(kCropTreatedNames, text);
}
std::optional<BoundChoice> BoundChoiceFrom(std::string_view text) {
  return ValueOf(kBoundNames, text);
}

std::vector<Bound> BoundsOf(BoundChoice choice) {
  switch (choice) {
    case BoundChoice::Lower:
      return {Bound::Lower};
    case BoundChoice::Upper:
      return {Bound::Upper};
    case BoundChoice::All:
      return {Bound::Lower, Bound::Middle, Bound::Upper};
    case BoundChoice::Middle:
      break;
  }
  return {Bound::Middle};
}

std::string ResidueFileOfBound(const ResidueBuildSettings& s, Bound bound) {
  if (s.bound != BoundChoice::All) return s.output;
  const fs::path named(s.output);
  const fs::path file = named.filename();
  const std::string stem = file.stem().string(), extension = file.extension().string();
  return (named.parent_path() / (stem + "-" + OptionText(bound) + extension)).string();
}

std::string ChemicalOfBound(const ResidueBuildSettings& s, Bound bound) {
  if (s.bound != BoundChoice::All) return s.chemical;
  return s.chemical + "-" + OptionText(bound);
}

std::string BuildReportFileFor(const std::string& output) {
  return output + ".build.txt";
}

std::vector<std::string> ResidueBuildArguments(const ResidueBuildSettings& s) {
  return {"residue-build",
          s.samples,
          "--rules=" + s.rules,
          "--chemical=" + s.chemical,
          "--noel=" + ShortestText(s.noel),
          "--rfd=" + ShortestText(s.rfd),
          "--qstar=" + ShortestText(s.qstar),
          std::string("--non-detects=") + OptionText(s.nonDetects),
          std::string("--not-quantified=") + OptionText(s.notQuantified),
          std::string("--crop-treated=") + OptionText(s.cropTreated),
          std::string("--bound=") + OptionText(s.bound)};
}

std::string ResidueBuildUsageProblem(const ModOrmid& m, const ResidueBuildSettings& s) {
  const std::string wanted = ResidueExtension(m);
  if (wanted.empty()) return "the installation's residue files cannot be read by Ormid";
  const std::string name = FileNameOnly(s.output);
  const auto dot = name.rfind('.');
  const std::string given = dot == std::string::npos ? std::string() : ToUpper(name.substr(dot));
  if (given != wanted)
    return "the installation's residue files end in " + wanted + ", not " +
           (given.empty() ? std::string("\"\"") : given) + " (" + s.output + ")";
  const std::string chemical = TrimCell(s.chemical);
  if (chemical.empty()) return "--chemical names no chemical";
  // "-middle" makes a name of --bound all longer by seven characters.
  const std::size_t room = kMaxChemicalName - (s.bound == BoundChoice::All ? 7 : 0);
  std::size_t characters = 0;
  for (const char c : s.chemical) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (characters > room)
    return "--chemical is " + std::to_string(characters) + " characters long; a residue file " +
           "takes " + std::to_string(kMaxChemicalName) + " in all" +
           (s.bound == BoundChoice::All ? ", \"-middle\" among them with --bound all" : "");
  if (!IsValidUtf8(s.chemical) || s.chemical.find('"') != std::string::npos ||
      HoldsControlCharacter(s.chemical))
    return "--chemical holds a double quote, a control character or text that is not UTF-8, "
           "which a residue file cannot hold";
  for (const float v : {s.noel, s.rfd, s.qstar})
    if (!std::isfinite(v) || v < 0) return "the NOEL, RfD and Q* are numbers of 0 or more";
  return "";
}

int CropTreatedZeros(double percentCropTreated, int samples, int nonDetects) {
  // (100 - PCT) x n is exact for whole percents, so that a half is a half
  // (1 - 0.65 is not 0.35 in binary).
  const double untreated = (100.0 - percentCropTreated) * samples / 100.0;
  const double rounded = std::floor(untreated + 0.5);
  return static_cast<int>(std::clamp(rounded, 0.0, static_cast<double>(nonDetects)));
}

// --- Reading ---

namespace {

// A number of a file in a message: as written, cut when it is long.
std::string Shown(const std::string& text) {
  return text.size() <= 60 ? text : QuotedText(text);
}

struct Problems {
  BuildProblems& out;
  const std::string* file = nullptr;
  void Add(int line, const std::string& text) {
    if (out.lines.size() < kBuildProblemsKept)
      out.lines.push_back(*file + ":" + (line > 0 ? std::to_string(line) + ":" : "") + " " + text);
    ++out.count;
  }
};

// A number of ppm, a factor or a percent: a finite number of 0 or more that
// a residue file's single-precision numbers hold. A semicolon-separated file
// may write a decimal comma.
std::optional<double> ReadNumber(Problems& problems, int line, const std::string& what,
                                 const std::string& cell, char separator) {
  std::string text = cell;
  if (separator == ';') std::replace(text.begin(), text.end(), ',', '.');
  double value = 0;
  const char* end = text.data() + text.size();
  const char* first = text.data() + (!text.empty() && text[0] == '+' ? 1 : 0);
  const auto [ptr, ec] = std::from_chars(first, end, value);
  if (ptr != end || (ec != std::errc() && ec != std::errc::result_out_of_range) || first == end) {
    problems.Add(line, what + " " + QuotedText(cell) + " is not a number");
    return std::nullopt;
  }
  if (ec == std::errc::result_out_of_range && std::fabs(value) >= 1) {
    problems.Add(line,
                 what + " " + Shown(cell) + " is beyond the range of a residue file's numbers");
    return std::nullopt;
  }
  if (!std::isfinite(value)) {
    problems.Add(line, what + " " + QuotedText(cell) + " is not a finite number");
    return std::nullopt;
  }
  if (value < 0) {
    problems.Add(line, what + " " + Shown(cell) + " is negative");
    return std::nullopt;
  }
  if (value > 3.4e38) {
    problems.Add(line,
                 what + " " + Shown(cell) + " is beyond the range of a residue file's numbers");
    return std::nullopt;
  }
  return value == 0 ? 0.0 : value;  // no -0
}

struct ColumnSpec {
  const char* name;
  bool required;
};

// The column headings of a file: found by name, without regard to case, in
// any order; a column that is not one of the file's, or one given twice,
// is a problem, and so is a required one that is missing.
class Headings {
 public:
  Headings(const ColumnSpec* specs, std::size_t count) : specs_(specs), at_(count, -1) {}

  bool Read(const TableRecord& record, Problems& problems) {
    line_ = record.line;
    bool complete = true;
    for (std::size_t c = 0; c < record.cells.size(); ++c) {
      const std::string key = ToLower(TrimCell(record.cells[c]));
      if (key.empty()) continue;
      std::size_t found = at_.size();
      for (std::size_t k = 0; k < at_.size(); ++k)
        if (key == specs_[k].name) found = k;
      if (found == at_.size()) {
        problems.Add(record.line, "unknown column " + QuotedText(TrimCell(record.cells[c])));
        complete = false;
      } else if (at_[found] >= 0) {
        problems.Add(record.line,
                     std::string("the column ") + specs_[found].name + " is there twice");
        complete = false;
      } else {
        at_[found] = static_cast<int>(c);
      }
    }
    for (std::size_t k = 0; k < at_.size(); ++k)
      if (specs_[k].required && at_[k] < 0) {
        problems.Add(record.line, std::string("the column ") + specs_[k].name + " is missing");
        complete = false;
      }
    return complete;
  }
  int line() const { return line_; }
  bool Has(std::size_t column) const { return at_[column] >= 0; }
  // A cell without blanks at its ends; "" when the row or the file has none.
  std::string Cell(const TableRecord& record, std::size_t column) const {
    return TrimCell(Raw(record, column));
  }
  std::string Raw(const TableRecord& record, std::size_t column) const {
    const int at = at_[column];
    return at >= 0 && static_cast<std::size_t>(at) < record.cells.size()
               ? record.cells[static_cast<std::size_t>(at)]
               : std::string();
  }
  // A value in a column without a heading.
  bool StrayValue(const TableRecord& record, Problems& problems) const {
    for (std::size_t c = 0; c < record.cells.size(); ++c) {
      if (std::find(at_.begin(), at_.end(), static_cast<int>(c)) != at_.end()) continue;
      if (TrimCell(record.cells[c]).empty()) continue;
      problems.Add(record.line,
                   "a value in column " + std::to_string(c + 1) + ", which has no heading");
      return true;
    }
    return false;
  }

 private:
  const ColumnSpec* specs_;
  std::vector<int> at_;
  int line_ = 0;
};

bool AllBlank(const TableRecord& record) {
  return std::all_of(record.cells.begin(), record.cells.end(),
                     [](const std::string& c) { return TrimCell(c).empty(); });
}

// The limits a sample needs under the bounds and rules asked for.
struct LimitsNeeded {
  bool ndLod = false, ndLoq = false, ndLodOrLoq = false;
  bool nqLod = false, nqLoq = false;
};

LimitsNeeded LimitsFor(const ResidueBuildSettings& s) {
  LimitsNeeded need;
  for (const Bound b : BoundsOf(s.bound)) {
    if (b == Bound::Middle) {
      need.ndLod = need.ndLod || s.nonDetects == NonDetectRule::HalfLod ||
                   s.nonDetects == NonDetectRule::Lod;
      need.ndLoq = need.ndLoq || s.nonDetects == NonDetectRule::HalfLoq ||
                   s.nonDetects == NonDetectRule::Loq;
      need.nqLoq = true;
      need.nqLod = need.nqLod || s.notQuantified == NotQuantifiedRule::LodPlusHalf;
    } else if (b == Bound::Upper) {
      need.ndLodOrLoq = true;
      need.nqLoq = true;
    }
  }
  return need;
}

enum SampleColumn : std::size_t { kCommodity, kSampleId, kResult, kLod, kLoq, kDetected };
const ColumnSpec kSampleColumns[] = {{"commodity", true}, {"sample_id", true}, {"result_ppm", true},
                                     {"lod_ppm", true},   {"loq_ppm", false},  {"detected", false}};

enum RuleColumn : std::size_t { kRuleCommodity, kFoodCode, kFoodForm, kFactor, kPercent, kNote };
const ColumnSpec kRuleColumns[] = {{"commodity", true},
                                   {"food_code", true},
                                   {"food_form", false},
                                   {"processing_factor", false},
                                   {"percent_crop_treated", false},
                                   {"note", false}};

// The samples, checked row by row as they are read.
class SamplesReader {
 public:
  SamplesReader(const ResidueBuildSettings& s, BuildInputs& in, Problems& problems, char separator)
      : s_(s),
        in_(in),
        problems_(problems),
        separator_(separator),
        need_(LimitsFor(s)),
        headings_(kSampleColumns, std::size(kSampleColumns)) {}

  void Take(const TableRecord& record) {
    if (!headingsSeen_) {
      headingsSeen_ = true;
      headingsRead_ = headings_.Read(record, problems_);
      return;
    }
    if (!headingsRead_ || AllBlank(record)) return;
    ++rows_;
    Row(record);
  }
  void Finish() {
    if (!headingsSeen_)
      problems_.Add(1,
                    "the samples file is empty; its first row names the columns (commodity, "
                    "sample_id, result_ppm, lod_ppm, loq_ppm, detected)");
    else if (headingsRead_ && rows_ == 0)
      problems_.Add(headings_.line(), "the samples file has no samples below its column headings");
  }
  // The commodity a name is, by its folded name.
  const std::unordered_map<std::string, std::size_t>& Commodities() const { return byName_; }

 private:
  void Row(const TableRecord& record);
  std::optional<double> Number(int line, const char* what, const std::string& cell) {
    if (cell.empty()) return std::nullopt;
    return ReadNumber(problems_, line, what, cell, separator_);
  }

  const ResidueBuildSettings& s_;
  BuildInputs& in_;
  Problems& problems_;
  char separator_;
  LimitsNeeded need_;
  Headings headings_;
  bool headingsSeen_ = false, headingsRead_ = false;
  std::size_t rows_ = 0;
  std::unordered_map<std::string, std::size_t> byName_;
  std::unordered_map<std::string, int> sampleLine_;  // commodity and sample id
};

void SamplesReader::Row(const TableRecord& record) {
  const int line = record.line;
  const std::size_t before = problems_.out.count;
  headings_.StrayValue(record, problems_);
  const std::string commodity = headings_.Cell(record, kCommodity);
  const std::string id = headings_.Cell(record, kSampleId);
  if (commodity.empty()) problems_.Add(line, "the commodity is empty");
  if (id.empty()) problems_.Add(line, "the sample id is empty");
  const std::string resultText = headings_.Cell(record, kResult);
  const std::optional<double> result = Number(line, "result_ppm", resultText);
  const std::optional<double> lod = Number(line, "lod_ppm", headings_.Cell(record, kLod));
  const std::optional<double> loq = Number(line, "loq_ppm", headings_.Cell(record, kLoq));
  const std::string word = ToLower(headings_.Cell(record, kDetected));
  const std::string sample =
      "sample " + QuotedText(id) + (commodity.empty() ? "" : " of " + QuotedText(commodity));

  Sample x;
  x.line = line;
  x.lod = lod;
  x.loq = loq;
  bool known = true;
  if (word.empty()) {
    x.kind = resultText.empty() ? SampleKind::NonDetect : SampleKind::Detected;
  } else if (word == "yes") {
    x.kind = SampleKind::Detected;
    if (resultText.empty())
      problems_.Add(line, sample + " is marked detected (yes) but has no result_ppm");
  } else if (word == "no" || word == "nq") {
    x.kind = word == "no" ? SampleKind::NonDetect : SampleKind::NotQuantified;
    if (!resultText.empty())
      problems_.Add(line, sample + " has a result_ppm but is marked " + word +
                              (word == "no" ? " (not detected): leave the result empty"
                                            : " (not quantified), whose value --not-quantified "
                                              "sets: leave the result empty"));
  } else {
    problems_.Add(line, "detected " + QuotedText(headings_.Cell(record, kDetected)) +
                            " is not yes, no or nq");
    known = false;
  }
  if (result) x.result = *result;
  if (lod && loq && *loq < *lod)
    problems_.Add(line, "the LOQ " + Shown(headings_.Cell(record, kLoq)) + " is below the LOD " +
                            Shown(headings_.Cell(record, kLod)));

  // The limits the rules asked for need (a limit given but not a number is
  // told above).
  const bool lodGiven = !headings_.Cell(record, kLod).empty();
  const bool loqGiven = !headings_.Cell(record, kLoq).empty();
  if (known && x.kind == SampleKind::NonDetect) {
    if (need_.ndLod && !lodGiven)
      problems_.Add(line, sample + " is a non-detect without its LOD, which --non-detects " +
                              OptionText(s_.nonDetects) + " needs");
    if (need_.ndLoq && !loqGiven)
      problems_.Add(line, sample + " is a non-detect without its LOQ, which --non-detects " +
                              OptionText(s_.nonDetects) + " needs");
    if (need_.ndLodOrLoq && !lodGiven && !loqGiven && !need_.ndLod && !need_.ndLoq)
      problems_.Add(line, sample +
                              " is a non-detect without its LOD or LOQ, which the upper "
                              "bound needs");
  } else if (known && x.kind == SampleKind::NotQuantified) {
    if (need_.nqLod && !lodGiven)
      problems_.Add(line, sample +
                              " is not quantified (nq) and has no LOD, which "
                              "--not-quantified lod-plus-half needs");
    if (need_.nqLoq && !loqGiven)
      problems_.Add(line, sample + " is not quantified (nq) and has no LOQ, which " +
                              (s_.bound == BoundChoice::Upper
                                   ? std::string("the upper bound needs")
                                   : "--not-quantified " +
                                         std::string(OptionText(s_.notQuantified)) + " needs"));
  }

  if (commodity.empty()) return;
  // The commodity is known from its first row on, whatever that row's
  // problems, so that a rule naming it is not refused as well.
  const std::string key = FoldedName(commodity);
  auto [it, added] = byName_.emplace(key, in_.commodities.size());
  if (added) in_.commodities.push_back({commodity, line, {}});
  if (!id.empty()) {
    const auto [seen, first] = sampleLine_.emplace(key + '\x1f' + FoldedName(id), line);
    if (!first) problems_.Add(line, sample + " is already on line " + std::to_string(seen->second));
  }
  if (problems_.out.count != before || !known) return;
  in_.commodities[it->second].samples.push_back(x);
  ++in_.sampleCount;
}

// The rules, checked row by row against the installation and the samples.
class RulesReader {
 public:
  RulesReader(const ModOrmid& m, const MasterFoods& foods,
              const std::unordered_map<std::string, std::size_t>& commodities,
              const std::string& samplesShown, BuildInputs& in, Problems& problems, char separator)
      : m_(m),
        foods_(foods),
        commodities_(commodities),
        samplesShown_(samplesShown),
        in_(in),
        problems_(problems),
        separator_(separator),
        headings_(kRuleColumns, std::size(kRuleColumns)) {
    for (std::size_t f = foods_.code.size(); f-- > 1;)
      if (!foods_.code[f].empty()) byCode_[foods_.code[f]] = static_cast<int>(f);
  }

  void Take(const TableRecord& record) {
    if (!headingsSeen_) {
      headingsSeen_ = true;
      headingsRead_ = headings_.Read(record, problems_);
      return;
    }
    if (!headingsRead_ || AllBlank(record)) return;
    ++rows_;
    Row(record);
  }
  void Finish() {
    if (!headingsSeen_)
      problems_.Add(1,
                    "the rules file is empty; its first row names the columns (commodity, "
                    "food_code, food_form, processing_factor, percent_crop_treated, note)");
    else if (headingsRead_ && rows_ == 0)
      problems_.Add(headings_.line(), "the rules file has no rules below its column headings");
  }

 private:
  void Row(const TableRecord& record);
  int FoodNumber(const std::string& code) const {
    auto find = [this](const std::string& c) {
      const auto it = byCode_.find(c);
      return it == byCode_.end() ? 0 : it->second;
    };
    if (const int f = find(code)) return f;
    // A spreadsheet drops a code's leading zeros when it takes it for a
    // number.
    const std::size_t width = m_.gSurveyBase == 0 ? 8 : 10;
    if (!code.empty() && code.size() < width &&
        code.find_first_not_of("0123456789") == std::string::npos)
      return find(std::string(width - code.size(), '0') + code);
    return 0;
  }

  const ModOrmid& m_;
  const MasterFoods& foods_;
  const std::unordered_map<std::string, std::size_t>& commodities_;
  const std::string& samplesShown_;
  BuildInputs& in_;
  Problems& problems_;
  char separator_;
  Headings headings_;
  bool headingsSeen_ = false, headingsRead_ = false;
  std::size_t rows_ = 0;
  std::unordered_map<std::string, int> byCode_;
  std::map<std::pair<int, int>, int> named_;  // food and form (-1: the food) -> line
};

void RulesReader::Row(const TableRecord& record) {
  const int line = record.line;
  const std::size_t before = problems_.out.count;
  headings_.StrayValue(record, problems_);
  BuildRule rule;
  rule.line = line;
  const std::string commodity = headings_.Cell(record, kRuleCommodity);
  if (commodity.empty()) {
    problems_.Add(line, "the commodity is empty");
  } else if (auto it = commodities_.find(FoldedName(commodity)); it == commodities_.end()) {
    problems_.Add(line,
                  "commodity " + QuotedText(commodity) + " has no samples in " + samplesShown_);
  } else {
    rule.commodity = it->second;
  }

  const std::string code = headings_.Cell(record, kFoodCode);
  if (code.empty()) {
    problems_.Add(line, "the food code is empty");
  } else if ((rule.food = FoodNumber(code)) == 0) {
    problems_.Add(
        line, "food code " + QuotedText(code) + " is not in the installation's master food list");
  }
  const std::string shownCode = rule.food ? foods_.code[static_cast<std::size_t>(rule.food)] : code;

  bool formOk = true;
  if (const std::string formText = headings_.Cell(record, kFoodForm); !formText.empty()) {
    int form = -1;
    const auto [end, ec] =
        std::from_chars(formText.data(), formText.data() + formText.size(), form);
    if (ec != std::errc() || end != formText.data() + formText.size() || form < 0 || form > 32767) {
      problems_.Add(line, "food form " + QuotedText(formText) + " is not a food-form code");
      formOk = false;
    } else {
      rule.form = form;
    }
  }
  if (rule.form && rule.food) {
    const auto f = static_cast<std::size_t>(rule.food);
    const int first = m_.gFoodFormCode2[f], count = m_.gFoodFormCode1[f];
    std::string listed;
    bool found = false;
    for (int k = first; k < first + count; ++k) {
      if (k < 1 || k > m_.gRacCount) continue;
      const int value = m_.gRacValue[static_cast<std::size_t>(k)];
      found = found || value == *rule.form;
      listed += (listed.empty() ? "" : ", ") + std::to_string(value);
    }
    if (!found) {
      problems_.Add(
          line, "food form " + std::to_string(*rule.form) + " is not a food form of " + shownCode +
                    (listed.empty() ? " (it has none)" : " (its food forms: " + listed + ")"));
      formOk = false;
    }
  }
  if (rule.food && formOk) {
    const std::pair<int, int> key{rule.food, rule.form.value_or(-1)};
    if (auto [it, added] = named_.emplace(key, line); !added)
      problems_.Add(line,
                    (rule.form ? "food form " + std::to_string(*rule.form) + " of " : "food ") +
                        shownCode + " is already named on line " + std::to_string(it->second));
  }

  if (const std::string text = headings_.Cell(record, kFactor); !text.empty())
    if (auto v = ReadNumber(problems_, line, "processing_factor", text, separator_))
      rule.processingFactor = *v;
  if (const std::string text = headings_.Cell(record, kPercent); !text.empty()) {
    if (auto v = ReadNumber(problems_, line, "percent_crop_treated", text, separator_)) {
      if (*v > 100)
        problems_.Add(line, "percent_crop_treated " + Shown(text) + " is above 100");
      else
        rule.percentCropTreated = *v;
    }
  }
  // The note goes into the entry's comment in the residue file too.
  rule.note = headings_.Cell(record, kNote);
  std::size_t characters = 0;
  for (const char c : rule.note) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  if (characters > kMaxComment)
    problems_.Add(line, "the note is " + std::to_string(characters) +
                            " characters long; a residue file's comment takes " +
                            std::to_string(kMaxComment));
  if (rule.note.find('"') != std::string::npos)
    problems_.Add(line, "the note holds a double quote, which a residue file cannot hold");
  else if (HoldsControlCharacter(rule.note))
    problems_.Add(line,
                  "the note holds a line break or another control character, which a "
                  "residue file cannot hold");

  if (problems_.out.count == before) in_.rules.push_back(std::move(rule));
}

// Reads one file, a piece at a time: for its separator, then row by row.
// False with the problem when it cannot be split into rows.
bool ReadRows(const TableSource& first, const TableSource& again,
              const std::function<void(char)>& start,
              const std::function<void(TableRecord&&)>& take, Problems& problems) {
  // The first row names the columns: the separator is the one it holds
  // most of, and no more than its line is read for it.
  std::size_t given = 0;
  const TableSource head = [&](char* buf, std::size_t n) -> std::size_t {
    if (given >= kMaxTableLine) return 0;
    const std::size_t got = first(buf, std::min(n, kMaxTableLine - given));
    given += got;
    return got;
  };
  const char separator = DetectTableSeparator(head);
  start(separator);
  TableProblem problem;
  if (!ReadCsvRecords(again, separator, take, problem)) {
    problems.Add(problem.line, problem.text);
    return false;
  }
  return true;
}

using SourcePair = std::pair<TableSource, TableSource>;

bool ReadBoth(const ModOrmid& m, const MasterFoods& foods, const ResidueBuildSettings& s,
              const std::function<bool(const std::string&, SourcePair&, Problems&)>& open,
              BuildInputs& in, BuildProblems& out) {
  in = BuildInputs();
  out = BuildProblems();
  Problems samplesProblems{out, &s.samplesShown};
  Problems rulesProblems{out, &s.rulesShown};

  std::unique_ptr<SamplesReader> samples;
  SourcePair source;
  if (open(s.samples, source, samplesProblems)) {
    ReadRows(
        source.first, source.second,
        [&](char separator) {
          samples = std::make_unique<SamplesReader>(s, in, samplesProblems, separator);
        },
        [&](TableRecord&& r) { samples->Take(r); }, samplesProblems);
    samples->Finish();
  }
  static const std::unordered_map<std::string, std::size_t> kNone;
  std::unique_ptr<RulesReader> rules;
  if (open(s.rules, source, rulesProblems)) {
    ReadRows(
        source.first, source.second,
        [&](char separator) {
          rules = std::make_unique<RulesReader>(m, foods, samples ? samples->Commodities() : kNone,
                                                s.samplesShown, in, rulesProblems, separator);
        },
        [&](TableRecord&& r) { rules->Take(r); }, rulesProblems);
    rules->Finish();
  }
  return out.count == 0;
}

}  // namespace

bool ReadBuildInputs(const ModOrmid& m, const MasterFoods& foods, const ResidueBuildSettings& s,
                     BuildInputs& in, BuildProblems& problems) {
  using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
  std::vector<std::pair<File, const std::string*>> files;
  auto open = [&](const std::string& path, SourcePair& source, Problems& p) {
    // A samples file of a large monitoring programme is a few MB: a file
    // larger than a table may be is refused before it is read.
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
      p.Add(0, fs::exists(path, ec) ? "is not a file" : "the file cannot be found");
      return false;
    }
    if (fs::file_size(path, ec) > kMaxTableBytes) {
      p.Add(0, "the file is larger than " + std::to_string(kMaxTableBytes >> 20) + " MB");
      return false;
    }
    File first(std::fopen(path.c_str(), "rb"), std::fclose);
    File again(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!first || !again) {
      p.Add(0, "the file cannot be opened");
      return false;
    }
    auto reader = [](std::FILE* f) -> TableSource {
      return [f](char* buf, std::size_t n) { return std::fread(buf, 1, n, f); };
    };
    source = {reader(first.get()), reader(again.get())};
    files.emplace_back(std::move(first), p.file);
    files.emplace_back(std::move(again), p.file);
    return true;
  };
  const bool ok = ReadBoth(m, foods, s, open, in, problems);
  for (const auto& [f, shown] : files)
    if (std::ferror(f.get())) {
      problems.lines.push_back(*shown + ": the file could not be read to its end");
      ++problems.count;
      return false;
    }
  return ok;
}

bool ReadBuildInputText(const ModOrmid& m, const MasterFoods& foods, const ResidueBuildSettings& s,
                        std::string_view samples, std::string_view rules, BuildInputs& in,
                        BuildProblems& problems) {
  auto open = [&](const std::string& path, SourcePair& source, Problems&) {
    const std::string_view bytes = path == s.samples ? samples : rules;
    source = {TextSource(bytes), TextSource(bytes)};
    return true;
  };
  return ReadBoth(m, foods, s, open, in, problems);
}

// --- The arithmetic ---

namespace {

// A commodity's samples under one bound: what the detects and the
// not-quantified results add up to, and the non-detects' values lowest
// first (the first in the file among equal ones), with the sums of each
// value and those above it.
struct BoundValues {
  int detected = 0, notQuantified = 0;
  double fixedSum = 0;
  std::vector<double> nonDetects;
  std::vector<double> fromHere;  // fromHere[k]: the sum of nonDetects[k..]
};

double NonDetectValue(const Sample& x, Bound bound, NonDetectRule rule) {
  switch (bound) {
    case Bound::Lower:
      return 0;
    case Bound::Upper:
      return x.loq ? *x.loq : x.lod.value_or(0);
    case Bound::Middle:
      break;
  }
  switch (rule) {
    case NonDetectRule::Zero:
      return 0;
    case NonDetectRule::HalfLod:
      return x.lod.value_or(0) / 2;
    case NonDetectRule::Lod:
      return x.lod.value_or(0);
    case NonDetectRule::HalfLoq:
      return x.loq.value_or(0) / 2;
    case NonDetectRule::Loq:
      return x.loq.value_or(0);
  }
  return 0;
}

double NotQuantifiedValue(const Sample& x, Bound bound, NotQuantifiedRule rule) {
  if (bound == Bound::Lower) return 0;
  const double loq = x.loq.value_or(0);
  if (bound == Bound::Upper) return loq;
  switch (rule) {
    case NotQuantifiedRule::HalfLoq:
      return loq / 2;
    case NotQuantifiedRule::Loq:
      return loq;
    case NotQuantifiedRule::LodPlusHalf: {
      const double lod = x.lod.value_or(0);
      return lod + (loq - lod) / 2;
    }
  }
  return 0;
}

BoundValues ValuesOf(const SampledCommodity& c, Bound bound, const ResidueBuildSettings& s) {
  BoundValues v;
  for (const Sample& x : c.samples) {
    switch (x.kind) {
      case SampleKind::Detected:
        ++v.detected;
        v.fixedSum += x.result;
        break;
      case SampleKind::NotQuantified:
        ++v.notQuantified;
        v.fixedSum += NotQuantifiedValue(x, bound, s.notQuantified);
        break;
      case SampleKind::NonDetect:
        v.nonDetects.push_back(NonDetectValue(x, bound, s.nonDetects));
        break;
    }
  }
  std::stable_sort(v.nonDetects.begin(), v.nonDetects.end());
  v.fromHere.assign(v.nonDetects.size() + 1, 0.0);
  for (std::size_t k = v.nonDetects.size(); k-- > 0;)
    v.fromHere[k] = v.fromHere[k + 1] + v.nonDetects[k];
  return v;
}

// The residue file's number of a double: the nearest single-precision
// value, never -0.
float Single(double value) {
  const auto f = static_cast<float>(value);
  return f == 0 ? 0.0f : f;
}

}  // namespace

ResidueBuild ComputeResidueBuild(const ModOrmid& m, const MasterFoods& foods, const BuildInputs& in,
                                 const ResidueBuildSettings& s, const std::string& date) {
  ResidueBuild out;
  out.settings = s;
  out.bounds = BoundsOf(s.bound);
  out.sampleCount = in.sampleCount;
  out.ruleCount = in.rules.size();
  out.commodityCount = in.commodities.size();

  // Each food the rules name: its own rule and the rules of its forms.
  struct Named {
    std::optional<std::size_t> food;
    std::map<int, std::size_t> forms;  // food-form code -> rule
  };
  std::map<int, Named> named;
  std::vector<bool> ruled(in.commodities.size(), false);
  for (std::size_t r = 0; r < in.rules.size(); ++r) {
    const BuildRule& rule = in.rules[r];
    Named& n = named[rule.food];
    if (rule.form)
      n.forms[*rule.form] = r;
    else
      n.food = r;
    ruled[rule.commodity] = true;
  }
  for (std::size_t c = 0; c < in.commodities.size(); ++c)
    if (!ruled[c])
      out.unruled.push_back(
          {in.commodities[c].name, static_cast<int>(in.commodities[c].samples.size())});
  for (int f = 1; f < static_cast<int>(foods.code.size()); ++f)
    if (!foods.code[static_cast<std::size_t>(f)].empty() && !named.count(f))
      out.noData.push_back(
          {foods.code[static_cast<std::size_t>(f)], foods.name[static_cast<std::size_t>(f)]});

  const std::string comment = std::string("Built from samples: ") + OptionText(s.bound) +
                              " bound; non-detects " + OptionText(s.nonDetects) +
                              ", not quantified " + OptionText(s.notQuantified) +
                              ", crop treated " + OptionText(s.cropTreated);
  for (const Bound bound : out.bounds) {
    // Each commodity's values under this bound, made once however many
    // rules name it.
    std::vector<std::optional<BoundValues>> values(in.commodities.size());
    auto valuesOf = [&](std::size_t c) -> const BoundValues& {
      if (!values[c]) values[c] = ValuesOf(in.commodities[c], bound, s);
      return *values[c];
    };
    auto rowOf = [&](std::size_t r, int food, std::optional<int> form, bool fromFood) {
      const BuildRule& rule = in.rules[r];
      const SampledCommodity& c = in.commodities[rule.commodity];
      const BoundValues& v = valuesOf(rule.commodity);
      BuildRow row;
      row.bound = bound;
      row.food = food;
      row.form = form;
      row.rule = r;
      row.ruleLine = rule.line;
      row.fromFoodRule = fromFood;
      row.commodity = c.name;
      row.samples = static_cast<int>(c.samples.size());
      row.detected = v.detected;
      row.notQuantified = v.notQuantified;
      row.nonDetects = static_cast<int>(v.nonDetects.size());
      row.percentCropTreated = rule.percentCropTreated;
      row.processingFactor = rule.processingFactor;
      row.note = rule.note;
      if (s.cropTreated == CropTreatedRule::ZeroNonDetects)
        row.zeros = CropTreatedZeros(rule.percentCropTreated, row.samples, row.nonDetects);
      const auto zeros = static_cast<std::size_t>(row.zeros);
      if (zeros < v.nonDetects.size()) {
        row.nonDetectLow = v.nonDetects[zeros];
        row.nonDetectHigh = v.nonDetects.back();
      }
      row.mean = (v.fixedSum + v.fromHere[zeros]) / row.samples;
      row.residue = Single(row.mean);
      row.adj1 = Single(rule.processingFactor);
      row.adj2 =
          s.cropTreated == CropTreatedRule::Factor ? Single(rule.percentCropTreated / 100) : 1.0f;
      return row;
    };

    ResidueFile file;
    file.chemical = ChemicalOfBound(s, bound);
    file.noel = s.noel;
    file.rfd = s.rfd;
    file.qStar = s.qstar;
    file.tag = InstallationTag(m);
    file.date = date;
    file.comment = comment;
    file.item5.clear();
    for (const auto& [food, n] : named) {
      const auto f = static_cast<std::size_t>(food);
      ResidueFood& entry = file.foods.emplace_back();
      entry.number = static_cast<std::int16_t>(food);
      entry.code = foods.code[f];
      entry.text = f < m.gFoodCropGroup.size() ? m.gFoodCropGroup[f] : std::string();
      entry.name = foods.name[f];
      BuildRow head;
      if (n.food) {
        head = rowOf(*n.food, food, std::nullopt, false);
      } else {
        // An entry that only holds the food forms the rules name.
        head.bound = bound;
        head.food = food;
        head.residue = 0;
      }
      entry.residue = head.residue;
      entry.adj1 = head.adj1;
      entry.adj2 = head.adj2;
      entry.comment = head.note;
      head.foodCode = entry.code;
      head.foodName = entry.name;
      out.rows.push_back(std::move(head));
      if (n.forms.empty()) continue;
      // Every master food form of the food that a rule names, and with the
      // food's own rule every other one: a food with forms in a residue
      // file counts by its forms alone.
      const int first = m.gFoodFormCode2[f], count = m.gFoodFormCode1[f];
      for (int k = first; k < first + count; ++k) {
        if (k < 1 || k > m.gRacCount) continue;
        const int code = m.gRacValue[static_cast<std::size_t>(k)];
        const auto it = n.forms.find(code);
        if (it == n.forms.end() && !n.food) continue;
        BuildRow row = it != n.forms.end() ? rowOf(it->second, food, code, false)
                                           : rowOf(*n.food, food, code, true);
        ResidueForm& form = entry.forms.emplace_back();
        form.code = static_cast<std::int16_t>(code);
        form.residue = row.residue;
        form.adj1 = row.adj1;
        form.adj2 = row.adj2;
        form.comment = row.note;
        row.foodCode = entry.code;
        row.foodName = entry.name;
        std::string text = std::to_string(code);
        FoodFormLabel(m, text, row.formLabel);
        out.rows.push_back(std::move(row));
      }
    }
    out.files.push_back(std::move(file));
  }
  return out;
}

}  // namespace ormid
