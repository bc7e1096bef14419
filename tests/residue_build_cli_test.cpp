// ormid-cli residue build on copies of both sample installations: the
// residue files read back by the program's own reader, the build report and
// the export against each other, long-term runs on the bounds built and on
// the same values typed through residue import, the refusals that write
// nothing, and the manifest's verify and rerun.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/float_text.h"
#include "core/mod_ormid.h"
#include "residue/residue_reader.h"
#include "setup/startup.h"
#include "tests/cli_runner.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;

class ResidueBuildCli : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    CopySampleInstallation(GetParam(), dir_.path() / "inst");
    cwd_ = std::make_unique<ScopedCurrentDir>(dir_.path());
    ext_ = std::string(GetParam()) == "csfii" ? ".R98" : ".R10";
  }
  // Run from the folder above the installation, as a user would with -C.
  CliResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"-C", "inst"});
    return RunCliIn(dir_.path(), args);
  }
  CliResult Build(const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"residue",
                                     "build",
                                     "inst/monitoring/samples.csv",
                                     "--rules",
                                     "inst/monitoring/rules.csv",
                                     "--chemical",
                                     "Demofos",
                                     "--rfd",
                                     "0.005",
                                     out};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  fs::path P(const std::string& name) const { return dir_.path() / name; }

  TempDir dir_;
  std::unique_ptr<ScopedCurrentDir> cwd_;
  std::string ext_;
};

INSTANTIATE_TEST_SUITE_P(BothSamples, ResidueBuildCli,
                         ::testing::Values("csfii", "nhanes-2005-2010"), [](const auto& info) {
                           return std::string(info.param) == "csfii" ? "csfii" : "nhanes";
                         });

// The export's rows of one bound, by food code and form ("" for the food).
using Entries = std::map<std::pair<std::string, std::string>, CsvRow>;
Entries RowsOfBound(const std::vector<CsvRow>& csv, const std::string& bound) {
  Entries rows;
  for (std::size_t i = 1; i < csv.size(); ++i)
    if (csv[i].size() > 4 && csv[i][1] == bound &&
        (csv[i][0] == "food" || csv[i][0] == "food_form"))
      rows[{csv[i][2], csv[i][4]}] = csv[i];
  return rows;
}

// The columns of the build export.
constexpr std::size_t kSamples = 8, kResidue = 18, kAdj1 = 19, kAdj2 = 20;

// Each subgroup's exposure of a long-term export.
std::vector<double> Exposures(const fs::path& csv) {
  std::vector<double> out;
  const std::vector<CsvRow> rows = ParseCsv(ReadFileBytes(csv));
  for (std::size_t i = 1; i < rows.size(); ++i) out.push_back(std::stod(rows[i].at(3)));
  return out;
}

