// ModOrmid: the module-wide state of the Ormid long-term exposure module.
//
// One instance lives for the whole program run. The start-up fills the
// environment once; each residue file open replaces the residue table; each
// run request replaces the run parameters; each run replaces the exposure
// totals. Arrays are used from index 1 (element 0 is unused unless noted).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/endpoint.h"
#include "core/run_kind.h"

namespace ormid {

using Int16 = std::int16_t;

// Survey bases, fixed by the support list.
inline constexpr Int16 kSurveyCsfii = 0;
inline constexpr Int16 kSurveyNhanesOneDay = 1;
inline constexpr Int16 kSurveyNhanesTwoDay = 2;

// gReportDest: the destination chosen on the destination dialog.
inline constexpr Int16 kDestNone = 0;
inline constexpr Int16 kDestScreen = 1;
inline constexpr Int16 kDestPrinter = 2;
inline constexpr Int16 kDestDiskFile = 3;

inline constexpr const char* kSupportListFile = "KavriSupport.txt";
inline constexpr const char* kSetupFile = "SetupKAVRINH.txt";

// Program version 4.0.1, shown as "4.01".
inline constexpr int kVersionMajor = 4;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 1;

struct ModOrmid {
  // --- Environment (start-up) ---
  std::string gProgramVersion;
  std::string gWorkingDir;
  Int16 gSurveyBase = 0;
  std::string gDataVersion;
  std::string gSupportNote;
  std::string gFoodFormFile;      // support file 1
  std::string gFoodFile;          // support file 2
  std::string gRacFile;           // support file 3
  std::string gSupportFile4;      // support file 4 (presence only)
  std::string gConsumptionFile1;  // support file 5
  std::string gConsumptionFile2;  // support file 6
  std::string gSupportFile7;      // CSFII lists only; never looked up
  Int16 gSupportFirst = 0;
  Int16 gSupportLast = 0;
  std::vector<std::string> gSupportListA;
  std::vector<std::string> gSupportListB;
  Int16 gFoodCount = 0;
  Int16 gSupportCount2 = 0;
  Int16 gRacCount = 0;
  Int16 gPopCount = 0;
  std::vector<std::string> gPopNames;   // 0..gPopCount, by report row
  std::vector<std::string> gPopNames2;  // copy used by the report writers

  // Setup file items.
  std::string gResiduePath;
  Int16 gPageLength = 0;
  std::string gSetupField3;
  std::string gReportBanner;
  std::string gSetupField5;
  std::string gSetupField6;
  std::string gPageNumbers;
  std::string gSetupField8;
  std::string gSetupField9;

  // Food-form digit descriptions and the crop group list.
  std::vector<std::string> gFormDesc1 = std::vector<std::string>(10);
  std::vector<std::string> gFormDesc2;
  std::vector<std::string> gFormDesc3;
  Int16 gCropGroupCount = 0;
  std::vector<Int16> gCropGroupNumber;       // 0..gCropGroupCount
  std::vector<std::string> gCropGroupNames;  // element 0 = "All crop groups"

  // Master lists.
  std::vector<Int16> gRacValue;             // 0..gRacCount: food-form code of master entry k
  std::vector<std::string> gFoodCropGroup;  // 0..gFoodCount
  std::vector<Int16> gFoodFormCode1;        // number of master food-form entries of food f
  std::vector<Int16> gFoodFormCode2;        // index of its first master food-form entry

  // Report row -> consumption column.
  std::vector<Int16> gPopOrder;
  // PAD per report row, mg/kg bw/day; 0 = none (the RfD applies).
  std::vector<float> gPAD;
  Int16 gPADRowCount = 0;
  Int16 gPADFirstPop = 0;

  // --- Residue file header and table ---
  std::string gResidueFileName;
  std::string gChemicalName;
  std::string gResidueFileDate;
  std::string gResidueFormatTag;  // the format tag as the file holds it
  Int16 gResidueLoaded = 0;
  Int16 gResFoodCount = 0;
  std::vector<Int16> gFoodConsRec;
  std::vector<std::string> gFoodCode;
  std::vector<float> gFoodResidue;
  std::vector<float> gFoodAdj1;
  std::vector<float> gFoodAdj2;
  std::vector<Int16> gFoodFormCount;
  std::vector<Int16> gFoodFirstForm;
  std::vector<std::string> gFoodName;
  std::vector<std::string> gFoodComment;
  std::vector<Int16> gFormCode;
  std::vector<Int16> gFormConsRec;
  std::vector<float> gFormResidue;
  std::vector<float> gFormAdj1;
  std::vector<float> gFormAdj2;
  std::vector<std::string> gFormComment;

  // --- Run parameters ---
  Endpoint gEndpoint = Endpoint::None;
  float gNOEL = 0;
  float gRefDose = 0;
  float gQStar = 0;
  Int16 gUseAdj2 = 0;
  float gCritFoodPct = 0;
  float gCritCropPct = 0;
  std::vector<std::string> gCommodityKind;  // 0..gPopCount: "A", "B", "C" or ""
  std::string gRunComment;

  // --- Exposure totals, by consumption column ---
  std::vector<float> gPopExposure;

  // --- Report building and delivery ---
  Int16 gLineCount = 0;
  Int16 gPageNumber = 0;
  std::string gFoodTableRule;
  std::string gCropTableRule;
  Int16 gReportKind = 0;  // ReportCodeOf the report being delivered
  Int16 gReportDest = 0;
  std::string gSaveFileName;

  // --- Crop group membership (rebuilt on every commodity run) ---
  // gGroupFoods[k] = {unused, member count, first member food}
  std::vector<std::array<Int16, 3>> gGroupFoods;
  // gFoodGroups[f] = {group count, main group, subgroup, subgroup}
  std::vector<std::array<Int16, 4>> gFoodGroups;

  // Number of consumption columns of the survey base's record layout.
  int ConsumptionColumns() const { return gSurveyBase == 0 ? 33 : 24; }
  // Record lengths of the consumption files and the master food file.
  int ConsumptionRecordLength() const { return gSurveyBase == 0 ? 144 : 110; }
  int MasterFoodRecordLength() const { return gSurveyBase == 0 ? 60 : 62; }
};

}  // namespace ormid
