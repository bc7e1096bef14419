#include "tests/sample_run.h"

#include <gtest/gtest.h>

#include "exposure/total_exposure.h"
#include "residue/residue_reader.h"
#include "setup/startup.h"
#include "tests/installation_fixture.h"

namespace ormid::test {

namespace fs = std::filesystem;
namespace td = testdata;

SampleRun::SampleRun(const std::string& sample, const std::string& residue, char endpoint) {
  CopySampleInstallation(sample, dir.path());
  cwd = std::make_unique<ScopedCurrentDir>(dir.path());
  EXPECT_TRUE(StartUp(m, platform, false));
  EXPECT_TRUE(Open(dir.path() / "residues" / residue));
  settings.txtMOE1 = "0.5";
  settings.txtMOE2 = "0.005";
  settings.txtMOE3 = "0.05";
  settings.txtComment = "Headroom test";
  settings.chkMOE1 = endpoint == 'N';
  settings.chkMOE2 = endpoint == 'R' || endpoint == 'P';
  settings.chkMOE4 = endpoint == 'P';
  settings.chkMOE3 = endpoint == 'Q';
  settings.chkStandard.assign(static_cast<std::size_t>(m.gPopCount), 0);
}

bool SampleRun::Open(const fs::path& file) {
  platform.openAnswers.push_back(file.string());
  int cancelled = 0;
  OpenResidueFile(m, platform, cancelled);
  return cancelled == 0;
}

std::string SampleRun::LongTermReport() {
  EXPECT_EQ(RunThroughSession(m, platform, host, settings, RunKind::LongTerm).status,
            RunStatus::Done);
  EXPECT_TRUE(platform.messages.empty()) << platform.messages.front().text;
  return ReadFileBytes("ormdtemp.txt");
}

ExposureTerms SampleRun::Terms() {
  host.terms = ExposureTerms{};
  LongTermReport();
  EXPECT_GT(host.terms.size(), 0u);
  return host.terms;
}

fs::path SampleRun::Regenerate(const std::function<float(int, int, float)>& residue,
                               const std::function<bool(int)>& keep) {
  td::ResidueFile file;
  file.chemical = m.gChemicalName;
  file.rfd = m.gRefDose;
  file.tag = TagFor(m.gSurveyBase);
  file.noel = m.gNOEL;
  file.qStar = m.gQStar;
  file.date = m.gResidueFileDate;
  file.comment = "Regenerated";
  for (int f = 1; f <= m.gResFoodCount; ++f) {
    if (!keep(f)) continue;
    const auto fi = static_cast<std::size_t>(f);
    td::ResidueFood food;
    food.number = m.gFoodConsRec[fi];
    food.code = m.gFoodCode[fi];
    food.name = m.gFoodName[fi];
    food.residue = residue(f, 0, m.gFoodResidue[fi]);
    food.adj1 = m.gFoodAdj1[fi];
    food.adj2 = m.gFoodAdj2[fi];
    const int first = m.gFoodFirstForm[fi];
    for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
      const auto ji = static_cast<std::size_t>(j);
      food.forms.push_back({m.gFormCode[ji],
                            "",
                            residue(f, j, m.gFormResidue[ji]),
                            m.gFormAdj1[ji],
                            m.gFormAdj2[ji],
                            {},
                            ""});
    }
    file.foods.push_back(std::move(food));
  }
  const fs::path path =
      dir.path() / "residues" /
      ("regenerated" + std::to_string(++files) + (m.gSurveyBase == 0 ? ".R98" : ".R10"));
  td::WriteResidueFile(file, path);
  return path;
}

void SampleRun::Reopen(const std::function<float(int, int, float)>& residue,
                       const std::function<bool(int)>& keep) {
  ASSERT_TRUE(Open(Regenerate(residue, keep)));
}

}  // namespace ormid::test
