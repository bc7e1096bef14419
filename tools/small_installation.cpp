#include "tools/small_installation.h"

#include <vector>

namespace ormid::testdata {

namespace {

std::string Code(int surveyBase, const std::string& eight) {
  return surveyBase == 0 ? eight : eight + "00";
}

std::vector<float> Column(int columns, float base) {
  std::vector<float> v;
  for (int c = 1; c <= columns; ++c) v.push_back(base * static_cast<float>(c));
  return v;
}

}  // namespace

std::string TagFor(int surveyBase) {
  return surveyBase == 0 ? "FCID1" : "05-10-cNH2";
}

Installation SmallInstallation(int surveyBase) {
  Installation inst;
  inst.surveyBase = surveyBase;
  inst.dataVersion = surveyBase == 0 ? "94-98-test" : "05-10-c";
  inst.supportNote = "Test installation";
  inst.supportFiles = {"Desc.txt", "Food.dat", "Rac.dat", "Support4.dat", "Cons1.dat", "Cons2.dat"};
  if (surveyBase == 0) inst.supportFiles.push_back("Support7.dat");
  inst.supportListA = {"a1", "a2"};
  inst.supportListB = {"b1", "b2"};
  int columns = ConsumptionColumns(surveyBase);
  for (int k = 1; k <= columns; ++k) inst.subgroups.push_back("Subgroup " + std::to_string(k));
  inst.setup.banner = "TEST BANNER";
  inst.formDesc1 = {{0, "Uncooked"}, {1, "Cooked"}, {2, "Baked"}};
  inst.formDesc2 = {{0, "Fresh"}, {1, "Frozen"}, {2, "Dried"}};
  inst.formDesc3 = {{0, "Home"}, {1, "Canned"}};
  int groups = surveyBase == 0 ? 38 : 82;
  for (int k = 1; k <= groups; ++k)
    inst.cropGroups.push_back({static_cast<std::int16_t>(k), "Crop group " + std::to_string(k)});

  auto food = [&](std::int16_t n, const std::string& code8, const std::string& group,
                  const std::string& name, float base) {
    MasterFood f;
    f.number = n;
    f.code = Code(surveyBase, code8);
    f.cropGroup = group;
    f.name = name;
    f.consumption.values = Column(columns, base);
    return f;
  };
  inst.foods.push_back(food(1, "01010000", "11", "Apple", 0.5f));
  auto carrot = food(2, "02020000", "1A", "Carrot", 0.0f);
  for (std::int16_t code : {110, 120, 130})
    carrot.forms.push_back(
        {code, {Column(columns, 0.01f * static_cast<float>(code / 10)), {}, {}, {}}});
  inst.foods.push_back(carrot);
  auto wheat = food(3, "03030000", "15", "Wheat", 0.0f);
  for (std::int16_t code : {200, 210})
    wheat.forms.push_back({code, {Column(columns, 0.25f), {}, {}, {}}});
  inst.foods.push_back(wheat);
  inst.foods.push_back(food(4, "04040000", "M", "Beef", 0.125f));
  inst.foods.push_back(food(5, "05050000", "4A", "Lettuce", 0.05f));
  inst.foods.push_back(food(6, "06060000", "20", "Sesame", 0.0f));
  return inst;
}

ResidueFile SmallResidueFile(int surveyBase) {
  ResidueFile r;
  r.chemical = "Testazole";
  r.rfd = 0.005f;
  r.tag = TagFor(surveyBase);
  r.noel = 0.5f;
  r.qStar = 0.05f;
  r.date = "03-15-2024";
  r.comment = "Tolerance residues";
  // Each food entry carries its crop group code, as the editor's files do.
  auto food = [&](std::int16_t n, const std::string& code8, const std::string& group,
                  const std::string& name, float residue) {
    ResidueFood f;
    f.number = n;
    f.code = Code(surveyBase, code8);
    f.text = group;
    f.name = name;
    f.residue = residue;
    return f;
  };
  r.foods.push_back(food(1, "01010000", "11", "Apple", 1.5f));
  auto carrot = food(2, "02020000", "1A", "Carrot", 0.0f);
  carrot.forms = {{110, "", 0.2f, 1.0f, 0.5f, {}, ""},
                  {120, "", 0.3f, 2.0f, 1.0f, {}, ""},
                  {130, "", 0.4f, 1.0f, 1.0f, {}, ""}};
  r.foods.push_back(carrot);
  auto wheat = food(3, "03030000", "15", "Wheat", 0.0f);
  wheat.forms = {{200, "", 0.1f, 1.0f, 1.0f, {}, ""}};
  r.foods.push_back(wheat);
  r.foods.push_back(food(4, "04040000", "M", "Beef", 0.02f));
  auto lettuce = food(5, "05050000", "4A", "Lettuce", 3.0f);
  lettuce.adj1 = 0.5f;
  lettuce.adj2 = 0.25f;
  r.foods.push_back(lettuce);
  return r;
}

}  // namespace ormid::testdata
