// Residue files as the KAVRI-FCID family writes them: the header items, the
// chemical block of a multi-chemical file, and the food and food-form entries,
// every text item in double quotes and every line ended by CR LF. The reader
// (residue_reader.h) reads exactly this layout back; it can also hand over a
// file's items in the same description, so that a file read and written again
// comes out byte for byte as it was.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ormid {

struct ResidueForm {
  std::int16_t code = 0;
  std::string text;  // the entry's free text, not read by Ormid
  float residue = 0;
  float adj1 = 1;
  float adj2 = 1;
  // Multi-chemical values: exactly K pairs are written, missing ones as 0.
  std::vector<std::pair<float, float>> pairs;
  std::string comment;
};

struct ResidueFood {
  std::int16_t number = 0;
  std::string code;  // written as given (a 9-character NHANES code stays 9)
  std::string text;  // the entry's free text (the crop group code), not read by Ormid
  float residue = 0;
  std::vector<std::pair<float, float>> pairs;  // as for ResidueForm
  float adj1 = 1;
  float adj2 = 1;
  std::string name;
  std::string comment;
  std::vector<ResidueForm> forms;
};

// One chemical of a multi-chemical file: its line, and the second line that is
// written only when the number formed by the line's last two characters is
// not 0.
struct ChemicalLine {
  std::string line;
  std::string secondLine;
};

struct ResidueFile {
  std::string chemical;
  float rfd = 0;
  std::string tag = "FCID1";
  float item4 = 0;
  std::string item5;
  float noel = 0;
  float item7 = 0;
  float qStar = 0;
  std::string date = "01-15-2024";
  // Written after the date when the tag contains "MC".
  std::vector<ChemicalLine> chemicals;
  std::optional<std::string> comment;  // present: item 11 is -1, comment, count
  std::optional<std::int16_t> foodCountOverride;
  std::int16_t pairCount = 0;  // K
  std::vector<ResidueFood> foods;
};

// A text item of the family's comma-separated files: always in double
// quotes, so that it may hold commas. Throws std::invalid_argument when the
// text holds a double quote.
std::string Quoted(const std::string& text);
// Appends one line of comma-separated items and its CR LF.
void AddLine(std::string& out, const std::vector<std::string>& items);

// True when the tag marks a multi-chemical file (it contains "MC").
bool IsMultiChemicalTag(const std::string& tag);
// True when the entries carry the K value pairs: the tag contains "MC" and the
// file lists at least one chemical.
bool UsesChemicalPairs(const ResidueFile& file);
// The number formed by a text's last two characters (0 when they hold none).
double TrailingNumber(const std::string& line);
// A float as the shortest decimal text that reads back to the same value,
// in plain decimals unless the exponent form is much shorter.
std::string ResidueNumberText(float value);

// The file's bytes. Throws std::invalid_argument when a text item holds a
// double quote or an entry more value pairs than the file's count: the file
// could not be read back as it was meant.
std::string ResidueFileText(const ResidueFile& file);

}  // namespace ormid
