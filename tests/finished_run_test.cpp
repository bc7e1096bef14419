// A finished run without a window: the rows kept past the state they came
// from, the report it wrote recognised by its bytes, the manifest of a copy
// saved later, and the export file dialog's names and overwrite question.
#include <gtest/gtest.h>

#include "core/mod_ormid.h"
#include "delivery/export_dialog.h"
#include "manifest/run_manifest.h"
#include "manifest/sha256.h"
#include "session/kind_figures.h"
#include "tests/test_support.h"

namespace ormid::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Keeps the texts of every row it is sent.
struct TextSink : ResultsSink {
  void LongTerm(const ModOrmid&, const LongTermResult& r) override {
    texts.push_back(std::to_string(r.row) + " " + std::string(r.subgroup) + " " +
                    std::to_string(r.exposure));
  }
  void Contribution(const ModOrmid&, const ContributionResult& r) override {
    texts.push_back(std::string(r.subgroup) + "|" + std::string(r.cropGroupName) + "|" +
                    std::string(r.commodityCode) + "|" + std::string(r.commodityName) + "|" +
                    std::string(r.formLabel) + "|" + std::to_string(r.formCode));
  }
  std::vector<std::string> texts;
};

TEST(FinishedRun, RowsOutliveTheStateTheyCameFrom) {
  RowFigures rows;
  ModOrmid m;
  {
    // Texts long enough to live on the heap, gone when the run's state is.
    std::string subgroup = "Females 13-19 (not preg or nursing), a long subgroup name";
    std::string group = "Root and tuber vegetables, a long crop group name";
    std::string code = "02020000", name = "Carrot, roots, a long commodity name for the test";
    std::string label = "Cooked: boiled, a long food form label for the test";
    LongTermResult l;
    l.row = 7;
    l.subgroup = subgroup;
    l.exposure = 0.5f;
    rows.LongTerm(m, l);
    ContributionResult c;
    c.kind = ContributionKind::FoodForm;
    c.subgroup = subgroup;
    c.cropGroupName = group;
    c.commodityCode = code;
    c.commodityName = name;
    c.formCode = 120;
    c.formLabel = label;
    rows.Contribution(m, c);
    for (std::string* s : {&subgroup, &group, &code, &name, &label}) s->assign(s->size(), '#');
  }
  TextSink sink;
  rows.SendTo(m, sink);
  EXPECT_EQ(sink.texts,
            (std::vector<std::string>{
                "7 Females 13-19 (not preg or nursing), a long subgroup name 0.500000",
                "Females 13-19 (not preg or nursing), a long subgroup name|Root and tuber "
                "vegetables, a long crop group name|02020000|Carrot, roots, a long commodity "
                "name for the test|Cooked: boiled, a long food form label for the test|120"}));
  // The long-term row is a subgroup's figure; a food form's row is not.
  ASSERT_EQ(rows.Subgroups().size(), 1u);
  EXPECT_EQ(rows.Subgroups()[0].name, "Females 13-19 (not preg or nursing), a long subgroup name");

  // With totals only, a commodity run keeps each subgroup's total alone.
  RowFigures totals(true);
  EXPECT_TRUE(totals.TotalsOnly());
  ContributionResult food, total;
  food.kind = ContributionKind::Food;
  total.kind = ContributionKind::SubgroupTotal;
  total.row = 1;
  total.exposure = 0.25f;
  totals.Contribution(m, food);
  totals.Contribution(m, total);
  ASSERT_EQ(totals.ContributionRows().size(), 1u);
  EXPECT_EQ(totals.ContributionRows()[0].kind, ContributionKind::SubgroupTotal);
  ASSERT_EQ(totals.Subgroups().size(), 1u);
  EXPECT_EQ(totals.Subgroups()[0].figures.exposure, 0.25f);
}

