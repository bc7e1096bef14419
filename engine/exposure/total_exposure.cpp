#include "exposure/total_exposure.h"

#include "core/mod_ormid.h"
#include "core/numbers.h"
#include "core/platform.h"
#include "exposure/exposure_terms.h"

namespace ormid {

namespace {

// Where a record's consumption columns start: after the food-form code and
// the 8-character (CSFII) or 10-character (NHANES) food code.
std::size_t ValuesOffset(const ModOrmid& m) {
  return m.gSurveyBase == 0 ? 12 : 14;
}

}  // namespace

ConsumptionRecord DecodeConsumptionRecord(const ModOrmid& m, std::string_view record) {
  ConsumptionRecord r;
  r.formCode = ReadInt16LE(record, 2);
  const std::size_t values = ValuesOffset(m);
  r.code = record.substr(4, values - 4);
  r.values = record.substr(values, static_cast<std::size_t>(m.ConsumptionColumns()) * 4);
  return r;
}

float ConsumptionIn(const ModOrmid& m, std::string_view record, int c) {
  if (c < 1 || c > m.ConsumptionColumns()) return 0.0f;
  const std::size_t offset = ValuesOffset(m) + static_cast<std::size_t>(c - 1) * 4;
  return offset + 4 <= record.size() ? ReadFloatLE(record, offset) : 0.0f;
}

bool ConsumptionFiles::Open(const ModOrmid& m, std::string& failedFile) {
  int len = m.ConsumptionRecordLength();
  if (!foods.Open(m.gConsumptionFile1, len)) {
    failedFile = m.gConsumptionFile1;
    return false;
  }
  if (!forms.Open(m.gConsumptionFile2, len)) {
    failedFile = m.gConsumptionFile2;
    return false;
  }
  return true;
}

bool NormaliseRecordCode(std::string_view field, std::string& code) {
  if (!IsValidNumber(field) || field.find_first_not_of(' ') == std::string_view::npos) return false;
  std::size_t b = field.find_first_not_of(' ');
  std::size_t e = field.find_last_not_of(' ');
  code.assign(field.substr(b, e - b + 1));
  if (code.size() == 9) code.insert(code.begin(), '0');
  return true;
}

float ExposureTerm(float c, float residue, float adj1, float adj2, bool useAdj2) {
  float t = static_cast<float>(static_cast<double>(c) * static_cast<double>(residue) *
                               static_cast<double>(adj1) / 1000.0);
  if (useAdj2) t = static_cast<float>(static_cast<double>(t) * static_cast<double>(adj2));
  return t;
}

namespace {

std::string SignedText(int v) {
  return (v < 0 ? "" : " ") + std::to_string(v);
}

bool MeanFileError(Platform& p, const std::string& text) {
  p.MessageBox("MEAN FILE ERROR: " + text + ". Call Halvern Software.", "support file error",
               MsgIcon::Critical, MsgButtons::OK);
  return false;
}

}  // namespace

void ComputeTotalExposure(ModOrmid& m, Platform& p, int& failed, ExposureTerms* terms) {
  ConsumptionFiles files;
  std::string failedFile;
  if (!files.Open(m, failedFile)) {
    p.MessageBox("The consumption file " + failedFile + " cannot be opened.", "support file error",
                 MsgIcon::Critical, MsgButtons::OK);
    failed = 1;
    return;
  }
  // Sized for every consumption column, so that a report row whose column
  // lies beyond the subgroup count still reads a (zero) total.
  std::size_t columns =
      static_cast<std::size_t>(std::max<int>(m.gPopCount, m.ConsumptionColumns()));
  m.gPopExposure.assign(columns + 1, 0.0f);
  const bool useAdj2 = m.gUseAdj2 != 0;
  const int pops = m.gPopCount;
  if (terms) terms->Reset(pops);
  std::string code;

  for (int f = 1; f <= m.gResFoodCount; ++f) {
    auto fi = static_cast<std::size_t>(f);
    if (m.gFoodConsRec[fi] == 0) continue;
    if (m.gFoodFormCount[fi] == 0) {
      auto rec = DecodeConsumptionRecord(m, files.foods.Record(m.gFoodConsRec[fi]));
      if (!NormaliseRecordCode(rec.code, code)) continue;
      if (code != m.gFoodCode[fi]) {
        failed = 1;
        MeanFileError(p, code + " <> " + m.gFoodCode[fi]);
        return;
      }
      ExposureTerms::Slot slot = terms ? terms->Add(f, 0) : ExposureTerms::Slot{};
      for (int k = 1; k <= pops; ++k) {
        float c = rec.Consumption(k);
        float t = ExposureTerm(c, m.gFoodResidue[fi], m.gFoodAdj1[fi], m.gFoodAdj2[fi], useAdj2);
        auto ki = static_cast<std::size_t>(k);
        m.gPopExposure[ki] = static_cast<float>(static_cast<double>(m.gPopExposure[ki]) + t);
        if (slot) slot.Set(k, c, t);
      }
      continue;
    }
    int first = m.gFoodFirstForm[fi];
    for (int j = first; j < first + m.gFoodFormCount[fi]; ++j) {
      auto ji = static_cast<std::size_t>(j);
      if (m.gFormConsRec[ji] == 0) continue;
      auto rec = DecodeConsumptionRecord(m, files.forms.Record(m.gFormConsRec[ji]));
      // A record without a code ends this food: its remaining forms are skipped.
      if (!NormaliseRecordCode(rec.code, code)) break;
      if (code != m.gFoodCode[fi]) {
        failed = 1;
        MeanFileError(p, code + " <> " + m.gFoodCode[fi]);
        return;
      }
      if (rec.formCode != m.gFormCode[ji]) {
        failed = 1;
        MeanFileError(p, SignedText(rec.formCode) + " <> " + SignedText(m.gFormCode[ji]));
        return;
      }
      ExposureTerms::Slot slot = terms ? terms->Add(f, j) : ExposureTerms::Slot{};
      for (int k = 1; k <= pops; ++k) {
        float c = rec.Consumption(k);
        if (c == 0) continue;
        float t = ExposureTerm(c, m.gFormResidue[ji], m.gFormAdj1[ji], m.gFormAdj2[ji], useAdj2);
        auto ki = static_cast<std::size_t>(k);
        m.gPopExposure[ki] = static_cast<float>(static_cast<double>(m.gPopExposure[ki]) + t);
        if (slot) slot.Set(k, c, t);
      }
    }
  }
}

}  // namespace ormid
