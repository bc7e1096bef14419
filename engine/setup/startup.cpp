#include "setup/startup.h"

#include <string>
#include <vector>

#include "core/item_reader.h"
#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/platform.h"
#include "core/record_file.h"

namespace ormid {

namespace {

const char* const kFatalTitle = "Fatal error!";

// A damaged installation file ends the program like a missing one.
bool DamagedFile(Platform& p, const std::string& file, const std::string& problem) {
  p.MessageBox("File " + file + " can't be read: " + problem + ".   Can't continue.", kFatalTitle,
               MsgIcon::Critical, MsgButtons::OK);
  return false;
}

bool OpenItems(Platform& p, const std::string& file, std::optional<ItemReader>& reader) {
  reader = ItemReader::FromFile(file);
  if (!reader) return DamagedFile(p, file, "the file cannot be opened");
  return true;
}

}  // namespace

// The package is made with the version of CMakeLists.txt's project().
#ifdef ORMID_PACKAGE_VERSION_MAJOR
static_assert(kVersionMajor == ORMID_PACKAGE_VERSION_MAJOR &&
                  kVersionMinor == ORMID_PACKAGE_VERSION_MINOR &&
                  kVersionRevision == ORMID_PACKAGE_VERSION_PATCH,
              "the version of project() in CMakeLists.txt is the program's (core/mod_ormid.h)");
#endif

std::string PackageVersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionRevision);
}

std::string ProgramVersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         std::to_string(kVersionRevision);
}

bool FindWorkingFolder(ModOrmid& m, Platform& p) {
  for (;;) {
    if (p.FileExists(kSupportListFile)) return true;
    std::string prompt = std::string("Can't find file ") + kSupportListFile +
                         " in default directory. Enter directory location of VUVEVIZOZ or press "
                         "cancel to end.";
#ifdef _WIN32
    const char* defaultAnswer = "c:\\KAVRI\\";
#else
    const char* defaultAnswer = "/opt/KAVRI/";
#endif
    m.gWorkingDir = p.InputBox(prompt, "Directory problem", defaultAnswer);
    if (m.gWorkingDir.empty()) return false;
    if (HasDrive(m.gWorkingDir)) {
      if (!p.ChangeDir(m.gWorkingDir))
        p.MessageBox("Invalid directory", "Error", MsgIcon::Information, MsgButtons::OK);
    } else {
#ifdef _WIN32
      const char* example = "Please include drive with KAVRI directory path (e.g., d:\\KAVRI)";
#else
      const char* example =
          "Please include drive with KAVRI directory path (e.g., /opt/KAVRI, starting with /)";
#endif
      p.MessageBox(example, "Directory path error", MsgIcon::Exclamation, MsgButtons::OK);
    }
  }
}

bool ReadSupportList(ModOrmid& m, Platform& p) {
  const std::string file = kSupportListFile;
  if (!p.FileExists(file)) {
    p.MessageBox("File " + file +
                     " is not located in the current directory, can't proceed without this file.",
                 "Starting KAVRI-FCID", MsgIcon::Information, MsgButtons::OK);
    return false;
  }
  std::optional<ItemReader> r;
  if (!OpenItems(p, file, r)) return false;
  auto bad = [&](const std::string& what) {
    return DamagedFile(p, file, r->error() + " (" + what + ")");
  };
  std::string ignored;
  if (!r->ReadLine(ignored)) return bad("first line");
  if (!r->ReadCountLine(m.gSurveyBase)) return bad("survey base");
  if (!r->ReadLine(m.gDataVersion)) return bad("data version");
  if (!r->ReadLine(m.gSupportNote)) return bad("note line");
  std::string* names[] = {&m.gFoodFormFile, &m.gFoodFile,         &m.gRacFile,
                          &m.gSupportFile4, &m.gConsumptionFile1, &m.gConsumptionFile2,
                          &m.gSupportFile7};
  int nameCount = m.gSurveyBase == 0 ? 7 : 6;
  for (int i = 0; i < nameCount; ++i)
    if (!r->ReadText(*names[i])) return bad("support file " + std::to_string(i + 1));
  if (!r->ReadCountLine(m.gSupportFirst)) return bad("first support list index");
  if (!r->ReadCountLine(m.gSupportLast)) return bad("last support list index");
  if (m.gSupportFirst < 0 || m.gSupportLast < 0)
    return DamagedFile(p, file, "a support list index below 0");
  for (auto* list : {&m.gSupportListA, &m.gSupportListB}) {
    if (!r->ReadLine(ignored)) return bad("support list heading");
    list->assign(static_cast<std::size_t>(m.gSupportLast) + 1, std::string());
    for (int i = m.gSupportFirst; i <= m.gSupportLast; ++i)
      if (!r->ReadText((*list)[static_cast<std::size_t>(i)])) return bad("support list entry");
  }
  if (!r->ReadCountLine(m.gFoodCount)) return bad("number of master foods");
  if (!r->ReadCountLine(m.gSupportCount2)) return bad("second count");
  if (!r->ReadCountLine(m.gRacCount)) return bad("number of master food-form entries");
  if (!r->ReadCountLine(m.gPopCount)) return bad("number of population subgroups");
  if (m.gFoodCount < 0 || m.gRacCount < 0)
    return DamagedFile(p, file, "a negative number of master foods or food-form entries");
  if (m.gPopCount < 1 || m.gPopCount > m.ConsumptionColumns())
    return DamagedFile(p, file,
                       "the number of population subgroups is " + std::to_string(m.gPopCount) +
                           ", but the consumption data hold 1 to " +
                           std::to_string(m.ConsumptionColumns()));
  m.gPopNames.assign(static_cast<std::size_t>(m.gPopCount) + 1, std::string());
  for (int i = 1; i <= m.gPopCount; ++i)
    if (!r->ReadText(m.gPopNames[static_cast<std::size_t>(i)]))
      return bad("population subgroup " + std::to_string(i));
  m.gPopNames2 = m.gPopNames;

  // Support files 1 to 6 must be present; the seventh is never looked up.
  std::string missing;
  for (int i = 0; i < 6; ++i)
    if (!p.FileExists(*names[i])) missing += " " + *names[i];
  if (!missing.empty()) {
    p.MessageBox("The following support file(s) are missing from the KAVRI directory: " + missing +
                     ".   Can't continue.",
                 kFatalTitle, MsgIcon::Critical, MsgButtons::OK);
    return false;
  }
  if (!p.FileExists(kSetupFile)) {
    p.MessageBox(std::string("Can't find file ") + kSetupFile +
                     "in VUVEVIZOZ folder. Run VUVEVIZOZ and use File|Setup feature to create "
                     "this file.",
                 "Missing Set Up File", MsgIcon::Information, MsgButtons::OK);
    return false;
  }
  return ReadSetupFile(m, p);
}

