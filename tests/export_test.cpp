// Exports and run manifests end to end through ormid-cli, on copies of the
// bundled samples and on generated installations: the exported figures are
// the ones the reports round, the three formats agree, files are replaced
// only whole, and a manifest's hashes, verify and rerun hold.
#include <gtest/gtest.h>

#include <algorithm>

#include <cctype>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/cli_run.h"
#include "core/float_text.h"
#include "export/results_export.h"
#include "manifest/output_digests.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "report/number_format.h"
#include "tests/cli_runner.h"
#include "tests/installation_fixture.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using Row = CsvRow;

float F(const std::string& text) {
  auto v = ReadFloatText(text);
  EXPECT_TRUE(v.has_value()) << "not a number: \"" << text << "\"";
  return v.value_or(0);
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
    for (const char* name : {"csfii", "nhanes-2005-2010"})
      CopySampleInstallation(name, dir_.path() / name);
    for (int base : {0, 2}) {
      fs::path small = dir_.path() / ("small" + std::to_string(base));
      testdata::WriteInstallation(SmallInstallation(base), small);
      testdata::WriteResidueFile(SmallResidueFile(base),
                                 small / "residues" / (base == 0 ? "test.R98" : "test.R10"));
    }
  }
  void TearDown() override { ::unsetenv("SOURCE_DATE_EPOCH"); }

  CliResult Run(const std::vector<std::string>& args) { return RunCliIn(dir_.path(), args); }
  fs::path P(const std::string& rel) const { return dir_.path() / rel; }

  // The sample and generated installations with a residue file each.
  std::vector<std::pair<std::string, std::string>> Cases() const {
    return {{"csfii", "csfii/residues/DEMOFOS.R98"},
            {"nhanes-2005-2010", "nhanes-2005-2010/residues/DEMOFOS.R10"},
            {"small0", "small0/residues/test.R98"},
            {"small2", "small2/residues/test.R10"}};
  }

  TempDir dir_;
  // Runs leave the current directory in dir_: put back before it goes.
  ScopedCurrentDir cwd_{fs::current_path()};
};

