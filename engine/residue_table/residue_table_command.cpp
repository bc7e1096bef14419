#include "residue_table/residue_table_command.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include <stdexcept>

#include "core/mod_ormid.h"
#include "core/paths.h"
#include "core/platform.h"
#include "core/record_file.h"
#include "residue/residue_file_writer.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"

namespace ormid {
namespace {

const char* const kExportTitle = "Export Residue Table";
const char* const kImportTitle = "Import Residue Table";

// The extension of a file name, upper case, with its dot ("" for none).
std::string Extension(const std::string& path) {
  const std::string name = FileNameOnly(path);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : ToUpper(name.substr(dot));
}

std::string SurveyBaseName(int surveyBase) {
  switch (surveyBase) {
    case 0:
      return "CSFII 1994-96, 1998";
    case 1:
      return "NHANES 1999-2006, 1-day";
    case 2:
      return "NHANES 2005-2010, 2-day";
    default:
      return "survey base " + std::to_string(surveyBase);
  }
}

// Writes a file the user named, after the overwrite question when it exists.
bool WriteNamedFile(Platform& p, const std::string& path, const std::string& bytes,
                    const char* title) {
  if (p.FileExists(path) &&
      p.MessageBox("File " + path + " already exists. Do you want to write over this file?", title,
                   MsgIcon::Question, MsgButtons::YesNoDefaultNo) != MsgAnswer::Yes)
    return false;
  std::string error;
  if (p.WriteFile(path, bytes, FileKind::SavedCopy, error)) return true;
  p.MessageBox("File " + path + " could not be written: " + error + ".", title,
               MsgIcon::Exclamation, MsgButtons::OK);
  return false;
}

std::string Located(const std::string& table, const TableProblem& problem, const char* kind) {
  std::string where = table + ":";
  if (problem.line > 0) where += std::to_string(problem.line) + ":";
  return where + " " + kind + problem.text;
}

}  // namespace

std::string ExportUsageProblem(const std::string& table) {
  const std::string ext = Extension(table);
  if (ext == ".CSV" || ext == ".XLSX") return std::string();
  return "the table " + table + " must end in .csv or .xlsx";
}

std::string ImportUsageProblem(const ModOrmid& m, const std::string& table,
                               const std::string& output) {
  // Standard input ("-") is read as a CSV table.
  if (table != "-" && Extension(table) != ".CSV")
    return "the table " + table + " must be a .csv file (save a workbook as CSV first)";
  const std::string wanted = ResidueExtension(m);
  if (wanted.empty())
    return "the installation's survey base is " + SurveyBaseName(m.gSurveyBase) +
           ", whose residue files Ormid cannot read";
  if (Extension(output) != wanted)
    return "the installation's survey base is " + SurveyBaseName(m.gSurveyBase) +
           ": its residue files end in " + wanted + ", not " +
           (Extension(output).empty() ? std::string("\"\"") : Extension(output));
  return std::string();
}

namespace {

// Clears what commands killed before their end left beside `path`.
void StaleFilesBeside(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  if (!ec && !path.empty()) RemoveStaleTemporaryFiles(full.parent_path().string());
}

}  // namespace

TableExportOutcome ExportResidueTable(ModOrmid& m, Platform& p, const std::string& residueFile,
                                      const std::string& tableName, const std::string& table) {
  TableExportOutcome outcome;
  StaleFilesBeside(table);
  m.gResidueFileName = residueFile;
  ResidueFile items;
  int failed = 0;
  ReadResidueFile(m, p, failed, &items);
  if (failed != 0) return outcome;
  if (const std::string why = ExportRefusal(items); !why.empty()) {
    p.MessageBox("Residue file " + residueFile + " cannot be exported as a table: " + why + ".",
                 kExportTitle, MsgIcon::Exclamation, MsgButtons::OK);
    return outcome;
  }
  const std::vector<TableRow> rows = ResidueTableRows(m, items);

  // The table goes through the import's checks, so that the user learns now
  // which rows an import would refuse (Ormid reads a food form that is not
  // among its commodity's master food forms, but nothing of it is consumed).
  // Each row is a line of the CSV table and a row of the workbook.
  CsvTable again;
  again.records.reserve(rows.size());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    TableRecord& record = again.records.emplace_back();
    record.line = static_cast<int>(r + 1);
    record.cells.reserve(rows[r].size());
    for (const TableCell& cell : rows[r]) record.cells.push_back(cell.text);
  }
  MasterFoods foods;
  std::string error;
  if (LoadMasterFoods(m, foods, error)) {
    const TableImport check = ImportResidueRows(m, foods, again, FormatReportDate(p.Now()));
    for (const TableProblem& pr : check.problems)
      outcome.warnings.push_back(Located(
          tableName, {pr.line, pr.text + "; an import of the table refuses it"}, "warning: "));
  }