bool ReadSetupFile(ModOrmid& m, Platform& p) {
  const std::string file = kSetupFile;
  std::optional<ItemReader> r;
  if (!OpenItems(p, file, r)) return false;
  bool ok =
      r->ReadText(m.gResiduePath) && r->ReadInt16(m.gPageLength) && r->ReadText(m.gSetupField3) &&
      r->ReadText(m.gReportBanner) && r->ReadText(m.gSetupField5) && r->ReadText(m.gSetupField6) &&
      r->ReadText(m.gPageNumbers) && r->ReadText(m.gSetupField8) && r->ReadText(m.gSetupField9);
  if (!ok) return DamagedFile(p, file, r->error());
  return true;
}

bool ReadFoodFormFile(ModOrmid& m, Platform& p) {
  const std::string file = m.gFoodFormFile;
  std::optional<ItemReader> r;
  if (!OpenItems(p, file, r)) return false;
  std::string ignored;
  const char* listNames[] = {"first", "second", "third"};
  std::vector<std::string>* lists[] = {&m.gFormDesc1, &m.gFormDesc2, &m.gFormDesc3};
  for (int l = 0; l < 3; ++l) {
    std::int16_t count;
    if (!r->ReadText(ignored) || !r->ReadInt16(count))
      return DamagedFile(p, file, r->error() + " (heading of the " + listNames[l] + " list)");
    if (count < 0)
      return DamagedFile(p, file, std::string("a negative count in the ") + listNames[l] + " list");
    auto& list = *lists[l];
    // The first digit list always holds the ten digits 0 to 9.
    list.assign(l == 0 ? 10 : static_cast<std::size_t>(count) + 1, std::string());
    for (int i = 0; i < count; ++i) {
      std::int16_t digit;
      std::string text;
      if (!r->ReadInt16(digit) || !r->ReadText(text))
        return DamagedFile(p, file, r->error() + " (" + listNames[l] + " description list)");
      if (digit < 0 || static_cast<std::size_t>(digit) >= list.size())
        return DamagedFile(p, file,
                           "line " + std::to_string(r->line()) + ": digit " +
                               std::to_string(digit) + " lies outside the " + listNames[l] +
                               " description list (0 to " + std::to_string(list.size() - 1) + ")");
      list[static_cast<std::size_t>(digit)] = text;
    }
  }
  if (!r->ReadInt16(m.gCropGroupCount))
    return DamagedFile(p, file, r->error() + " (number of crop groups)");
  if (m.gCropGroupCount < 0) return DamagedFile(p, file, "a negative number of crop groups");
  auto n = static_cast<std::size_t>(m.gCropGroupCount) + 1;
  m.gCropGroupNumber.assign(n, 0);
  m.gCropGroupNames.assign(n, std::string());
  m.gCropGroupNames[0] = "All crop groups";
  for (std::size_t k = 1; k < n; ++k) {
    std::string sequence;
    if (!r->ReadText(sequence) || !r->ReadInt16(m.gCropGroupNumber[k]) ||
        !r->ReadText(m.gCropGroupNames[k]))
      return DamagedFile(p, file, r->error() + " (crop group " + std::to_string(k) + ")");
  }
  return true;
}

