// Residue tables: a residue file as a spreadsheet table (a header block of the
// chemical's values, then one row per food and per food form) and back, with
// every row of a table checked against the installation's master lists.
//
// The table, as exported and as read:
//   Chemical name,<text>          header block: one item per row, in any order
//   Format tag,<text>
//   File date,<text>
//   NOEL,<number>
//   RfD,<number>
//   Q*,<number>
//   Comment,<text>
//   Item 4,<number>               values the residue file keeps for the
//   Item 5,<text>                 residue file editor; Ormid does not use them
//   Item 7,<number>
//   Commodity code,Commodity name,Food form code,Food form,Residue (ppm),
//       Adjustment factor 1,Adjustment factor 2,Comment
//   <one row per food, its food forms' rows after it>
#pragma once

#include <string>
#include <vector>

#include "residue/residue_file_writer.h"
#include "residue_table/table_text.h"

namespace ormid {

struct ModOrmid;

// The master food list's codes and names by master food number (index 0 and
// numbers without a record stay empty).
struct MasterFoods {
  std::vector<std::string> code;
  std::vector<std::string> name;
};

// Reads the codes and names from the installation's master food file. False
// with error when the file cannot be read.
bool LoadMasterFoods(const ModOrmid& m, MasterFoods& foods, std::string& error);

// Why a residue file read with all its items cannot become a table ("" when
// it can): a multi-chemical file's values per chemical have no columns.
std::string ExportRefusal(const ResidueFile& file);

// The table of a residue file read with all its items (the table of m is
// the same file, read by the reader): labels come from the installation's
// food-form descriptions.
std::vector<TableRow> ResidueTableRows(const ModOrmid& m, const ResidueFile& file);

// The format tag of a residue file written for the installation, and whether
// the installation reads a file with this tag.
std::string InstallationTag(const ModOrmid& m);
bool InstallationReadsTag(const ModOrmid& m, const std::string& tag);
// The extension of the installation's residue files (".R98", ".R10"; "" for
// an installation whose residue files cannot be read).
std::string ResidueExtension(const ModOrmid& m);

// What a table makes: the residue file, or the problems that stop it; and
// warnings that do not.
struct TableImport {
  ResidueFile file;
  std::vector<TableProblem> problems;  // the first kProblemsKept, in line order
  std::size_t problemCount = 0;        // all of them
  std::vector<TableProblem> warnings;
};
inline constexpr std::size_t kProblemsKept = 1000;

// Checks a table read from CSV against the installation and builds the
// residue file. today is the file date used when the table gives none.
TableImport ImportResidueRows(const ModOrmid& m, const MasterFoods& foods, const CsvTable& table,
                              const std::string& today);
// The same as the table's bytes come, holding one line and one row at a
// time: `source` is read for the separator, `again` (the same bytes from
// their start) for the rows. False with the problem when the text cannot be
// split into rows.
bool ImportResidueTableText(const ModOrmid& m, const MasterFoods& foods, const TableSource& source,
                            const TableSource& again, const std::string& today, TableImport& made,
                            TableProblem& problem);

// The limits of the texts a residue file takes from a table.
inline constexpr std::size_t kMaxChemicalName = 50;
inline constexpr std::size_t kMaxCommodityName = 39;  // the master food list's name field
inline constexpr std::size_t kMaxComment = 255;
inline constexpr std::size_t kMaxTag = 20;
inline constexpr std::size_t kMaxDate = 20;
// A residue above this is almost always a unit mistake (ppb for ppm).
inline constexpr float kResidueWarningPpm = 10000.0f;

}  // namespace ormid