// Every long-term figure exported is the value the report rounds: its report
// rounding stands in the subgroup's row, and figures the endpoint does not
// report are empty.
TEST_F(Export, LongTermFiguresAreTheReportedOnes) {
  const std::vector<std::vector<std::string>> endpoints = {{"--rfd=0.0003"},
                                                           {"--noel=0.5"},
                                                           {"--noel=0.5", "--rfd=0.01"},
                                                           {"--pad", "--pad-value", "17=0.0001"},
                                                           {"--qstar=0.05"}};
  for (const auto& [folder, residue] : Cases()) {
    for (const auto& endpoint : endpoints) {
      std::vector<std::string> args = {"-C",       folder,   "longterm", residue,
                                       "--export", "lt.csv", "--yes"};
      args.insert(args.end(), endpoint.begin(), endpoint.end());
      auto r = Run(args);
      if (endpoint[0] == "--pad" && folder != "csfii") continue;  // row 17 has no PAD box there
      ASSERT_EQ(r.status, 0) << folder << " " << endpoint[0] << ": " << r.err;
      auto rows = ParseCsv(ReadFileBytes(P("lt.csv")));
      auto report = Lines(ReadFileBytes(P(folder) / "ormdtemp.txt"));
      ASSERT_EQ(rows[0].size(), 10u);
      EXPECT_EQ(rows[0][3], "exposure_mg_per_kg_bw_day");
      std::size_t at = 0;
      for (std::size_t i = 1; i < rows.size(); ++i) {
        const Row& row = rows[i];
        ASSERT_EQ(row.size(), 10u);
        EXPECT_EQ(row[0], std::to_string(i));
        while (at < report.size() && report[at].rfind(row[1], 0) != 0) ++at;
        ASSERT_LT(at, report.size()) << "no report row for " << row[1];
        const std::string& line = report[at++];
        const std::string where = folder + " " + endpoint[0] + " row " + row[0] + ": " + line;
        if (line.find("xposure") != std::string::npos) {
          EXPECT_EQ(F(row[3]), 0.0f) << where;
          for (int c : {6, 7, 8, 9}) EXPECT_EQ(row[static_cast<std::size_t>(c)], "") << where;
          continue;
        }
        auto has = [&](const std::string& cell) {
          EXPECT_NE(line.find(cell), std::string::npos) << where << "\n  missing " << cell;
        };
        has(AlignedCell(F(row[3]), "###.######"));
        const std::string& code = endpoint[0];
        const bool ref = code != "--noel=0.5" || endpoint.size() > 1;
        if (code == "--qstar=0.05") {
          has(AlignedScientific(F(row[9])));
          EXPECT_EQ(row[6] + row[7] + row[8], "") << where;
          continue;
        }
        EXPECT_EQ(row[9], "") << where;
        if (ref) {
          EXPECT_TRUE(row[4] == "RfD" || row[4] == "PAD") << where;
          has(AlignedCell(F(row[6]), "###,###.#") + "%");
          // The dose the percent is of: the subgroup's PAD, else the RfD.
          const float dose = row[4] == "PAD"          ? 0.0001f
                             : code == "--rfd=0.0003" ? 0.0003f
                             : code == "--noel=0.5"   ? 0.01f
                                                      : F(row[5]);
          EXPECT_EQ(F(row[5]), dose) << where;
          EXPECT_EQ(row[4] == "PAD", code == "--pad" && row[0] == "17") << where;
        } else {
          EXPECT_EQ(row[4] + row[6], "") << where;
          has(AlignedCell(F(row[7]), "#,###.##") + "%");
        }
        if (code == "--noel=0.5" && F(row[8]) < 1000000.0f)
          has(AlignedCell(F(row[8]), "#,###,###"));
      }
      EXPECT_GE(rows.size(), 25u) << "subgroup rows missing from the export of " << folder;
    }
  }
}

// The commodity rows follow the complete report: every food, food form,
// crop group subtotal and subgroup total in its order, with the figures it
// prints, and shares that add up to the subgroup's total.
TEST_F(Export, CommodityRowsFollowTheCompleteReport) {
  for (const auto& [folder, residue] : Cases()) {
    auto r = Run({"-C", folder, "commodity", residue, "--rfd=0.001", "--complete", "--subgroups",
                  "1,2", "--export", "cc.csv", "--yes"});
    ASSERT_EQ(r.status, 0) << folder << ": " << r.err;
    auto rows = ParseCsv(ReadFileBytes(P("cc.csv")));
    auto report = Lines(ReadFileBytes(P(folder) / "tempcomm.txt"));
    ASSERT_EQ(rows[0].size(), 21u);
    std::size_t at = 0;
    int totals = 0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      const Row& row = rows[i];
      const std::string& kind = row[0];
      if (kind == "subgroup_total") ++totals;
      const std::string where = folder + " csv line " + std::to_string(i + 1);
      if (F(row[13]) == 0) {
        EXPECT_EQ(row[17], "") << where;
        continue;
      }
      // The report's cells of the row: exposure and percent of the RfD.
      const std::string exposure = AlignedCell(F(row[13]), "###.#######");
      const std::string percent = AlignedCell(F(row[17]), "###,###.#") + "%";
      const char* label = kind == "crop_group_subtotal" ? "Crop group subtotal"
                          : kind == "subgroup_total"    ? "Population subgroup total"
                                                        : "   ";
      while (at < report.size() && !(report[at].find(label) != std::string::npos &&
                                     report[at].find(exposure) != std::string::npos &&
                                     report[at].find(percent) != std::string::npos))
        ++at;
      ASSERT_LT(at, report.size()) << where << ": no report line with " << exposure << percent;
      ++at;
      if (kind == "subgroup_total") {
        EXPECT_EQ(row[14], "100") << where;
      }
    }
    EXPECT_EQ(totals, 2) << folder;
  }
}