bool LoadMasterLists(ModOrmid& m, Platform& p) {
  RecordFile rac;
  if (!rac.Open(m.gRacFile, 6)) return DamagedFile(p, m.gRacFile, "the file cannot be opened");
  if (rac.RecordCount() < m.gRacCount)
    return DamagedFile(p, m.gRacFile,
                       "it holds " + std::to_string(rac.RecordCount()) +
                           " food-form entries, the support list names " +
                           std::to_string(m.gRacCount));
  m.gRacValue.assign(static_cast<std::size_t>(m.gRacCount) + 1, 0);
  for (int k = 1; k <= m.gRacCount; ++k)
    m.gRacValue[static_cast<std::size_t>(k)] = ReadInt16LE(rac.Record(k), 0);

  const int len = m.MasterFoodRecordLength();
  const bool csfii = m.gSurveyBase == 0;
  RecordFile foods;
  if (!foods.Open(m.gFoodFile, len))
    return DamagedFile(p, m.gFoodFile, "the file cannot be opened");
  if (foods.RecordCount() < m.gFoodCount)
    return DamagedFile(p, m.gFoodFile,
                       "it holds " + std::to_string(foods.RecordCount()) +
                           " foods, the support list names " + std::to_string(m.gFoodCount));
  auto n = static_cast<std::size_t>(m.gFoodCount) + 1;
  m.gFoodFormCode1.assign(n, 0);
  m.gFoodFormCode2.assign(n, 0);
  m.gFoodCropGroup.assign(n, std::string());
  for (int r = 1; r <= m.gFoodCount; ++r) {
    auto rec = foods.Record(r);
    int f = ReadInt16LE(rec, 0);
    if (f == 0) continue;
    std::string where = "record " + std::to_string(r) + ": ";
    if (f < 0 || f > m.gFoodCount)
      return DamagedFile(p, m.gFoodFile,
                         where + "food number " + std::to_string(f) + " lies outside 1 to " +
                             std::to_string(m.gFoodCount));
    std::string group(rec.substr(csfii ? 10 : 12, 3));
    while (!group.empty() && group.back() == ' ') group.pop_back();
    std::int16_t count = ReadInt16LE(rec, csfii ? 56 : 58);
    std::int16_t first = ReadInt16LE(rec, csfii ? 58 : 60);
    if (count < 0 || (count > 0 && (first < 1 || first + count - 1 > m.gRacCount)))
      return DamagedFile(p, m.gFoodFile,
                         where + "food " + std::to_string(f) + " names food-form entries " +
                             std::to_string(first) + " to " + std::to_string(first + count - 1) +
                             ", outside the " + std::to_string(m.gRacCount) + " entries of " +
                             m.gRacFile);
    auto fi = static_cast<std::size_t>(f);
    m.gFoodCropGroup[fi] = group;
    m.gFoodFormCode1[fi] = count;
    m.gFoodFormCode2[fi] = first;
  }
  return true;
}

void BuildPopOrder(ModOrmid& m) {
  if (m.gSurveyBase == 0) {
    static const std::int16_t kCsfiiOrder[34] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                                 12, 13, 25, 14, 15, 18, 19, 21, 23, 26, 16, 17,
                                                 20, 22, 24, 27, 28, 29, 30, 31, 32, 33};
    m.gPopOrder.assign(std::begin(kCsfiiOrder), std::end(kCsfiiOrder));
  } else {
    m.gPopOrder.assign(static_cast<std::size_t>(m.gPopCount) + 1, 0);
    for (int i = 1; i <= m.gPopCount; ++i)
      m.gPopOrder[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i);
  }
}

std::string WindowCaption(const ModOrmid& m) {
  const char* start = nullptr;
  switch (m.gSurveyBase) {
    case 0:
      start = "Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998 (ver. ";
      break;
    case 1:
      start = "Kavri-FCID Ormid Analysis NHANES 1999-2006 1-day analysis (ver. ";
      break;
    case 2:
      start = "Kavri-FCID Ormid Analysis NHANES 2005-2010 2-day analysis (ver. ";
      break;
    default:
      return "Kavri-FCID Ormid Analysis for CSFII 1994-96, 1998";
  }
  return start + m.gProgramVersion + ", " + m.gDataVersion + ") ";
}

bool InitEnvironment(ModOrmid& m, Platform& p) {
  if (!ReadSupportList(m, p)) return false;
  if (!ReadFoodFormFile(m, p)) return false;
  BuildPopOrder(m);
  return true;
}

bool StartUp(ModOrmid& m, Platform& p, bool askForFolder) {
  m.gProgramVersion = ProgramVersionText();
  if (askForFolder && !FindWorkingFolder(m, p)) return false;
  m.gWorkingDir = p.CurrentDir();
  if (!InitEnvironment(m, p)) return false;
  if (!ReadSetupFile(m, p)) return false;
  if (m.gSurveyBase == 0) {
    m.gPADRowCount = 20;
    m.gPADFirstPop = 14;
  } else {
    m.gPADRowCount = 19;
    m.gPADFirstPop = 6;
  }
  m.gPAD.assign(static_cast<std::size_t>(m.gPopCount) + 1, 0.0f);
  m.gResidueFileName.clear();
  return LoadMasterLists(m, p);
}

}  // namespace ormid
