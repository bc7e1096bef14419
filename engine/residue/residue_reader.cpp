#include "residue/residue_reader.h"

#include <optional>
#include <string>

#include "core/item_reader.h"
#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/paths.h"
#include "core/platform.h"
#include "residue/residue_file_writer.h"

namespace ormid {

namespace {

const char* const kUpdateWarning1 =
    "This R98 file has not yet been reviewed and saved using this Residue File Editor.  Your are "
    "receiving this message for one of two reasons:";
const char* const kUpdateWarning2 =
    "This R98 file was created before the final list of FCID commodities and foodforms was "
    "finalized. Such files may contain out-of-date commodity codes and foodforms, but will "
    "automatically be converted to the final R98 format when resaved with this Residue File "
    "Editor.";
const char* const kUpdateWarning3 =
    "This R98 file was generated using the Zentor conversion utility, and has not yet been "
    "reviewed and resaved using this Residue File Editor.  Completing the conversion process "
    "from the commodities available in R97 files to those available in R98 files requires the "
    "review and discretion of the risk assessor. Therefore, R98 files generated using Zentor "
    "must be reviewed and, in some cases manually modified, before saving with this Residue "
    "File Editor.";

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The version text shown when a two-day NHANES file's tag is not accepted:
// the tag before "NH2", and of that the part before "MC".
std::string TagVersionText(const std::string& tag) {
  std::string v = tag.substr(0, tag.find("NH2"));
  return v.substr(0, v.find("MC"));
}

// Reads residue file items into the table, reporting the first problem.
class ResidueFileParser {
 public:
  // items, when given, receives every item of the file as read.
  ResidueFileParser(ModOrmid& m, Platform& p, ItemReader& r, ResidueFile* items)
      : m_(m), p_(p), r_(r), items_(items) {}

  bool Run();

 private:
  bool Damaged(const std::string& problem) {
    p_.MessageBox("Residue file " + m_.gResidueFileName + " can't be read: " + problem +
                      ". Can't use this file.",
                  "Reading Residue File", MsgIcon::Exclamation, MsgButtons::OK);
    return false;
  }
  // An item read; on failure the message names the item as field + entry.
  // The name is put together only then, since every item of the file passes here.
  bool Item(bool ok, const char* field, const std::string& entry) {
    return ok || Damaged(r_.error() + " (" + field + entry + ")");
  }
  bool Text(std::string& out, const char* field, const std::string& entry = std::string()) {
    return Item(r_.ReadText(out), field, entry);
  }
  bool Int(std::int16_t& out, const char* field, const std::string& entry = std::string()) {
    return Item(r_.ReadInt16(out), field, entry);
  }
  bool Float(float& out, const char* field, const std::string& entry = std::string()) {
    return Item(r_.ReadFloat(out), field, entry);
  }
  bool SkipPairs(const std::string& what, std::vector<std::pair<float, float>>* kept);
  bool CheckTag(std::string& tag);
  bool ReadEntries();
  bool ReadForms(int i, int f, int n, int& j);

