// Residue tables as a spreadsheet program may save them, read and checked
// against the chosen installation. A table that passes every check must make
// a residue file that Ormid reads, whose items written again are the same
// bytes, and whose exported table makes the same file once more.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/mod_ormid.h"
#include "fuzz/fuzz_support.h"
#include "residue/residue_reader.h"
#include "residue_table/residue_table.h"

namespace {

using namespace ormid;

const MasterFoods& FoodsOf(int kind) {
  static MasterFoods foods[fuzz::kKinds];
  static bool loaded[fuzz::kKinds] = {};
  if (!loaded[kind]) {
    ModOrmid m = fuzz::StartedKind(kind);
    m.gFoodFile = (std::filesystem::path(fuzz::KindFolder(kind)) / m.gFoodFile).string();
    std::string error;
    fuzz::Require(LoadMasterFoods(m, foods[kind], error), "the master food list");
    loaded[kind] = true;
  }
  return foods[kind];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  auto in = fuzz::SplitInput(data, size);
  const ModOrmid& m = fuzz::StartedKind(in.kind);
  CsvTable table;
  TableProblem problem;
  if (!ReadCsvTable(in.file, table, problem)) {
    fuzz::Require(problem.line >= 0, "a problem's line");
    return 0;
  }
  const TableImport made = ImportResidueRows(m, FoodsOf(in.kind), table, "03-14-2024");
  for (const TableProblem& p : made.problems)
    fuzz::Require(p.line >= 1 || p.line == 0, "a problem's line");
  if (!made.problems.empty() || ResidueExtension(m).empty()) return 0;

  const std::string text = ResidueFileText(made.file);
  ModOrmid read = m;
  fuzz::FuzzPlatform platform;
  ResidueFile items;
  int failed = 0;
  ReadResidueText(read, platform, text, failed, &items);
  fuzz::Require(failed == 0, "Ormid reads the residue file a checked table makes");
  fuzz::Require(ResidueFileText(items) == text, "the file's items written again are the file");

  CsvTable again;
  fuzz::Require(ReadCsvTable(CsvTableText(ResidueTableRows(read, items)), again, problem),
                "the exported table splits into rows");
  const TableImport remade = ImportResidueRows(m, FoodsOf(in.kind), again, "03-14-2024");
  fuzz::Require(remade.problems.empty(), "the exported table passes the checks");
  fuzz::Require(ResidueFileText(remade.file) == text, "the exported table makes the same file");
  return 0;
}
