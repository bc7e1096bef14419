// ormid-cli residue export and residue import on a copy of the CSFII sample
// installation: exit status, standard error and the files written.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_run.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

class ResidueCli : public ::testing::Test {
 protected:
  void SetUp() override {
    CopySampleInstallation("csfii", Csfii());
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
  }

  // Runs from the folder above the installation, as a user would with -C.
  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", "csfii"});
    return RunCliIn(dir_.path(), args);
  }
  fs::path Csfii() {
    fs::create_directories(dir_.path() / "csfii");
    return dir_.path() / "csfii";
  }

  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
};

TEST_F(ResidueCli, ExportThenImportGivesTheFileBack) {
  CliResult r = Run({"residue", "export", "csfii/residues/CYCLOFOS.R98", "cyclofos.csv"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Tagged FCID: the reader's update warning, then the export.
  EXPECT_TRUE(r.err.starts_with("R98 File Update Not Completed: ")) << r.err;
  ASSERT_TRUE(fs::exists(dir_.path() / "cyclofos.csv"));

  r = Run({"residue", "import", "cyclofos.csv", "again.R98"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadFileBytes(dir_.path() / "again.R98"),
            ReadFileBytes(Csfii() / "residues" / "CYCLOFOS.R98"));

  // Food forms that are not among their commodities' master forms: written,
  // each row named.
  WriteFileBytes(Csfii() / "residues" / "STRAY.R98",
                 WithStrayFoodForms(ReadFileBytes(Csfii() / "residues" / "DEMOFOS.R98")));
  r = Run({"residue", "export", "csfii/residues/STRAY.R98", "demofos.xlsx"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "demofos.xlsx:183: warning: food form 100 is not a food form of commodity 10002802 "
            "(its food forms: 2, 12, 22); an import of the table refuses it\n"
            "demofos.xlsx:306: warning: food form 600 is not a food form of commodity 31006501 "
            "(its food forms: 200, 500, 700, 240, 250); an import of the table refuses it\n");
  EXPECT_TRUE(ReadFileBytes(dir_.path() / "demofos.xlsx").starts_with("PK"));
  // The import refuses them on their lines and writes nothing.
  ASSERT_EQ(Run({"residue", "export", "csfii/residues/STRAY.R98", "stray.csv"}).status, 0);
  r = Run({"residue", "import", "stray.csv", "stray.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "stray.csv:183: food form 100 is not a food form of commodity 10002802 (its food "
            "forms: 2, 12, 22)\n"
            "stray.csv:306: food form 600 is not a food form of commodity 31006501 (its food "
            "forms: 200, 500, 700, 240, 250)\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "stray.R98"));
}

TEST_F(ResidueCli, ProblemsOfATableStopTheImport) {
  WriteFileBytes(dir_.path() / "bad.csv",
                 "Chemical name;Testazole\nNOEL;0,5\nRfD;0,005\nQ*;0\n"
                 "Commodity code;Food form code;Residue (ppm);Adjustment factor 1;Adjustment "
                 "factor 2\n"
                 "01000101;;0,1;1;1\n"
                 "99999999;;0,1;1;1\n"
                 "01000101;;0,2;1;1\n"
                 "11003204;;25000;1;x\n");
  WriteFileBytes(dir_.path() / "out.R98", "earlier");
  const CliResult r = Run({"residue", "import", "bad.csv", "out.R98", "--yes"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "bad.csv:9: warning: residue 25000 ppm is above 10,000 ppm; is it in ppm and not in "
            "ppb?\n"
            "bad.csv:7: commodity code 99999999 is not in the master food list\n"
            "bad.csv:8: commodity 01000101 is already on line 6\n"
            "bad.csv:9: adjustment factor 2 \"x\" is not a number\n");
  EXPECT_EQ(ReadFileBytes(dir_.path() / "out.R98"), "earlier");
}

// A table that starts with its column headings has no header: the message
// names the first header row it lacks, on the heading row's line.
TEST_F(ResidueCli, ATableWithoutHeaderNamesTheChemicalNameRow) {
  WriteFileBytes(dir_.path() / "bare.csv",
                 "Commodity code,Food form code,Residue (ppm),Adjustment factor 1,Adjustment "
                 "factor 2\n"
                 "01000101,,0.1,1,1\n");
  const CliResult r = Run({"residue", "import", "bare.csv", "bare.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "bare.csv:1: the header has no Chemical name row\n"
            "bare.csv:1: the header has no NOEL row\n"
            "bare.csv:1: the header has no RfD row\n"
            "bare.csv:1: the header has no Q* row\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "bare.R98"));
}

// A table that is not UTF-8 (a spreadsheet's Latin-1 "CSV") is refused on
// its first line that is not, before any of it reaches a residue file.
TEST_F(ResidueCli, ATableThatIsNotUtf8IsRefused) {
  WriteFileBytes(dir_.path() / "latin1.csv",
                 "Chemical name,Testazole\nNOEL,0.5\nRfD,0.005\nQ*,0\nComment,K\xFCmmel\n"
                 "Commodity code,Food form code,Residue (ppm),Adjustment factor 1,Adjustment "
                 "factor 2\n"
                 "01000101,,0.1,1,1\n");
  const CliResult r = Run({"residue", "import", "latin1.csv", "latin1.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "latin1.csv:5: the text is not UTF-8 (byte 10 of the line); save the table as "
            "CSV UTF-8\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "latin1.R98"));
}

// What is not a residue table costs little to refuse, and its messages stay
// readable: a line or a row far longer than a table's, a file far larger,
// texts quoted cut short with their control characters shown.
TEST_F(ResidueCli, HugeOrHostileTablesAreRefusedReadably) {
  struct Case {
    std::string name, bytes, message;
  };
  const std::string head = "Chemical name,Testazole\nNOEL,0.5\nRfD,0.005\nQ*,0\n";
  const Case cases[] = {
      {"commas.csv", std::string(100000, ',') + "\n",
       "commas.csv:1: the line is longer than 65536 bytes, more than a row of a residue table\n"},
      {"cells.csv", head + std::string(300, ',') + "\n",
       "cells.csv:5: the row has more than 256 cells, more than a row of a residue table\n"},
      {"long.csv", std::string(200, 'x') + ",1\n" + head,
       "long.csv:1: unknown header item \"" + std::string(60, 'x') + "...\" (200 bytes)\n"},
      {"nul.csv", std::string("Colour\0\x1b[2J,1\n", 13) + head,
       "nul.csv:1: unknown header item \"Colour\\x00\\x1B[2J\"\n"},
  };
  for (const Case& c : cases) {
    WriteFileBytes(dir_.path() / c.name, c.bytes);
    const CliResult r = Run({"residue", "import", c.name, "out.R98"});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.err.substr(0, c.message.size()), c.message) << c.name;
  }
  // Short lines, but more cells than any table: read to the end a row at a
  // time, and told by what it lacks.
  std::string many;
  for (int line = 0; line < 10001; ++line) many += std::string(199, ',') + "\n";
  WriteFileBytes(dir_.path() / "many.csv", many);
  const CliResult cells = Run({"residue", "import", "many.csv", "out.R98"});
  EXPECT_EQ(cells.status, 1);
  EXPECT_EQ(cells.err,
            "many.csv:1: the header has no Chemical name row\n"
            "many.csv:1: the header has no NOEL row\n"
            "many.csv:1: the header has no RfD row\n"
            "many.csv:1: the header has no Q* row\n"
            "many.csv:10001: the table has no column heading row (a row that starts with "
            "\"Commodity code\")\n");
  // Larger than any table: refused without being read.
  std::filesystem::resize_file(dir_.path() / "commas.csv", std::uintmax_t{65} << 20);
  const CliResult r = Run({"residue", "import", "commas.csv", "out.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "commas.csv: the table is larger than 64 MB; a residue table of every food "
            "form is a few MB\n");
  EXPECT_FALSE(fs::exists(dir_.path() / "out.R98"));
}

// A required column missing stops the import at the headings: the rows
// below are not read (and not reported on, row by row).
TEST_F(ResidueCli, AMissingColumnStopsAtTheHeadings) {
  WriteFileBytes(dir_.path() / "nores.csv",
                 "Chemical name,Testazole\nNOEL,0.5\nRfD,0.005\nQ*,0\n"
                 "Commodity code,Food form code,Adjustment factor 1,Adjustment factor 2\n"
                 "01000101,,1,1\n99999999,,1,1\n");
  const CliResult r = Run({"residue", "import", "nores.csv", "nores.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "nores.csv:5: the column Residue (ppm) is missing\n");
}

TEST_F(ResidueCli, AnExistingFileIsReplacedOnlyWithYes) {
  ASSERT_EQ(Run({"residue", "export", "csfii/residues/CYCLOFOS.R98", "t.csv"}).status, 0);
  WriteFileBytes(dir_.path() / "out.R98", "earlier");
  CliResult r = Run({"residue", "import", "t.csv", "out.R98"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Import Residue Table: File " + (dir_.path() / "out.R98").string() +
                       " already exists. Do you want to write over this file?\n");
  EXPECT_EQ(ReadFileBytes(dir_.path() / "out.R98"), "earlier");
  r = Run({"residue", "import", "t.csv", "out.R98", "--yes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadFileBytes(dir_.path() / "out.R98"),
            ReadFileBytes(Csfii() / "residues" / "CYCLOFOS.R98"));
  // The table, too.
  r = Run({"residue", "export", "csfii/residues/DEMOFOS.R98", "t.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(ReadFileBytes(dir_.path() / "t.csv").starts_with("Chemical name,Cyclofos"));
}

TEST_F(ResidueCli, UsageErrorsAndRefusals) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;  // the start of standard error
  } cases[] = {
      {{"residue"}, 2, "ormid-cli: A subcommand is required"},
      {{"residue", "export", "x.R98"}, 2, "ormid-cli: TABLE is required"},
      {{"residue", "export", "x.R98", "t.txt"},
       2,
       "ormid-cli: the table t.txt must end in .csv or .xlsx\n"
       "Try 'ormid-cli residue export --help'"},
      {{"residue", "import", "t.csv", "x.R10"},
       2,
       "ormid-cli: the installation's survey base is CSFII 1994-96, 1998: its residue files end "
       "in .R98, not .R10\n"},
      {{"residue", "import", "t.xlsx", "x.R98"},
       2,
       "ormid-cli: the table t.xlsx must be a .csv file (save a workbook as CSV first)\n"},
      {{"residue", "import", "missing.csv", "x.R98"},
       1,
       "missing.csv: the table cannot be opened\n"},
      {{"residue", "export", "csfii/residues/DEMOGRP.R98", "g.csv"},
       1,
       "Export Residue Table: Residue file "},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args.back() << "\n" << r.err;
    EXPECT_TRUE(r.err.starts_with(c.err)) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "g.csv"));
  EXPECT_FALSE(fs::exists(dir_.path() / "x.R98"));

  const CliResult help = Run({"residue", "import", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("TABLE OUTPUT"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--yes"), std::string::npos);
}

}  // namespace
}  // namespace ormid::test