TEST_P(ResidueBuildCli, ReadBackByTheResidueReaderAsTheReportAndExportSay) {
  const std::string out = "inst/residues/built" + ext_;
  CliResult r =
      Build(out, {"--bound", "all", "--export", "b.csv", "--export", "b.json", "--no-history"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<CsvRow> csv = ParseCsv(ReadFileBytes(P("b.csv")));
  const std::string report = ReadFileBytes(P(out + ".build.txt"));

  // The JSON export holds the same rows as the CSV.
  const nlohmann::json doc = nlohmann::json::parse(ReadFileBytes(P("b.json")));
  ASSERT_TRUE(doc.contains("residue_build"));
  ASSERT_EQ(doc["residue_build"].size(), csv.size() - 1);
  for (std::size_t i = 1; i < csv.size(); ++i) {
    const nlohmann::json& row = doc["residue_build"][i - 1];
    ASSERT_EQ(row.size(), csv[i].size());
    EXPECT_EQ(row[2].is_null() ? "" : row[2].get<std::string>(), csv[i][2]);
    if (row[kResidue].is_number()) {
      EXPECT_EQ(ShortestText(row[kResidue].get<float>()), csv[i][kResidue]);
    }
  }

  // Every row of the report's table has the figures of its export row, in
  // the same order: samples, detects, not quantified, non-detects, zeros,
  // the non-detects' value, the mean, PCT, residue, factors.
  std::vector<std::vector<std::string>> figures;
  {
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
      std::istringstream words(line);
      std::vector<std::string> w;
      for (std::string x; words >> x;) w.push_back(x);
      if (w.size() == 11 && w[0].find_first_not_of("0123456789") == std::string::npos)
        figures.push_back(w);
    }
  }
  std::size_t k = 0;
  for (std::size_t i = 1; i < csv.size(); ++i) {
    const CsvRow& row = csv[i];
    if ((row[0] != "food" && row[0] != "food_form") || row[6].empty()) continue;
    ASSERT_LT(k, figures.size());
    const std::vector<std::string>& w = figures[k++];
    SCOPED_TRACE(row[2] + " " + row[4]);
    for (std::size_t c = 0; c < 5; ++c) EXPECT_EQ(w[c], row[kSamples + c]);
    EXPECT_NEAR(std::stod(w[6]), std::stod(row[15]), 1e-8);  // 8 decimals
    EXPECT_EQ(w[7], row[16]);
    EXPECT_EQ(w[8], row[kResidue]);
    EXPECT_EQ(w[9], row[kAdj1]);
    EXPECT_EQ(w[10], row[kAdj2]);
  }
  EXPECT_EQ(k, figures.size());
  EXPECT_GT(k, 20u);

  // Each bound's file, opened as the program opens one: no message, and
  // exactly the residues and factors the export lists.
  std::map<std::string, std::vector<double>> exposures;
  for (const std::string bound : {"lower", "middle", "upper"}) {
    SCOPED_TRACE(bound);
    const std::string file = "inst/residues/built-" + bound + ext_;
    const Entries rows = RowsOfBound(csv, bound);
    ModOrmid m;
    FakePlatform platform;
    {
      ScopedCurrentDir in(P("inst"));
      ASSERT_TRUE(StartUp(m, platform, false));
      ASSERT_TRUE(OpenNamedResidueFile(m, platform, P(file).string()));
    }
    for (const RecordedMessage& message : platform.messages) ADD_FAILURE() << message.text;
    EXPECT_EQ(m.gChemicalName, "Demofos-" + bound);
    std::size_t entries = 0;
    for (int f = 1; f <= m.gResFoodCount; ++f) {
      const auto i = static_cast<std::size_t>(f);
      auto it = rows.find({m.gFoodCode[i], ""});
      ASSERT_NE(it, rows.end()) << m.gFoodCode[i];
      ++entries;
      EXPECT_EQ(ShortestText(m.gFoodResidue[i]), it->second[kResidue]);
      EXPECT_EQ(ShortestText(m.gFoodAdj1[i]), it->second[kAdj1]);
      EXPECT_EQ(ShortestText(m.gFoodAdj2[i]), it->second[kAdj2]);
      for (int j = m.gFoodFirstForm[i]; j < m.gFoodFirstForm[i] + m.gFoodFormCount[i]; ++j) {
        const auto x = static_cast<std::size_t>(j);
        auto form = rows.find({m.gFoodCode[i], std::to_string(m.gFormCode[x])});
        ASSERT_NE(form, rows.end()) << m.gFoodCode[i] << " " << m.gFormCode[x];
        ++entries;
        EXPECT_EQ(ShortestText(m.gFormResidue[x]), form->second[kResidue]);
        EXPECT_EQ(ShortestText(m.gFormAdj1[x]), form->second[kAdj1]);
        EXPECT_EQ(ShortestText(m.gFormAdj2[x]), form->second[kAdj2]);
      }
    }
    EXPECT_EQ(entries, rows.size());

    r = Run(
        {"longterm", file, "--rfd=0.005", "--adj2", "--no-history", "--export", bound + "-lt.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    exposures[bound] = Exposures(P(bound + "-lt.csv"));
  }
  // The non-detects span the exposure range: lower <= middle <= upper for
  // every subgroup, and the bounds differ where the samples hold
  // non-detects.
  ASSERT_FALSE(exposures["middle"].empty());
  for (std::size_t s = 0; s < exposures["middle"].size(); ++s) {
    EXPECT_LE(exposures["lower"][s], exposures["middle"][s]) << s;
    EXPECT_LE(exposures["middle"][s], exposures["upper"][s]) << s;
  }
  EXPECT_LT(exposures["lower"][0], exposures["middle"][0]);
  EXPECT_LT(exposures["middle"][0], exposures["upper"][0]);
}

// The other sample chemical's samples, by the same rules: every entry and
// every subgroup's long-term exposure lower <= middle <= upper.
TEST_P(ResidueBuildCli, CyclofosBoundsInOrder) {
  CliResult r = Run({"residue", "build", "inst/monitoring/cyclofos-samples.csv", "--rules",
                     "inst/monitoring/rules.csv", "--chemical", "Cyclofos", "--rfd", "0.001",
                     "--bound", "all", "cyclo" + ext_, "--export", "c.csv", "--no-history"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<CsvRow> csv = ParseCsv(ReadFileBytes(P("c.csv")));
  const Entries lower = RowsOfBound(csv, "lower"), middle = RowsOfBound(csv, "middle"),
                upper = RowsOfBound(csv, "upper");
  ASSERT_EQ(lower.size(), middle.size());
  ASSERT_EQ(upper.size(), middle.size());
  for (const auto& [key, row] : middle) {
    EXPECT_LE(std::stod(lower.at(key)[kResidue]), std::stod(row[kResidue])) << key.first;
    EXPECT_LE(std::stod(row[kResidue]), std::stod(upper.at(key)[kResidue])) << key.first;
  }
  std::vector<std::vector<double>> exposures;
  for (const std::string bound : {"lower", "middle", "upper"}) {
    r = Run(
        {"longterm", "cyclo-" + bound + ext_, "--rfd", "--no-history", "--export", bound + ".csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    exposures.push_back(Exposures(P(bound + ".csv")));
  }
  for (std::size_t s = 0; s < exposures[1].size(); ++s) {
    EXPECT_LE(exposures[0][s], exposures[1][s]);
    EXPECT_LE(exposures[1][s], exposures[2][s]);
  }
}

TEST_P(ResidueBuildCli, ALongTermRunEqualsOneOnTheSameValuesTypedThroughImport) {
  const std::string out = "inst/residues/built" + ext_;
  ASSERT_EQ(Build(out, {"--export", "b.csv", "--crop-treated", "factor"}).status, 0);
  // The residue table a user would type from the build table.
  std::string table =
      "Chemical name,Demofos\nRfD,0.005\nNOEL,0\nQ*,0\n"
      "Commodity code,Commodity name,Food form code,Food form,Residue (ppm),Adjustment factor "
      "1,Adjustment factor 2,Comment\n";
  for (const CsvRow& row : ParseCsv(ReadFileBytes(P("b.csv"))))
    if (row[0] == "food" || row[0] == "food_form")
      table += row[2] + ",," + row[4] + ",," + row[kResidue] + "," + row[kAdj1] + "," + row[kAdj2] +
               "\n";
  WriteFileBytes(P("typed.csv"), table);
  CliResult r = Run({"residue", "import", "typed.csv", "typed" + ext_});
  ASSERT_EQ(r.status, 0) << r.err;
  for (const std::string& file : {out, "typed" + ext_}) {
    r = Run({"longterm", file, "--rfd=0.005", "--adj2", "--no-history", "--export",
             fs::path(file).stem().string() + "-lt.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const std::string built = ReadFileBytes(P("built-lt.csv"));
  EXPECT_EQ(built, ReadFileBytes(P("typed-lt.csv")));
  EXPECT_GT(Exposures(P("built-lt.csv")).at(0), 0);
}

TEST_P(ResidueBuildCli, ProblemsAndCollisionsWriteNothing) {
  const fs::path samples = P("inst/monitoring/samples.csv");
  const std::string out = "inst/residues/built" + ext_;
  WriteFileBytes(P(out), "an earlier file");
  const std::string earlier = ReadFileBytes(samples);
  const std::string head = "commodity,sample_id,result_ppm,lod_ppm,loq_ppm,detected\n";

  // Every problem of both files by line, exit 2, nothing written.
  WriteFileBytes(P("bad.csv"), head + "CARROTS,X1,0.1,,,\nCARROTS,X2,,,,\n");
  WriteFileBytes(P("rules.csv"), "commodity,food_code\nCARROTS,1\nKIWI,1\n");
  CliResult r = Run({"residue", "build", "bad.csv", "--rules", "rules.csv", "--chemical", "D", out,
                     "--export", "e.csv", "--yes"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err,
            "bad.csv:3: sample \"X2\" of \"CARROTS\" is a non-detect without its LOD, which "
            "--non-detects half-lod needs\n"
            "rules.csv:2: food code \"1\" is not in the installation's master food list\n"
            "rules.csv:3: commodity \"KIWI\" has no samples in bad.csv\n"
            "rules.csv:3: food code \"1\" is not in the installation's master food list\n");
  EXPECT_EQ(ReadFileBytes(P(out)), "an earlier file");
  EXPECT_FALSE(fs::exists(P(out + ".build.txt")));
  EXPECT_FALSE(fs::exists(P("e.csv")));

  // More problems than are listed: counted on the last line.
  std::string many = head;
  for (int i = 0; i < 1005; ++i) many += "CARROTS,Y" + std::to_string(i) + ",x,0.01,,\n";
  WriteFileBytes(P("many.csv"), many);
  // The installation's first rule, for CARROTS.
  const std::string rules = ReadFileBytes(P("inst/monitoring/rules.csv"));
  const std::size_t first = rules.find('\n') + 1;
  WriteFileBytes(P("carrots.csv"), rules.substr(0, rules.find('\n', first) + 1));
  r = Run(
      {"residue", "build", "many.csv", "--rules", "carrots.csv", "--chemical", "D", out, "--yes"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(
      r.err.ends_with("many.csv:1001: result_ppm \"x\" is not a number\n"
                      "... and 5 more problems\n"))
      << r.err.substr(r.err.size() > 300 ? r.err.size() - 300 : 0);
  EXPECT_EQ(ReadFileBytes(P(out)), "an earlier file");

  // An output on an input: the samples, the rules, a bound's file on the
  // rules.
  const std::string other = ext_ == ".R98" ? ".R10" : ".R98";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"samples" + ext_, "--rules", "inst/monitoring/rules.csv", "samples" + ext_},
           {"inst/monitoring/samples.csv", "--rules", "r" + ext_, "r" + ext_},
           {"inst/monitoring/samples.csv", "--rules", "x-upper" + ext_, "x" + ext_, "--bound",
            "all"},
           {"inst/monitoring/samples.csv", "--rules", "inst/monitoring/rules.csv", "out" + ext_,
            "--export", "inst/monitoring/samples.csv"},
           {"inst/monitoring/samples.csv", "--rules", "inst/monitoring/rules.csv", "y" + other},
           {"inst/monitoring/samples.csv", "--rules", "inst/monitoring/rules.csv", "y" + ext_,
            "--non-detects", "half"},
       }) {
    for (const char* name : {"samples", "r", "x-upper"})
      fs::copy_file(samples, P(name + ext_), fs::copy_options::overwrite_existing);
    std::vector<std::string> all = {"residue", "build"};
    all.insert(all.end(), args.begin(), args.end());
    all.insert(all.end(), {"--chemical", "D", "--yes"});
    r = Run(all);
    EXPECT_EQ(r.status, 2) << args[3];
    EXPECT_FALSE(r.err.empty());
    for (const char* name : {"samples", "r", "x-upper"})
      EXPECT_EQ(ReadFileBytes(P(name + ext_)), earlier) << name;
    EXPECT_EQ(ReadFileBytes(samples), earlier);
    for (const char* name : {"x-lower", "x-middle", "out", "y"})
      EXPECT_FALSE(fs::exists(P(name + ext_))) << name;
  }

  // The question before writing over a residue file: No without --yes.
  r = Build(out);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(ReadFileBytes(P(out)), "an earlier file");
  r = Build(out, {"--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadFileBytes(P(out)), "an earlier file");
}

TEST_P(ResidueBuildCli, VerifyFollowsTheSamplesAndRerunRebuildsByteForByte) {
  const std::string out = "inst/residues/built" + ext_;
  CliResult r = Build(out, {"--bound", "all", "--not-quantified", "lod-plus-half", "--export",
                            "b.csv", "--export", "b.xlsx", "--export", "b.json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string manifest = P(out + ".build.txt.manifest.json").string();
  ASSERT_TRUE(fs::exists(manifest));
  // The CSV export has the same manifest beside it (but for the way from
  // it to the working folder).
  nlohmann::json beside = nlohmann::json::parse(ReadFileBytes(manifest));
  nlohmann::json ofExport = nlohmann::json::parse(ReadFileBytes(P("b.csv.manifest.json")));
  beside.erase("working_folder_from_manifest");
  ofExport.erase("working_folder_from_manifest");
  EXPECT_EQ(beside, ofExport);

  r = Run({"verify", manifest});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("The residue files follow from the samples and rules as recorded."),
            std::string::npos)
      << r.out;

  r = Run({"rerun", manifest});
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Every output is byte-identical to the recorded one."), std::string::npos)
      << r.out;
  for (const std::string name : {"built-lower", "built-middle", "built-upper"})
    EXPECT_NE(r.out.find("identical  residue file  " + P("inst/residues/" + name + ext_).string()),
              std::string::npos)
        << name << "\n"
        << r.out;

  // The run history keeps the build.
  r = Run({"history"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("residue-build  Demofos               built-lower" + ext_),
            std::string::npos)
      << r.out;

  // A sample changed since: verify says so.
  const fs::path samples = P("inst/monitoring/samples.csv");
  WriteFileBytes(samples, ReadFileBytes(samples) + "CARROTS,NEW-1,0.5,0.005,0.015,\n");
  r = Run({"verify", manifest});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("changed    " + samples.string()), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("the inputs changed since"), std::string::npos) << r.out;
  // And a rerun finds the outputs no longer the same.
  EXPECT_NE(Run({"rerun", manifest}).status, 0);

  // A residue file changed since it was built.
  WriteFileBytes(P("inst/residues/built-upper" + ext_), "edited");
  r = Run({"verify", manifest});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("1 of 3 residue files changed or missing"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace ormid::test
