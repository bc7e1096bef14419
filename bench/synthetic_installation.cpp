#include "bench/synthetic_installation.h"

#include <array>
#include <stdexcept>
#include <string_view>

namespace ormid::bench {

namespace {

using testdata::Installation;

// Food-form counts repeat in this cycle: 30 entries for every 6 foods, one
// food in six without forms (its food-level record applies).
constexpr std::array<int, 6> kFormCycle = {0, 4, 6, 5, 7, 8};

// Crop group codes that reach every CSFII group and subgroup.
constexpr std::array<std::string_view, 28> kCropCodes = {
    "O",  "M", "P",  "F",  "D",  "1AB", "1CD", "2",   "3",   "4A", "4B", "5A",  "5B",  "6AB",
    "6C", "8", "9A", "9B", "10", "11",  "12",  "13A", "13B", "14", "15", "19A", "19B", "20"};

// Crop group indexes of the CSFII rule set that are subgroups (number 0).
bool IsSubgroupIndex(int k) {
  constexpr std::array<int, 17> kSubgroups = {7,  8,  9,  10, 14, 15, 17, 18, 20,
                                              21, 22, 25, 26, 31, 32, 36, 37};
  for (int s : kSubgroups)
    if (s == k) return true;
  return false;
}

// A value in [0, 1) from two integers; the same on every machine.
double Unit(unsigned a, unsigned b) {
  unsigned h = a * 2654435761u ^ (b + 0x9e3779b9u + (a << 6) + (a >> 2));
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return static_cast<double>(h % 100000u) / 100000.0;
}

// Mean consumption of column c, g/kg bw/day; a few entries have none.
std::vector<float> ConsumptionValues(int entry, double base) {
  std::vector<float> values(testdata::kCsfiiColumns);
  for (int c = 0; c < testdata::kCsfiiColumns; ++c) {
    const double u = Unit(static_cast<unsigned>(entry), static_cast<unsigned>(c));
    values[static_cast<std::size_t>(c)] = u < 0.05 ? 0.0f : static_cast<float>(base * (0.2 + u));
  }
  return values;
}

}  // namespace

Installation SyntheticInstallation(int scale) {
  if (scale < 1 || scale * kFoodsPerScale > 32767 || scale * kFormsPerScale > 32767)
    throw std::invalid_argument("the scale must keep the counts within 16 bits");
  Installation inst;
  inst.heading = "KAVRI-FCID support data, synthetic CSFII installation";
  inst.surveyBase = 0;
  inst.dataVersion = "FCID-CSFII synthetic x" + std::to_string(scale);
  inst.supportNote = "Synthetic data for timing runs.";
  inst.supportFiles = {"FCIDDesc.txt", "FCIDFood.dat", "FCIDRac.dat", "FCIDList.txt",
                       "FCIDMean.dat", "FCIDForm.dat", "FCIDGrp.txt"};
  inst.supportListA = {"Long-term analysis"};
  inst.supportListB = {"ORMID"};
  for (int k = 1; k <= testdata::kCsfiiColumns; ++k)
    inst.subgroups.push_back("Population subgroup " + std::to_string(k));
  inst.setup.banner = "KAVRI-FCID Synthetic Installation";
  inst.formDesc1 = {{0, "N/S"},    {1, "Uncooked"}, {2, "Cooked"}, {3, "Baked"},
                    {4, "Boiled"}, {5, "Fried"},    {6, "Stewed"}, {7, "Grilled"}};
  inst.formDesc2 = {{0, "Fresh"}, {1, "Frozen"}, {2, "Canned"}, {3, "Dried"},
                    {4, "Cured"}, {5, "Smoked"}, {6, "Pickled"}};
  inst.formDesc3 = {{0, "N/S"}, {1, "Home prepared"}, {2, "Commercial"}, {3, "Baby food"}};
  for (int k = 1; k <= 38; ++k) {
    const bool sub = IsSubgroupIndex(k);
    inst.cropGroups.push_back({static_cast<std::int16_t>(sub ? 0 : k),
                               (sub ? "Crop subgroup " : "Crop group ") + std::to_string(k)});
  }

  const int foods = scale * kFoodsPerScale;
  for (int f = 1; f <= foods; ++f) {
    testdata::MasterFood food;
    food.number = static_cast<std::int16_t>(f);
    food.code = std::to_string(10000000 + 37 * f);
    food.cropGroup = kCropCodes[static_cast<std::size_t>(f) % kCropCodes.size()];
    food.name = "Synthetic commodity " + std::to_string(f);
    const double base = 0.001 + 0.5 * Unit(static_cast<unsigned>(f), 991u);
    food.consumption.values = ConsumptionValues(f, base);
    const int forms = kFormCycle[static_cast<std::size_t>(f) % kFormCycle.size()];
    for (int x = 0; x < forms; ++x) {
      testdata::MasterForm form;
      form.code = static_cast<std::int16_t>(100 * (1 + x % 7) + 10 * ((f + x) % 7) + x % 4);
      form.consumption.values = ConsumptionValues(100000 + 8 * f + x, base / forms);
      food.forms.push_back(std::move(form));
    }
    inst.foods.push_back(std::move(food));
  }
  return inst;
}

testdata::ResidueFile SyntheticResidueFile(const Installation& inst) {
  testdata::ResidueFile file;
  file.chemical = "Benchofos";
  file.rfd = 0.0005f;
  file.noel = 0.05f;
  file.qStar = 0.02f;
  file.date = "01-15-2024";
  file.comment = "Synthetic residues on every food and food form";
  for (const testdata::MasterFood& master : inst.foods) {
    testdata::ResidueFood food;
    food.number = master.number;
    food.code = master.code;
    food.text = master.cropGroup;  // as the residue file editor writes it
    food.name = master.name;
    food.residue = 0.01f * static_cast<float>(1 + (master.number * 37) % 200);
    food.adj1 = 1.0f;
    food.adj2 = master.number % 3 == 0 ? 0.5f : 1.0f;
    for (std::size_t x = 0; x < master.forms.size(); ++x) {
      testdata::ResidueForm form;
      form.code = master.forms[x].code;
      form.residue = 0.005f * static_cast<float>(1 + (master.number * 13 + 7 * x) % 300);
      form.adj1 = x % 2 == 0 ? 1.0f : 0.8f;
      form.adj2 = 1.0f;
      food.forms.push_back(std::move(form));
    }
    file.foods.push_back(std::move(food));
  }
  return file;
}

std::filesystem::path WriteSyntheticInstallation(int scale, const std::filesystem::path& dir) {
  const Installation inst = SyntheticInstallation(scale);
  testdata::WriteInstallation(inst, dir);
  const std::filesystem::path residue = dir / "residues" / "BENCH.R98";
  testdata::WriteResidueFile(SyntheticResidueFile(inst), residue);
  return residue;
}

}  // namespace ormid::bench
