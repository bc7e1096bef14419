#include "tools/installation_writer.h"

#include "residue/residue_file_writer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <stdexcept>

namespace ormid::testdata {
namespace {

using ormid::AddLine;
using ormid::Quoted;

void PutInt16(std::string& out, std::size_t offset, std::int16_t value) {
  const auto bits = static_cast<std::uint16_t>(value);
  out[offset] = static_cast<char>(bits & 0xFF);
  out[offset + 1] = static_cast<char>(bits >> 8);
}

void PutInt32(std::string& out, std::size_t offset, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
}

void PutFloat(std::string& out, std::size_t offset, float value) {
  std::uint32_t bits = 0;
  static_assert(sizeof bits == sizeof value);
  std::memcpy(&bits, &value, sizeof bits);
  PutInt32(out, offset, static_cast<std::int32_t>(bits));
}

// Blank-padded fixed-width text; longer texts are cut to the width.
void PutText(std::string& out, std::size_t offset, std::size_t width, const std::string& text) {
  for (std::size_t i = 0; i < width; ++i) out[offset + i] = i < text.size() ? text[i] : ' ';
}

std::int16_t ToInt16(int value, const char* what) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw std::invalid_argument(std::string(what) + " does not fit a 16-bit field");
  }
  return static_cast<std::int16_t>(value);
}

int RecordPosition(const MasterFood& food) {
  return food.recordPosition != 0 ? food.recordPosition : food.number;
}

// Fills one consumption record; defaultFormCode is the form's code (0 for the
// food-level file).
void PutConsumption(std::string& out, std::size_t offset, int surveyBase, const MasterFood& food,
                    const Consumption& data, std::int16_t defaultFormCode) {
  const int columns = ConsumptionColumns(surveyBase);
  if (static_cast<int>(data.values.size()) > columns) {
    throw std::invalid_argument("food " + std::to_string(food.number) + " has more than " +
                                std::to_string(columns) + " consumption values");
  }
  const auto width = static_cast<std::size_t>(CodeWidth(surveyBase));
  PutInt16(out, offset, data.reserved.value_or(food.number));
  PutInt16(out, offset + 2, data.formCode.value_or(defaultFormCode));
  PutText(out, offset + 4, width, data.code.value_or(food.code));
  for (std::size_t i = 0; i < data.values.size(); ++i) {
    PutFloat(out, offset + 4 + width + 4 * i, data.values[i]);
  }
}

// A record of blanks and zeros: no data.
void PutEmptyConsumption(std::string& out, std::size_t offset, int surveyBase) {
  PutText(out, offset + 4, static_cast<std::size_t>(CodeWidth(surveyBase)), "");
}

}  // namespace

int FoodRecordSize(int surveyBase) {
  return surveyBase == 0 ? kCsfiiFoodRecordSize : kNhanesFoodRecordSize;
}
int ConsumptionRecordSize(int surveyBase) {
  return surveyBase == 0 ? kCsfiiConsumptionRecordSize : kNhanesConsumptionRecordSize;
}
int ConsumptionColumns(int surveyBase) {
  return surveyBase == 0 ? kCsfiiColumns : kNhanesColumns;
}
int CodeWidth(int surveyBase) {
  return surveyBase == 0 ? kCsfiiCodeWidth : kNhanesCodeWidth;
}

std::vector<int> FirstFormIndexes(const Installation& inst) {
  std::vector<int> first;
  int next = 1;
  for (const MasterFood& food : inst.foods) {
    first.push_back(food.forms.empty() ? 0 : next);
    next += static_cast<int>(food.forms.size());
  }
  return first;
}

int FoodRecordCount(const Installation& inst) {
  int count = 0;
  for (const MasterFood& food : inst.foods) count = std::max(count, RecordPosition(food));
  return count;
}

int FormEntryCount(const Installation& inst) {
  int count = 0;
  for (const MasterFood& food : inst.foods) count += static_cast<int>(food.forms.size());
  return count;
}

std::string SupportListText(const Installation& inst) {
  std::string out;
  auto line = [&out](const std::string& text) { AddLine(out, {text}); };
  auto count = [&out](std::string key, int value) {
    key += '=';
    key += std::to_string(value);
    AddLine(out, {key});
  };

  line(inst.heading);
  count("SurveyBase", inst.surveyBase);
  line(inst.dataVersion);
  line(inst.supportNote);
  for (const std::string& name : inst.supportFiles) line(Quoted(name));

  const std::size_t listSize = std::max(inst.supportListA.size(), inst.supportListB.size());
  count("SupportFirst", inst.supportFirst);
  count("SupportLast", inst.supportFirst + static_cast<int>(listSize) - 1);
  auto list = [&](const char* title, const std::vector<std::string>& items) {
    line(title);
    for (std::size_t i = 0; i < listSize; ++i) line(Quoted(i < items.size() ? items[i] : ""));
  };
  list("Support list A", inst.supportListA);
  list("Support list B", inst.supportListB);

  count("FoodCount", inst.foodCountOverride.value_or(ToInt16(FoodRecordCount(inst), "food count")));
  count("SupportCount2", inst.supportCount2);
  count("RacCount", inst.racCountOverride.value_or(ToInt16(FormEntryCount(inst), "form count")));
  count("PopCount", inst.popCountOverride.value_or(
                        ToInt16(static_cast<int>(inst.subgroups.size()), "subgroup count")));
  for (const std::string& name : inst.subgroups) line(Quoted(name));
  return out;
}