// A food's rows carry the code of the crop group they are listed under, and
// a food is listed under each crop group its code in the installation's
// crop group file names: "1AB" puts it under 1, 1A and 1B (as far as the
// installation has those groups).
TEST_F(Export, CropGroupCodesFollowTheInstallationsCropGroupFile) {
  auto r = Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd=0.001",
                "--complete", "--subgroups", "1", "--export", "cc.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> codeOf;  // commodity -> "1AB"
  for (const std::string& line : Lines(ReadFileBytes(P("csfii/FCIDGrp.txt")))) {
    const auto comma = line.find(',');
    if (comma != std::string::npos) codeOf[line.substr(0, comma)] = line.substr(comma + 1);
  }
  const auto rows = ParseCsv(ReadFileBytes(P("cc.csv")));
  ASSERT_EQ(rows[0][4], "crop_group_code");
  std::map<std::string, std::set<std::string>> listedUnder;  // commodity -> codes
  std::set<std::string> groupFoods;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const Row& row = rows[i];
    const std::string where = "csv line " + std::to_string(i + 1);
    if (row[0] == "subgroup_total") {
      EXPECT_EQ(row[4], "") << where;
      continue;
    }
    ASSERT_FALSE(row[4].empty()) << where;
    if (row[0] == "crop_group_subtotal") {
      groupFoods.clear();
      continue;
    }
    const std::string& given = codeOf[row[6]];
    listedUnder[row[6]].insert(row[4]);
    // Codes without a number ("O", "M", "P") name groups of their own.
    if (given.empty() || !std::isdigit(static_cast<unsigned char>(given[0]))) continue;
    const std::size_t digits = given.find_first_not_of("0123456789");
    const std::string main = given.substr(0, digits);
    const std::string letters = digits == std::string::npos ? "" : given.substr(digits);
    const std::string& code = row[4];
    EXPECT_TRUE(code == main || (code.size() == main.size() + 1 && code.starts_with(main) &&
                                 letters.find(code.back()) != std::string::npos))
        << where << ": " << row[6] << " (" << given << ") under crop group " << code;
  }
  ASSERT_FALSE(listedUnder.empty());
  std::size_t inSeveral = 0;
  for (const auto& [commodity, codes] : listedUnder) {
    const std::string& given = codeOf[commodity];
    if (given.empty() || !std::isdigit(static_cast<unsigned char>(given[0]))) continue;
    EXPECT_TRUE(codes.count(given.substr(0, given.find_first_not_of("0123456789"))))
        << commodity << " is not listed under its main crop group";
    inSeveral += codes.size() > 1;
  }
  EXPECT_GT(inSeveral, 0u) << "no food is listed under two crop groups";
}

