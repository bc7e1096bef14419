// Writers for every file of an Ormid installation: the support list, the setup
// file, the food-form and crop group description file, the master food and
// master food-form files, the two consumption data files and residue files.
//
// A test (or the sample generator) describes the installation it needs in the
// structs below and writes it into a folder. Everything is written exactly as
// the KAVRI-FCID family lays it out: text files with CR LF line ends and
// comma-separated items, binary files as little-endian fixed-length records.
//
// Functions throw std::runtime_error when a file cannot be written and
// std::invalid_argument when a description cannot be laid out (too many
// consumption values for the record, a number that does not fit its field).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "residue/residue_file_writer.h"

namespace ormid::testdata {

// Record sizes and consumption column counts by survey base (0 = CSFII,
// anything else = NHANES).
inline constexpr int kCsfiiFoodRecordSize = 60;
inline constexpr int kNhanesFoodRecordSize = 62;
inline constexpr int kFormRecordSize = 6;
inline constexpr int kCsfiiConsumptionRecordSize = 144;
inline constexpr int kNhanesConsumptionRecordSize = 110;
inline constexpr int kCsfiiColumns = 33;
inline constexpr int kNhanesColumns = 24;
inline constexpr int kCsfiiCodeWidth = 8;
inline constexpr int kNhanesCodeWidth = 10;

int FoodRecordSize(int surveyBase);
int ConsumptionRecordSize(int surveyBase);
int ConsumptionColumns(int surveyBase);
int CodeWidth(int surveyBase);

// One consumption record. By default the record carries the food's code and,
// in the food-form file, the form's code; both can be overridden to build
// records that disagree with the residue file. A code of "" gives an all-blank
// code field: a record without data.
struct Consumption {
  std::vector<float> values;             // consumption columns 1.., missing ones are 0
  std::optional<std::string> code;       // written blank-padded to the code width
  std::optional<std::int16_t> formCode;  // default: the form's code, 0 in food records
  std::optional<std::int16_t> reserved;  // default: the master food number
};

struct MasterForm {
  std::int16_t code = 0;  // 3-digit food-form code
  Consumption consumption;
};

struct MasterFood {
  std::int16_t number = 0;       // master food number; 0 marks the record empty
  int recordPosition = 0;        // record of the master food file; 0 = number
  std::string code;              // EPA (FCID) food code
  std::string cropGroup;         // crop group code, up to 3 characters
  std::int32_t extraNumber = 0;  // the record's 4-byte number, not read by Ormid
  std::string name;              // up to 39 characters
  std::vector<MasterForm> forms;
  Consumption consumption;  // the food-level consumption record
};

struct FormDescription {
  int digit = 0;
  std::string text;
};

struct CropGroup {
  std::int16_t number = 0;  // group number; 0 for a subgroup
  std::string name;
};

struct SetupItems {
  std::string residuePath = "residues/";
  std::int16_t pageLength = 60;
  std::string field3;
  std::string banner = "KAVRI-FCID";
  std::string field5;
  std::string field6;
  std::string pageNumbers = "Y";
  std::string field8;
  std::string field9;
};

struct Installation {
  std::string heading = "KAVRI-FCID support data";
  int surveyBase = 0;
  std::string dataVersion;
  std::string supportNote;
  // Six support file names (CSFII: seven): description file, master food
  // file, master food-form file, support file 4, food-level consumption file,
  // food-form consumption file[, support file 7].
  std::vector<std::string> supportFiles;
  std::string supportFile4Text;                 // "" writes a short default
  std::optional<std::string> supportFile7Text;  // written only when set
  std::int16_t supportFirst = 1;
  std::vector<std::string> supportListA;
  std::vector<std::string> supportListB;
  std::int16_t supportCount2 = 0;
  std::vector<std::string> subgroups;  // population subgroup names, report-row order
  SetupItems setup;
  std::string formHeading1 = "Cooking";
  std::string formHeading2 = "Processing";
  std::string formHeading3 = "Source";
  std::vector<FormDescription> formDesc1, formDesc2, formDesc3;
  std::vector<CropGroup> cropGroups;  // entry k is crop group index k
  std::vector<MasterFood> foods;      // master food-form entries follow this order
  // Counts written to the support list; by default those of the files.
  std::optional<std::int16_t> foodCountOverride;
  std::optional<std::int16_t> racCountOverride;
  std::optional<std::int16_t> popCountOverride;
};

// Position in the master food-form list (1-based) of the first form of each
// food, in the order of inst.foods; 0 for a food without forms.
std::vector<int> FirstFormIndexes(const Installation& inst);
// Number of records of the master food file (the highest record position).
int FoodRecordCount(const Installation& inst);
int FormEntryCount(const Installation& inst);

// File contents, as written by WriteInstallation.
std::string SupportListText(const Installation& inst);
std::string SetupText(const SetupItems& setup);
std::string DescriptionText(const Installation& inst);
std::string MasterFoodBytes(const Installation& inst);
std::string MasterFormBytes(const Installation& inst);
std::string FoodConsumptionBytes(const Installation& inst);
std::string FormConsumptionBytes(const Installation& inst);

// Writes KavriSupport.txt, SetupKAVRINH.txt and support files 1 to 6 (and 7
// when its text is set) into dir, which is created when missing.
void WriteInstallation(const Installation& inst, const std::filesystem::path& dir);

// --- Residue files ---
// The residue file layout and its writer belong to Ormid itself
// (residue/residue_file_writer.h); tests and samples write their files
// through it.

using ormid::ChemicalLine;
using ormid::ResidueFile;
using ormid::ResidueFileText;
using ormid::ResidueFood;
using ormid::ResidueForm;
using ormid::TrailingNumber;
using ormid::UsesChemicalPairs;
inline std::string FloatText(float value) {
  return ormid::ResidueNumberText(value);
}

void WriteResidueFile(const ResidueFile& file, const std::filesystem::path& path);

// Writes bytes to path, creating its folder.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace ormid::testdata