TEST(FinishedRun, ItsReportIsKnownByItsBytes) {
  TempDir dir;
  const fs::path report = dir.path() / "ormdtemp.txt";
  WriteFileBytes(report, "line 1\r\nline 2\r\n");
  FinishedRun run;
  run.manifest = {{"outputs", json::array()}};
  ASSERT_TRUE(AddOutput(run.manifest, "report", report.string()));
  struct Case {
    const char* name;
    std::string bytes;
    bool same;
  } cases[] = {
      {"copy.OR10", "line 1\r\nline 2\r\n", true},
      {"edited.OR10", "line 1\r\nline 3\r\n", false},
      {"longer.OR10", "line 1\r\nline 2\r\n\r\n", false},
  };
  for (const Case& c : cases) {
    WriteFileBytes(dir.path() / c.name, c.bytes);
    EXPECT_EQ(run.IsReport((dir.path() / c.name).string()), c.same) << c.name;
  }
  EXPECT_FALSE(run.IsReport((dir.path() / "missing.OR10").string()));
  // A run whose manifest lists no report recognises nothing.
  FinishedRun lost;
  lost.manifest = {{"outputs", json::array()}};
  EXPECT_FALSE(lost.IsReport(report.string()));
  // Its exports carry the manifest without its outputs.
  EXPECT_EQ(run.ExportManifest()["outputs"], json::array());

  // A saved copy's manifest: the run's, with every output of the run and the
  // copy.
  FakePlatform p;
  std::string error;
  const fs::path saved = dir.path() / "copy.OR10";
  ASSERT_TRUE(WriteSavedReportManifest(p, run, saved.string(), error)) << error;
  json manifest = json::parse(ReadFileBytes(saved.string() + ".manifest.json"));
  ASSERT_EQ(manifest["outputs"].size(), 2u);
  EXPECT_EQ(manifest["outputs"][0]["path"], DigestKey(report.string()));
  EXPECT_EQ(manifest["outputs"][1]["role"], "saved report");
  EXPECT_EQ(manifest["outputs"][1]["sha256"], Sha256Hex("line 1\r\nline 2\r\n"));
  EXPECT_FALSE(WriteSavedReportManifest(p, run, (dir.path() / "gone.OR10").string(), error));
}

TEST(ExportDialog, NamesGetThePickedTypesExtension) {
  struct Case {
    const char* typed;
    int type;
    const char* name;
  } cases[] = {
      {"figures", 1, "figures.csv"},
      {"figures", 2, "figures.json"},
      {"figures", 3, "figures.xlsx"},
      {"figures", 9, "figures.csv"},
      {"figures.json", 1, "figures.json"},  // the extension decides
      {"figures.Csv", 3, "figures.Csv"},
      {"week.1", 3, "week.1.xlsx"},
      {"/data/run 2.v3/figures", 2, "/data/run 2.v3/figures.json"},
      {"", 1, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WithExportExtension(c.typed, c.type), c.name) << c.typed << " " << c.type;
  for (ExportFormat f : {ExportFormat::Csv, ExportFormat::Json, ExportFormat::Xlsx}) {
    EXPECT_EQ(ExportTypeAt(ExportTypeIndex(f)), f);
    EXPECT_EQ(ExportFormatOf(std::string("x") + ExportExtension(f)), f);
  }

  EXPECT_EQ(ProposedExportName({{"run", {{"command", "longterm"}}},
                                {"residue_file", {{"path", "/inst/residues/DEMOFOS.R98"}}}},
                               3),
            "DEMOFOS-longterm.xlsx");
  EXPECT_EQ(
      ProposedExportName(
          {{"run", {{"command", "cumulative"}}}, {"group_file", {{"path", "op-group.csv"}}}}, 1),
      "op-group-cumulative.csv");
  EXPECT_EQ(ProposedExportName({{"run", {{"command", "commodity"}}}}, 2), "results-commodity.json");
}

TEST(ExportDialog, OverwriteQuestionLoop) {
  TempDir dir;
  ScopedCurrentDir cwd(dir.path());
  const std::string taken = (dir.path() / "taken.json").string();
  WriteFileBytes(taken, "{}");
  struct Case {
    const char* name;
    std::vector<std::optional<std::string>> dialog;
    std::vector<int> types;
    std::vector<MsgAnswer> answers;
    std::optional<std::string> chosen;
    int type;  // on return
    std::size_t questions;
  } cases[] = {
      {"new file", {dir.str() + "/new"}, {3}, {}, dir.str() + "/new.xlsx", 3, 0},
      {"cancelled dialog", {std::nullopt}, {2}, {}, std::nullopt, 1, 0},
      {"Yes", {taken}, {1}, {MsgAnswer::Yes}, taken, 2, 1},
      {"No, then another name",
       {taken, dir.str() + "/other"},
       {2, 1},
       {MsgAnswer::No},
       dir.str() + "/other.csv",
       1,
       1},
      {"Cancel", {taken}, {2}, {MsgAnswer::Cancel}, std::nullopt, 2, 1},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.saveAnswers.assign(c.dialog.begin(), c.dialog.end());
    p.saveTypeAnswers.assign(c.types.begin(), c.types.end());
    p.answers.assign(c.answers.begin(), c.answers.end());
    int type = 1;
    auto chosen = ChooseExportFile(p, dir.str() + "/", "proposed.csv", type);
    EXPECT_EQ(chosen, c.chosen) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(p.messages.size(), c.questions) << c.name;
    EXPECT_EQ(p.saveRequests.front().fileName, "proposed.csv") << c.name;
    EXPECT_EQ(p.saveRequests.front().filter, kExportTypes) << c.name;
    if (p.saveRequests.size() > 1) {
      EXPECT_EQ(p.saveRequests[1].fileName, taken) << c.name;
    }
  }
}

}  // namespace
}  // namespace ormid::test