TEST_F(Export, FormatsAgreeAndTheWorkbookIsAWorkbook) {
  auto r = Run({"-C", "csfii", "commodity", "csfii/residues/DEMOFOS.R98", "--rfd", "--complete",
                "--subgroups", "17", "--export", "cc.csv", "--export", "cc.json", "--export",
                "cc.xlsx"});
  ASSERT_EQ(r.status, 0) << r.err;
  auto rows = ParseCsv(ReadFileBytes(P("cc.csv")));
  auto doc = nlohmann::json::parse(ReadFileBytes(P("cc.json")));
  ASSERT_EQ(doc["commodity"].size(), rows.size() - 1);
  ASSERT_EQ(doc["columns"], nlohmann::json(rows[0]));
  const auto percentRef = static_cast<std::size_t>(
      std::find(rows[0].begin(), rows[0].end(), "percent_of_reference_dose") - rows[0].begin());
  EXPECT_EQ(doc["manifest"]["residue_file"]["chemical"], "Demofos");
  bool above = false;
  for (std::size_t i = 1; i < rows.size(); ++i) {
    const auto& row = doc["commodity"][i - 1];
    for (std::size_t c = 0; c < rows[0].size(); ++c) {
      const auto& v = row.at(c);
      if (rows[i][c].empty()) {
        EXPECT_TRUE(v.is_null()) << rows[0][c];
      } else if (v.is_number_float()) {
        EXPECT_EQ(static_cast<float>(v.get<double>()), F(rows[i][c])) << rows[0][c];
      } else if (v.is_number()) {
        EXPECT_EQ(std::to_string(v.get<long long>()), rows[i][c]);
      } else {
        EXPECT_EQ(v.get<std::string>(), rows[i][c]);
      }
    }
    above = above || (!rows[i][percentRef].empty() && F(rows[i][percentRef]) > 100);
  }

  auto unzip = [&](const char* member) { return ZipMember(P("cc.xlsx"), member); };
  // The figures' sheet first, the one a spreadsheet opens on (no other
  // sheet is made active), and the manifest's after it.
  std::string sheet = unzip("xl/worksheets/sheet1.xml");
  std::string workbook = unzip("xl/workbook.xml");
  ASSERT_NE(workbook.find("name=\"Contributions\""), std::string::npos);
  EXPECT_LT(workbook.find("name=\"Contributions\""), workbook.find("name=\"Run\""));
  EXPECT_EQ(workbook.find("activeTab"), std::string::npos) << workbook;
  EXPECT_NE(sheet.find("tabSelected=\"1\""), std::string::npos);
  EXPECT_NE(sheet.find("state=\"frozen\""), std::string::npos);
  EXPECT_NE(sheet.find("<autoFilter ref=\"A1:U" + std::to_string(rows.size()) + "\""),
            std::string::npos);
  std::size_t count = 0;
  for (auto p = sheet.find("<row "); p != std::string::npos; p = sheet.find("<row ", p + 1))
    ++count;
  EXPECT_EQ(count, rows.size());
  EXPECT_NE(sheet.find("exposure_mg_per_kg_bw_day"), std::string::npos);
  // Numbers are numbers: the first food's exposure as a value cell.
  auto cell = sheet.find("<c r=\"M2\"");
  ASSERT_NE(cell, std::string::npos);
  auto v = sheet.find("<v>", cell) + 3;
  EXPECT_EQ(static_cast<float>(std::stod(sheet.substr(v, sheet.find("</v>", v) - v))),
            F(rows[1][12]));
  if (above) {
    EXPECT_NE(unzip("xl/styles.xml").find("FFC7CE"), std::string::npos);
  }
  EXPECT_NE(unzip("xl/worksheets/sheet2.xml").find("residue_file.sha256"), std::string::npos);
  // The manifest beside the CSV lists every file the run wrote with the
  // digest of its bytes.
  auto manifest = nlohmann::json::parse(ReadFileBytes(P("cc.csv.manifest.json")));
  ASSERT_EQ(manifest["outputs"].size(), 4u);
  // Paths inside the working folder are relative to it; the exports here
  // lie outside it, named whole and marked.
  const std::string folder = manifest["installation"]["working_folder"].get<std::string>();
  for (const auto& o : manifest["outputs"]) {
    const std::string path = ResolveManifestPath(o["path"].get<std::string>(), folder);
    EXPECT_EQ(o["sha256"], Sha256Hex(ReadFileBytes(path))) << o["path"];
    EXPECT_EQ(o.value("outside_working_folder", false), o["role"] == "export") << o["path"];
  }
  EXPECT_EQ(manifest["outputs"][0]["path"], "tempcomm.txt");
}