std::string SetupText(const SetupItems& setup) {
  std::string out;
  for (const std::string& item :
       {Quoted(setup.residuePath), std::to_string(setup.pageLength), Quoted(setup.field3),
        Quoted(setup.banner), Quoted(setup.field5), Quoted(setup.field6), Quoted(setup.pageNumbers),
        Quoted(setup.field8), Quoted(setup.field9)}) {
    AddLine(out, {item});
  }
  return out;
}

std::string DescriptionText(const Installation& inst) {
  std::string out;
  auto list = [&out](const std::string& heading, const std::vector<FormDescription>& items) {
    AddLine(out, {Quoted(heading), std::to_string(items.size())});
    for (const FormDescription& d : items) AddLine(out, {std::to_string(d.digit), Quoted(d.text)});
  };
  list(inst.formHeading1, inst.formDesc1);
  list(inst.formHeading2, inst.formDesc2);
  list(inst.formHeading3, inst.formDesc3);
  AddLine(out, {std::to_string(inst.cropGroups.size())});
  for (std::size_t k = 0; k < inst.cropGroups.size(); ++k) {
    const CropGroup& group = inst.cropGroups[k];
    AddLine(out, {std::to_string(k + 1), std::to_string(group.number), Quoted(group.name)});
  }
  return out;
}

std::string MasterFoodBytes(const Installation& inst) {
  const int size = FoodRecordSize(inst.surveyBase);
  const bool csfii = inst.surveyBase == 0;
  const std::size_t codeWidth = static_cast<std::size_t>(CodeWidth(inst.surveyBase));
  std::string out(static_cast<std::size_t>(FoodRecordCount(inst)) * size, '\0');
  const std::vector<int> first = FirstFormIndexes(inst);
  for (std::size_t i = 0; i < inst.foods.size(); ++i) {
    const MasterFood& food = inst.foods[i];
    const int position = RecordPosition(food);
    if (position < 1) throw std::invalid_argument("a master food needs a record position");
    const std::size_t at = static_cast<std::size_t>(position - 1) * size;
    const std::size_t group = csfii ? 10 : 12;  // fields after the code shift with its width
    PutInt16(out, at, food.number);
    PutText(out, at + 2, codeWidth, food.code);
    PutText(out, at + group, 3, food.cropGroup);
    PutInt32(out, at + group + 3, food.extraNumber);
    PutText(out, at + group + 7, 39, food.name);
    PutInt16(out, at + group + 46, ToInt16(static_cast<int>(food.forms.size()), "form count"));
    PutInt16(out, at + group + 48, ToInt16(first[i], "first form index"));
  }
  return out;
}

std::string MasterFormBytes(const Installation& inst) {
  std::string out;
  for (const MasterFood& food : inst.foods) {
    for (const MasterForm& form : food.forms) {
      std::string record(kFormRecordSize, '\0');
      PutInt16(record, 0, form.code);
      PutInt16(record, 2, food.number);  // the owning food, for a reader of the raw file
      out += record;
    }
  }
  return out;
}

std::string FoodConsumptionBytes(const Installation& inst) {
  const std::size_t size = static_cast<std::size_t>(ConsumptionRecordSize(inst.surveyBase));
  int records = 0;
  for (const MasterFood& food : inst.foods) records = std::max<int>(records, food.number);
  std::string out(static_cast<std::size_t>(records) * size, '\0');
  for (int r = 0; r < records; ++r) PutEmptyConsumption(out, r * size, inst.surveyBase);
  for (const MasterFood& food : inst.foods) {
    if (food.number < 1) continue;
    PutConsumption(out, (food.number - 1) * size, inst.surveyBase, food, food.consumption, 0);
  }
  return out;
}

std::string FormConsumptionBytes(const Installation& inst) {
  const std::size_t size = static_cast<std::size_t>(ConsumptionRecordSize(inst.surveyBase));
  std::string out(static_cast<std::size_t>(FormEntryCount(inst)) * size, '\0');
  std::size_t at = 0;
  for (const MasterFood& food : inst.foods) {
    for (const MasterForm& form : food.forms) {
      PutConsumption(out, at, inst.surveyBase, food, form.consumption, form.code);
      at += size;
    }
  }
  return out;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteInstallation(const Installation& inst, const std::filesystem::path& dir) {
  const std::size_t wanted = inst.surveyBase == 0 ? 7 : 6;
  if (inst.supportFiles.size() < 6 || inst.supportFiles.size() > wanted) {
    throw std::invalid_argument("the support list needs " + std::to_string(wanted) +
                                " support file names");
  }
  const auto& names = inst.supportFiles;
  std::filesystem::create_directories(dir);
  WriteFile(dir / "KavriSupport.txt", SupportListText(inst));
  WriteFile(dir / "SetupKAVRINH.txt", SetupText(inst.setup));
  WriteFile(dir / names[0], DescriptionText(inst));
  WriteFile(dir / names[1], MasterFoodBytes(inst));
  WriteFile(dir / names[2], MasterFormBytes(inst));
  WriteFile(dir / names[3], inst.supportFile4Text.empty()
                                ? std::string("KAVRI-FCID support file\r\n")
                                : inst.supportFile4Text);
  WriteFile(dir / names[4], FoodConsumptionBytes(inst));
  WriteFile(dir / names[5], FormConsumptionBytes(inst));
  if (names.size() == 7 && inst.supportFile7Text) WriteFile(dir / names[6], *inst.supportFile7Text);
}

// --- Residue files ---

void WriteResidueFile(const ResidueFile& file, const std::filesystem::path& path) {
  WriteFile(path, ResidueFileText(file));
}

}  // namespace ormid::testdata
