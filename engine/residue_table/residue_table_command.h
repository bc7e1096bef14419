// Export of a residue file as a table and import of a table as a residue
// file, on plain values: what `ormid-cli residue export` and `ormid-cli
// residue import` do once their arguments are parsed and the installation
// has started up. Messages go through the platform; the problems of a table
// come back as lines "TABLE:LINE: problem".
#pragma once

#include <string>
#include <vector>

namespace ormid {

struct ModOrmid;
class Platform;

// What is wrong with the names of a command before anything is read ("" when
// nothing): a table is .csv or .xlsx (import: .csv only), the residue file
// written is of the installation's kind.
std::string ExportUsageProblem(const std::string& table);
std::string ImportUsageProblem(const ModOrmid& m, const std::string& table,
                               const std::string& output);

struct TableExportOutcome {
  bool written = false;
  // Rows that an import of the table would refuse (a food form that is not
  // among the commodity's master food forms, a name too long for a table's
  // check): "TABLE:LINE: warning: ...".
  std::vector<std::string> warnings;
};

// Reads the residue file (the reader's messages, if any, through p) and writes
// it as a table, after the overwrite question when the table exists.
// The table is shown as tableName in the warnings.
TableExportOutcome ExportResidueTable(ModOrmid& m, Platform& p, const std::string& residueFile,
                                      const std::string& tableName, const std::string& table);

struct TableImportOutcome {
  bool written = false;
  std::vector<std::string> problems;  // "TABLE:LINE: problem", the first ones
  std::size_t problemCount = 0;       // all of them (at least problems.size())
  std::vector<std::string> warnings;  // "TABLE:LINE: warning: ..."
};

// Reads the table (shown as tableName in the problems), checks every row
// against the installation and, when nothing is wrong, writes the residue file
// output (after the overwrite question when it exists). With no output the
// table is only checked.
TableImportOutcome ImportResidueTable(ModOrmid& m, Platform& p, const std::string& tableName,
                                      const std::string& table, const std::string& output);
// The same of a table's bytes (read from standard input).
TableImportOutcome ImportResidueTableBytes(ModOrmid& m, Platform& p, const std::string& tableName,
                                           const std::string& bytes, const std::string& output);

// The lines to show: at most 50, then how many more of count there are.
std::vector<std::string> ProblemsToShow(const std::vector<std::string>& problems,
                                        std::size_t count);
inline constexpr std::size_t kProblemsShown = 50;

}  // namespace ormid