TEST_F(Export, ExportsReplaceFilesOnlyWholeAndAfterAsking) {
  const std::vector<std::string> run = {"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98",
                                        "--rfd"};
  auto with = [&](std::vector<std::string> extra) {
    auto args = run;
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  };
  auto r = with({"--export", "figures.txt"});
  EXPECT_EQ(r.status, cli::kExitUsage);
  EXPECT_NE(r.err.find(".csv, .json or .xlsx"), std::string::npos) << r.err;

  WriteFileBytes(P("kept.csv"), "old");
  r = with({"--export", "kept.csv"});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_EQ(ReadFileBytes(P("kept.csv")), "old");
  r = with({"--export", "kept.csv", "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFileBytes(P("kept.csv")).rfind("row,subgroup,", 0), 0u);

  // A folder that does not exist: the run's report stands, the message
  // names the file, nothing is left half-written.
  fs::remove(P("csfii/ormdtemp.txt"));
  for (const char* name : {"no/dir/x.csv", "no/dir/x.json", "no/dir/x.xlsx"}) {
    r = with({"--export", name});
    EXPECT_EQ(r.status, cli::kExitStopped) << name;
    EXPECT_NE(r.err.find("The export file " + P(name).string() + " could not be written"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::exists(P("csfii/ormdtemp.txt")));
  }
  EXPECT_FALSE(fs::exists(P("no")));
}

TEST_F(Export, ManifestRecordsHashesAndVerifyFindsChanges) {
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  auto r = Run({"-C", "nhanes-2005-2010", "longterm", "nhanes-2005-2010/residues/DEMOFOS.R10",
                "--rfd", "--save", "run1"});
  ASSERT_EQ(r.status, 0) << r.err;
  fs::path saved = P("nhanes-2005-2010/residues/run1.OR10");
  fs::path manifestPath = saved.string() + ".manifest.json";
  auto manifest = nlohmann::json::parse(ReadFileBytes(manifestPath));
  const std::string residue = ReadFileBytes(P("nhanes-2005-2010/residues/DEMOFOS.R10"));
  EXPECT_EQ(manifest["residue_file"]["sha256"], Sha256Hex(residue));
  EXPECT_EQ(manifest["residue_file"]["size"], residue.size());
  EXPECT_EQ(manifest["run"]["date"], "2024-03-05T09:07:01Z");
  EXPECT_EQ(manifest["settings"]["endpoint"], "R");
  // Values the endpoint does not use are none, not 0.
  EXPECT_EQ(manifest["settings"]["rfd_mg_per_kg_bw_day"], 0.005);
  EXPECT_TRUE(manifest["settings"]["noel_mg_per_kg_bw_day"].is_null());
  EXPECT_TRUE(manifest["settings"]["qstar_per_mg_per_kg_bw_day"].is_null());
  EXPECT_EQ(manifest["installation"]["files"].size(), 7u);
  bool savedListed = false;
  for (const auto& o : manifest["outputs"])
    if (o["role"] == "saved report") {
      savedListed = true;
      EXPECT_EQ(o["sha256"], Sha256Hex(ReadFileBytes(saved)));
    }
  EXPECT_TRUE(savedListed);

  r = Run({"verify", manifestPath.string()});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("All 8 inputs unchanged."), std::string::npos) << r.out;
  WriteFileBytes(P("nhanes-2005-2010/residues/DEMOFOS.R10"), residue + " ");
  fs::remove(P("nhanes-2005-2010/NH10Mean.dat"));
  r = Run({"verify", manifestPath.string()});
  EXPECT_EQ(r.status, cli::kExitStopped);
  EXPECT_NE(r.out.find("changed    " + P("nhanes-2005-2010/residues/DEMOFOS.R10").string()),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("missing    " + P("nhanes-2005-2010/NH10Mean.dat").string()),
            std::string::npos)
      << r.out;
  // A manifest that is not there is a problem of the data, as a residue
  // file that is not there is for a run.
  EXPECT_EQ(Run({"verify", P("nothing.json").string()}).status, cli::kExitStopped);
}

// A run made again from its manifest writes the same bytes, on every
// installation; a changed input shows as a differing output.
TEST_F(Export, RerunRepeatsEveryOutputByteForByte) {
  for (const auto& [folder, residue] : Cases()) {
    auto r = Run({"-C",          folder,
                  "commodity",   residue,
                  "--noel=0.5",  "--rfd=0.01",
                  "--complete",  "--critical",
                  "--food-pct",  "1",
                  "--crop-pct",  "5",
                  "--subgroups", "all",
                  "--comment",   "two\r\nlines",
                  "--save",      "c1",
                  "--export",    folder + ".json",
                  "--export",    folder + ".xlsx",
                  "--export",    folder + ".csv"});
    ASSERT_EQ(r.status, 0) << folder << ": " << r.err;
    ::unsetenv("SOURCE_DATE_EPOCH");  // the re-run takes the recorded date itself
    const std::string manifest = (P(residue).parent_path() / "c1.CC10.manifest.json").string();
    r = Run({"rerun", manifest});
    EXPECT_EQ(r.status, 0) << folder << ":\n" << r.out << r.err;
    EXPECT_NE(r.out.find("Every output is byte-identical"), std::string::npos) << r.out;

    if (folder == "csfii") {
      // Another chemical in the residue file's place: the reports differ.
      fs::copy_file(P("csfii/residues/DEMOGRP.R98"), P(residue),
                    fs::copy_options::overwrite_existing);
      r = Run({"rerun", manifest});
      EXPECT_EQ(r.status, cli::kExitStopped) << r.out;
      EXPECT_NE(r.out.find("changed    " + P(residue).string()), std::string::npos) << r.out;
      EXPECT_NE(r.out.find("different  saved report"), std::string::npos) << r.out;
    }
    ::setenv("SOURCE_DATE_EPOCH", "1709629621", 1);
  }
}

// One file named twice (as given, or by another way to the same place) is a
// usage error found before the run: nothing is written.
TEST_F(Export, OneFileNamedTwiceIsRefused) {
  for (auto [a, b] : {std::pair{"z.csv", "z.csv"}, std::pair{"z.json", "./z.json"},
                      std::pair{"z.xlsx", "csfii/../z.xlsx"}}) {
    const CliResult r = Run({"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--rfd",
                             "--export", a, "--export", b});
    EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
    EXPECT_NE(r.err.find("--export names one file twice"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P(a))) << a;
  }
  const CliResult r = Run({"-C", "csfii", "headroom", "csfii/residues/DEMOFOS.R98", "--rfd",
                           "--export", "h.csv", "--export", "./h.csv"});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  // A PAD beyond single precision is refused before the run as well.
  const CliResult pad = Run(
      {"-C", "csfii", "longterm", "csfii/residues/DEMOFOS.R98", "--pad", "--pad-value", "17=1e39"});
  EXPECT_EQ(pad.status, cli::kExitUsage) << pad.err;
  EXPECT_NE(pad.err.find("17=1e39"), std::string::npos) << pad.err;
}

// A table longer than a workbook's sheet is refused with the limit named,
// and no workbook is left cut short.
TEST_F(Export, AWorkbookNeverLosesRowsSilently) {
  FakePlatform p;
  TableSpec spec;
  spec.path = P("long.xlsx").string();
  spec.sheet = "Rows";
  spec.jsonKey = "rows";
  spec.columns = {{"n", CellType::Integer, ""}};
  std::string error;
  auto table = OpenTable(p, spec, nlohmann::json::object(), error);
  ASSERT_TRUE(table) << error;
  std::vector<Cell> cells(1);
  for (long long n = 1; n <= 1048576; ++n) {
    cells[0] = n;
    table->Row(cells, false);
  }
  EXPECT_FALSE(table->Commit(error));
  EXPECT_NE(error.find("the table has 1048576 rows and a workbook's sheet holds 1048575"),
            std::string::npos)
      << error;
  EXPECT_FALSE(fs::exists(P("long.xlsx")));
}

// An export of a run that sent no rows is committed with the long-term
// table's head and no row, in every format.
TEST_F(Export, ARunWithoutRowsGetsTheLongTermHead) {
  FakePlatform p;
  const std::vector<std::string> paths = {P("none.csv").string(), P("none.json").string(),
                                          P("none.xlsx").string()};
  {
    ResultsExport exports(p, paths, [] { return nlohmann::json{{"manifest_version", 1}}; });
    EXPECT_TRUE(exports.Commit().empty());
  }
  std::string head;
  for (const Column& c : LongTermColumns()) head += (head.empty() ? "" : ",") + std::string(c.name);
  EXPECT_EQ(ReadFileBytes(P("none.csv")), head + "\r\n");
  const auto doc = nlohmann::json::parse(ReadFileBytes(P("none.json")));
  EXPECT_EQ(doc.at("longterm"), nlohmann::json::array());
  EXPECT_EQ(doc.at("columns").size(), LongTermColumns().size());
  EXPECT_EQ(doc.at("manifest").at("manifest_version"), 1);
  const std::string sheet = ZipMember(P("none.xlsx"), "xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find(LongTermColumns().front().name), std::string::npos);
  EXPECT_EQ(sheet.find("<row r=\"2\""), std::string::npos);
}

}  // namespace
}  // namespace ormid::test

// A written file's digest is the SHA-256 of its bytes however they were
// written: at once, or in writes of every size.
TEST(OutputDigests, DigestOfEveryByteWhateverTheWrites) {
  struct Kept : ormid::OutputFile {
    std::string& bytes;
    explicit Kept(std::string& b) : bytes(b) {}
    bool Write(std::string_view b, std::string&) override {
      bytes.append(b);
      return true;
    }
    bool Sync(std::string&) override { return true; }
    bool Close(std::string&) override { return true; }
  };
  for (std::size_t size : {std::size_t{0}, std::size_t{1000}, std::size_t{5u << 20}}) {
    ormid::OutputDigests digests;
    std::string written, sent, error;
    auto file = digests.Watch("digest-test.bin", std::make_unique<Kept>(written));
    std::uint32_t state = 7;
    while (sent.size() < size) {
      state = state * 1664525u + 1013904223u;
      const std::size_t length = std::min<std::size_t>(size - sent.size(), state % 300000);
      const std::string piece(length, static_cast<char>('a' + state % 26));
      sent += piece;
      ASSERT_TRUE(file->Write(piece, error));
    }
    ASSERT_TRUE(file->Close(error));
    EXPECT_EQ(written, sent) << size;
    auto digest = digests.Of("digest-test.bin");
    ASSERT_TRUE(digest.has_value()) << size;
    EXPECT_EQ(digest->size, size);
    EXPECT_EQ(digest->sha256, ormid::Sha256Hex(sent)) << size;
  }
}

// A write that fails is told with the file's own error, and the file gets
// no digest.
TEST(OutputDigests, AFailedWriteIsToldAndLeavesNoDigest) {
  struct Full : ormid::OutputFile {
    std::size_t room = 3u << 20;
    bool Write(std::string_view b, std::string& error) override {
      if (b.size() > room) {
        error = "No space left on device";
        return false;
      }
      room -= b.size();
      return true;
    }
    bool Sync(std::string&) override { return true; }
    bool Close(std::string&) override { return true; }
  };
  for (std::size_t size : {std::size_t{4u << 20}, std::size_t{20u << 20}}) {
    ormid::OutputDigests digests;
    auto file = digests.Watch("full.bin", std::make_unique<Full>());
    const std::string piece(64 * 1024, 'x');
    std::string error;
    bool allWritten = true;
    for (std::size_t n = 0; n < size && allWritten; n += piece.size())
      allWritten = file->Write(piece, error);
    if (allWritten) {
      EXPECT_FALSE(file->Close(error)) << size;
    }
    EXPECT_EQ(error, "No space left on device") << size;
    EXPECT_FALSE(digests.Of("full.bin").has_value()) << size;
  }
}