  ModOrmid& m_;
  Platform& p_;
  ItemReader& r_;
  ResidueFile* items_;
  bool multiChemical_ = false;
  std::int16_t pairs_ = 0;
};

bool ResidueFileParser::CheckTag(std::string& tag) {
  if (m_.gSurveyBase == 0 && (tag == "FCID" || tag == "FCIDMC")) {
    p_.MessageBox(
        std::string(kUpdateWarning1) + "\r\n\r\n" + kUpdateWarning2 + "\r\n\r\n" + kUpdateWarning3,
        "R98 File Update Not Completed", MsgIcon::Information, MsgButtons::OK);
    tag += "1";
  }
  if ((tag == "FCIDMC1" || tag == "FCID1") && m_.gSurveyBase == 0) return true;
  switch (m_.gSurveyBase) {
    case 0:
      p_.MessageBox("This is an invalid R98 file.", "Reading R98 file", MsgIcon::Exclamation,
                    MsgButtons::OK);
      return false;
    case 1:
      p_.MessageBox("Can't read residue files made with 1-day NHANES database at present.",
                    "Reading 1-day NHANES residue file.", MsgIcon::Information, MsgButtons::OK);
      return false;
    case 2:
      if (Contains(tag, m_.gDataVersion) || Contains(tag, "05-10-b")) return true;
      p_.MessageBox(
          "This residue file was saved with the set of RAC and Foodforms at version " +
              TagVersionText(tag) +
              ". Please load this file into the KAVRI residue file editor and resave it before "
              "you use it to perform a dietary exposure assessment.  Review RAC/FF additions "
              "since that version. Can't use this file until this is done.",
          "Reading Residue File", MsgIcon::Information, MsgButtons::OK);
      return false;
    default:
      return false;
  }
}

bool ResidueFileParser::SkipPairs(const std::string& what,
                                  std::vector<std::pair<float, float>>* kept) {
  if (!multiChemical_) return true;
  float first, second;
  for (int k = 0; k < pairs_; ++k) {
    if (!Float(first, "chemical values of ", what) || !Float(second, "chemical values of ", what))
      return false;
    if (kept) kept->emplace_back(first, second);
  }
  return true;
}

bool ResidueFileParser::Run() {
  std::string tag, text;
  float item4, item7;
  if (!Text(m_.gChemicalName, "chemical name") || !Float(m_.gRefDose, "RfD") ||
      !Text(tag, "format tag"))
    return false;
  m_.gResidueFormatTag = tag;
  if (items_) {
    *items_ = ResidueFile();
    items_->chemical = m_.gChemicalName;
    items_->rfd = m_.gRefDose;
    items_->tag = tag;
  }
  if (!CheckTag(tag)) return false;
  if (!Float(item4, "header") || !Text(m_.gResidueFileDate, "header") || !Float(m_.gNOEL, "NOEL") ||
      !Float(item7, "header") || !Float(m_.gQStar, "Q*"))
    return false;
  if (items_) {
    items_->item4 = item4;
    items_->item5 = m_.gResidueFileDate;
    items_->noel = m_.gNOEL;
    items_->item7 = item7;
    items_->qStar = m_.gQStar;
  }
  if (!Text(m_.gResidueFileDate, "date saved")) return false;
  if (items_) items_->date = m_.gResidueFileDate;

  std::int16_t chemicals = 0;
  if (Contains(tag, "MC")) {
    if (!Int(chemicals, "number of chemicals")) return false;
    if (chemicals < 0) return Damaged("a negative number of chemicals");
    for (int c = 0; c < chemicals; ++c) {
      std::string line, second;
      if (!Item(r_.ReadLine(line), "chemical ", std::to_string(c + 1))) return false;
      std::string lastTwo = line.size() >= 2 ? line.substr(line.size() - 2) : line;
      if (LeadingNumber(lastTwo) != 0 &&
          !Item(r_.ReadLine(second), "chemical ", std::to_string(c + 1)))
        return false;
      if (items_) items_->chemicals.push_back({line, second});
    }
  }
  multiChemical_ = Contains(tag, "MC") && chemicals != 0;

  std::int16_t n;
  m_.gRunComment.clear();
  if (!Int(n, "comment flag")) return false;
  std::int16_t foodCount = n;
  if (n == -1) {
    if (!Text(m_.gRunComment, "comment") || !Int(foodCount, "food count")) return false;
    if (items_) items_->comment = m_.gRunComment;
  }
  if (items_) items_->foodCountOverride = foodCount;
  if (!Int(pairs_, "number of chemical value pairs")) return false;
  if (items_) items_->pairCount = pairs_;
  if (multiChemical_ && pairs_ < 0) return Damaged("a negative number of chemical value pairs");
  return ReadEntries();
}

bool ResidueFileParser::ReadEntries() {
  auto foods = static_cast<std::size_t>(m_.gFoodCount) + 1;
  auto forms = static_cast<std::size_t>(m_.gRacCount) + 1;
  m_.gFoodConsRec.assign(foods, 0);
  m_.gFoodCode.assign(foods, std::string());
  m_.gFoodResidue.assign(foods, 0.0f);
  m_.gFoodAdj1.assign(foods, 0.0f);
  m_.gFoodAdj2.assign(foods, 0.0f);
  m_.gFoodFormCount.assign(foods, 0);
  m_.gFoodFirstForm.assign(foods, 0);
  m_.gFoodName.assign(foods, std::string());
  m_.gFoodComment.assign(foods, std::string());
  m_.gFormCode.assign(forms, 0);
  m_.gFormConsRec.assign(forms, 0);
  m_.gFormResidue.assign(forms, 0.0f);
  m_.gFormAdj1.assign(forms, 0.0f);
  m_.gFormAdj2.assign(forms, 0.0f);
  m_.gFormComment.assign(forms, std::string());
  m_.gResFoodCount = 0;

  int i = 0;
  int j = 1;
  std::string unusedText;
  while (!r_.AtEnd()) {
    std::int16_t f;
    if (!Int(f, "food number of entry ", std::to_string(i + 1))) return false;
    if (f == 0) continue;
    const std::string what = "food entry " + std::to_string(i + 1);
    if (f < 0 || f > m_.gFoodCount)
      return Damaged("line " + std::to_string(r_.line()) + ": food number " + std::to_string(f) +
                     " of " + what + " lies outside the master food list (1 to " +
                     std::to_string(m_.gFoodCount) + ")");
    if (i + 1 > m_.gFoodCount)
      return Damaged("it holds more food entries than the " + std::to_string(m_.gFoodCount) +
                     " foods of the master food list");
    ++i;
    auto e = static_cast<std::size_t>(i);
    m_.gFoodConsRec[e] = f;
    std::string code;
    ResidueFood* kept = nullptr;
    if (items_) {
      kept = &items_->foods.emplace_back();
      kept->number = f;
    }
    if (!Text(code, "EPA code of ", what) || !Text(unusedText, "", what) ||
        !Float(m_.gFoodResidue[e], "residue of ", what) ||
        !SkipPairs(what, kept ? &kept->pairs : nullptr) ||
        !Float(m_.gFoodAdj1[e], "adjustment factor #1 of ", what) ||
        !Float(m_.gFoodAdj2[e], "adjustment factor #2 of ", what) ||
        !Int(m_.gFoodFormCount[e], "number of food forms of ", what) ||
        !Text(m_.gFoodName[e], "food name of ", what) ||
        !Text(m_.gFoodComment[e], "comment of ", what))
      return false;
    if (kept) {
      kept->code = code;
      kept->text = unusedText;
      kept->residue = m_.gFoodResidue[e];
      kept->adj1 = m_.gFoodAdj1[e];
      kept->adj2 = m_.gFoodAdj2[e];
      kept->name = m_.gFoodName[e];
      kept->comment = m_.gFoodComment[e];
    }
    code = TrimBlanks(code);
    if (code.size() == 9) code = "0" + code;
    m_.gFoodCode[e] = code;
    int forms = m_.gFoodFormCount[e];
    if (forms < 0)
      return Damaged("line " + std::to_string(r_.line()) + ": " + what +
                     " has a negative number of food forms");
    if (forms == 0) continue;
    if (j + forms - 1 > m_.gRacCount)
      return Damaged("it holds more food-form entries than the " + std::to_string(m_.gRacCount) +
                     " entries of the master food-form list");
    m_.gFoodFirstForm[e] = static_cast<std::int16_t>(j);
    if (!ReadForms(i, f, forms, j)) return false;
    j += forms;
  }
  m_.gResFoodCount = static_cast<std::int16_t>(i);
  return true;
}

bool ResidueFileParser::ReadForms(int i, int f, int n, int& j) {
  auto fi = static_cast<std::size_t>(f);
  int first = m_.gFoodFormCode2[fi];
  int last = first + m_.gFoodFormCode1[fi] - 1;
  std::string unusedText;
  for (int x = 0; x < n; ++x) {
    auto k = static_cast<std::size_t>(j + x);
    const std::string what =
        "food form " + std::to_string(x + 1) + " of food entry " + std::to_string(i);
    std::int16_t code;
    if (!Int(code, "food-form code of ", what) || !Text(unusedText, "", what)) return false;
    std::int16_t rec = 0;
    for (int c = first; c <= last; ++c) {
      if (c >= 1 && c <= m_.gRacCount && m_.gRacValue[static_cast<std::size_t>(c)] == code) {
        rec = static_cast<std::int16_t>(c);
        break;
      }
    }
    m_.gFormConsRec[k] = rec;
    m_.gFormCode[k] = code;
    ResidueForm* kept = nullptr;
    if (items_) {
      kept = &items_->foods.back().forms.emplace_back();
      kept->code = code;
      kept->text = unusedText;
    }
    if (!Float(m_.gFormResidue[k], "residue of ", what) ||
        !SkipPairs(what, kept ? &kept->pairs : nullptr) ||
        !Float(m_.gFormAdj1[k], "adjustment factor #1 of ", what) ||
        !Float(m_.gFormAdj2[k], "adjustment factor #2 of ", what) ||
        !Text(m_.gFormComment[k], "comment of ", what))
      return false;
    if (kept) {
      kept->residue = m_.gFormResidue[k];
      kept->adj1 = m_.gFormAdj1[k];
      kept->adj2 = m_.gFormAdj2[k];
      kept->comment = m_.gFormComment[k];
    }
  }
  return true;
}

void ReadResidueItems(ModOrmid& m, Platform& p, ItemReader& reader, int& failed,
                      ResidueFile* items) {
  ResidueFileParser parser(m, p, reader, items);
  if (!parser.Run()) {
    failed = 1;
    return;
  }
  if (m.gResFoodCount == 0) {
    p.MessageBox("File " + m.gResidueFileName +
                     " has no foods or foodforms with residue values. No analysis can be "
                     "performed.",
                 "Empty Residue File", MsgIcon::Information, MsgButtons::OK);
    failed = 1;
  }
}

}  // namespace

void ReadResidueFile(ModOrmid& m, Platform& p, int& failed, ResidueFile* items) {
  auto reader = ItemReader::FromFile(m.gResidueFileName);
  if (!reader) {
    p.MessageBox("Residue file " + m.gResidueFileName +
                     " can't be read: the file cannot be opened. Can't use this file.",
                 "Reading Residue File", MsgIcon::Exclamation, MsgButtons::OK);
    failed = 1;
    return;
  }
  ReadResidueItems(m, p, *reader, failed, items);
}

void ReadResidueText(ModOrmid& m, Platform& p, std::string text, int& failed, ResidueFile* items) {
  ItemReader reader(std::move(text));
  ReadResidueItems(m, p, reader, failed, items);
}

std::string ResidueFileFilter(int surveyBase) {
  switch (surveyBase) {
    case 0:
      return "Residue files (*.R98)|*.R98;*.r98";
    case 1:
      return "Residue files (*.R1D)|*.R1D;*.r1d";
    case 2:
      return "Residue files (*.R10)|*.R10;*.r10";
    default:
      return "";
  }
}

std::string ResidueFileLabel(const std::string& path) {
  std::string name = FileNameOnly(path);
  if (name.size() > 50) name = "..." + name.substr(name.size() - 47);
  return name;
}

namespace {

// Whether the chosen residue file is there; asks the user what to do when it
// is not (OK: choose again).
bool ResidueFileFound(ModOrmid& m, Platform& p, bool& again) {
  again = false;
  if (p.FileExists(m.gResidueFileName)) return true;
  auto answer = p.MessageBox(
      "Can't find file " + m.gResidueFileName +
          ". The pathname is probably incorrect. Press 'OK' to return to dialog box and make "
          "sure that the path name and file name are correctly matched, or press 'Cancel' to "
          "return to main menu.",
      "Path Error", MsgIcon::Information, MsgButtons::OKCancel);
  again = answer == MsgAnswer::OK;
  return false;
}

// Reads the chosen residue file and makes its folder the residue path.
bool LoadChosenResidueFile(ModOrmid& m, Platform& p) {
  int failed = 0;
  ReadResidueFile(m, p, failed);
  if (failed != 0) return false;
  m.gResidueLoaded = 1;
  auto sep = LastSeparator(m.gResidueFileName);
  if (sep != std::string::npos) m.gResiduePath = m.gResidueFileName.substr(0, sep + 1);
  return true;
}

}  // namespace

void OpenResidueFile(ModOrmid& m, Platform& p, int& cancelled) {
  m.gResidueLoaded = 0;
  for (;;) {
    FileDialogRequest request;
    request.filter = ResidueFileFilter(m.gSurveyBase);
    request.fileName = m.gResidueFileName;
    request.initialDir = m.gResiduePath;
    request.filterIndex = 1;
    auto chosen = p.OpenFileDialog(request);
    if (!chosen) {
      cancelled = 1;
      return;
    }
    m.gResidueFileName = *chosen;
    bool again = false;
    if (ResidueFileFound(m, p, again)) break;
    if (!again) {
      cancelled = 1;
      return;
    }
  }
  if (!LoadChosenResidueFile(m, p)) cancelled = 1;
}

bool OpenNamedResidueFile(ModOrmid& m, Platform& p, const std::string& path) {
  m.gResidueLoaded = 0;
  m.gResidueFileName = path;
  bool again = false;
  return ResidueFileFound(m, p, again) && LoadChosenResidueFile(m, p);
}

}  // namespace ormid