  std::string bytes;
  if (Extension(table) != ".XLSX") {
    bytes = CsvTableText(rows);
  } else if (!XlsxTableBytes(rows, bytes, error)) {
    p.MessageBox("The workbook " + table + " could not be made: " + error + ".", kExportTitle,
                 MsgIcon::Exclamation, MsgButtons::OK);
    return outcome;
  }
  outcome.written = WriteNamedFile(p, table, bytes, kExportTitle);
  return outcome;
}

namespace {

// The import of a table read twice by `first` and `again` (for the
// separator, then row by row); `readFailed` tells whether either stopped
// before the table's end.
TableImportOutcome ImportFrom(ModOrmid& m, Platform& p, const std::string& tableName,
                              const TableSource& first, const TableSource& again,
                              const std::function<bool()>& readFailed, const std::string& output) {
  TableImportOutcome outcome;
  auto problem = [&](const TableProblem& pr) {
    outcome.problems.push_back(Located(tableName, pr, ""));
  };
  MasterFoods foods;
  std::string error;
  if (!LoadMasterFoods(m, foods, error)) {
    problem({0, error});
    return outcome;
  }
  TableImport made;
  TableProblem split;
  if (!ImportResidueTableText(m, foods, first, again, FormatReportDate(p.Now()), made, split)) {
    problem(split);
    return outcome;
  }
  if (readFailed()) {
    problem({0, "the table could not be read to its end"});
    return outcome;
  }
  for (const TableProblem& w : made.warnings)
    outcome.warnings.push_back(Located(tableName, w, "warning: "));
  for (const TableProblem& pr : made.problems) problem(pr);
  outcome.problemCount = std::max(made.problemCount, outcome.problems.size());
  if (!outcome.problems.empty() || output.empty()) return outcome;
  std::string text;
  try {
    text = ResidueFileText(made.file);
  } catch (const std::invalid_argument& e) {
    problem({0, e.what()});  // the checks above keep every such text out
    return outcome;
  }
  outcome.written = WriteNamedFile(p, output, text, kImportTitle);
  return outcome;
}

std::string TooLarge() {
  return "the table is larger than " + std::to_string(kMaxTableBytes >> 20) +
         " MB; a residue table of every food form is a few MB";
}

}  // namespace

TableImportOutcome ImportResidueTable(ModOrmid& m, Platform& p, const std::string& tableName,
                                      const std::string& table, const std::string& output) {
  StaleFilesBeside(output);
  auto refused = [&](const std::string& text) {
    TableImportOutcome outcome;
    outcome.problems.push_back(Located(tableName, {0, text}, ""));
    return outcome;
  };
  // A residue table of every food form of the largest installation is a few
  // megabytes: a larger file is refused before it is read.
  std::error_code ec;
  if (std::filesystem::is_regular_file(table, ec) &&
      std::filesystem::file_size(table, ec) > kMaxTableBytes)
    return refused(TooLarge());
  // Read twice, a piece at a time: for the separator, then row by row.
  using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
  auto open = [&]() -> File {
    if (!std::filesystem::is_regular_file(table, ec)) return File(nullptr, std::fclose);
    return File(std::fopen(table.c_str(), "rb"), std::fclose);
  };
  File first = open(), again = open();
  if (!first || !again) return refused("the table cannot be opened");
  auto source = [](std::FILE* f) -> TableSource {
    return [f](char* buf, std::size_t n) { return std::fread(buf, 1, n, f); };
  };
  return ImportFrom(
      m, p, tableName, source(first.get()), source(again.get()),
      [&] { return std::ferror(first.get()) || std::ferror(again.get()); }, output);
}

TableImportOutcome ImportResidueTableBytes(ModOrmid& m, Platform& p, const std::string& tableName,
                                           const std::string& bytes, const std::string& output) {
  StaleFilesBeside(output);
  if (bytes.size() > kMaxTableBytes) {
    TableImportOutcome outcome;
    outcome.problems.push_back(Located(tableName, {0, TooLarge()}, ""));
    return outcome;
  }
  auto source = [&bytes](std::size_t& at) -> TableSource {
    return [&bytes, &at](char* buf, std::size_t n) {
      const std::size_t count = std::min(n, bytes.size() - at);
      std::copy_n(bytes.data() + at, count, buf);
      at += count;
      return count;
    };
  };
  std::size_t firstAt = 0, againAt = 0;
  return ImportFrom(
      m, p, tableName, source(firstAt), source(againAt), [] { return false; }, output);
}

std::vector<std::string> ProblemsToShow(const std::vector<std::string>& problems,
                                        std::size_t count) {
  count = std::max(count, problems.size());
  if (count <= kProblemsShown) return problems;
  std::vector<std::string> shown(problems.begin(),
                                 problems.begin() + std::min(problems.size(), kProblemsShown));
  shown.push_back("... and " + std::to_string(count - shown.size()) + " more problems");
  return shown;
}

}  // namespace ormid
