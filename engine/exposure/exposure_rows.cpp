#include "exposure/exposure_rows.h"

#include <cmath>

#include "core/mod_ormid.h"
#include "report/number_format.h"

namespace ormid {

ExposureTable BuildExposureRows(const ModOrmid& m) {
  return BuildExposureRows(m, m.gPopExposure);
}

ExposureTable BuildExposureRows(const ModOrmid& m, const std::vector<float>& popExposure) {
  ExposureTable table;
  const Endpoint code = m.gEndpoint;
  const bool padCode = UsesPad(code);
  for (int k = 1; k <= m.gPopCount; ++k) {
    auto ki = static_cast<std::size_t>(k);
    ExposureRow row;
    row.exposure = popExposure[static_cast<std::size_t>(m.gPopOrder[ki])];
    float pad = m.gPAD[ki];
    row.name = m.gPopNames2[ki];
    if (padCode && pad > 0) {
      row.name += " (" + ShortNumberText(pad).substr(1) + "*)";
      table.padFootnote = true;
    }
    float e = row.exposure;
    if (code == Endpoint::RfD || code == Endpoint::Pad) {
      if (e == 0) {
        row.noExposure = true;
      } else {
        float divisor = (code == Endpoint::Pad && pad > 0) ? pad : m.gRefDose;
        row.percentRef = Percent(e, divisor);
      }
    } else if (UsesNoel(code)) {
      if (code == Endpoint::Noel) row.percentNoel = Percent(e, m.gNOEL);
      row.moe = e != 0 ? Quotient(m.gNOEL, e) : 0.0f;
      row.noExposure = row.moe == 0;
      if (code != Endpoint::Noel) {
        float divisor = (code == Endpoint::NoelPad && pad > 0) ? pad : m.gRefDose;
        row.percentRef = Percent(e, divisor);
      }
    } else if (code == Endpoint::QStar) {
      if (e == 0)
        row.noExposure = true;
      else
        row.risk = Product(m.gQStar, e);
    }
    if (table.nonFiniteRow == 0 &&
        !(std::isfinite(row.exposure) && std::isfinite(row.percentRef) &&
          std::isfinite(row.percentNoel) && std::isfinite(row.moe) && std::isfinite(row.risk)))
      table.nonFiniteRow = k;
    table.rows.push_back(std::move(row));
  }
  return table;
}

LongTermResult LongTermResultOf(const ModOrmid& m, const ExposureTable& table, int k) {
  const auto ki = static_cast<std::size_t>(k);
  const ExposureRow& row = table.rows[ki - 1];
  const Endpoint code = m.gEndpoint;
  LongTermResult r;
  r.row = k;
  r.subgroup = m.gPopNames2[ki];
  r.column = m.gPopOrder[ki];
  r.exposure = row.exposure;
  const bool percentRef = UsesReferenceDose(code);
  if (percentRef) {
    const bool pad = UsesPad(code) && m.gPAD[ki] > 0;
    r.reference = pad ? ReferenceKind::PAD : ReferenceKind::RfD;
    r.referenceDose = pad ? m.gPAD[ki] : m.gRefDose;
  }
  if (row.noExposure) return r;
  if (percentRef) r.percentReference = row.percentRef;
  if (code == Endpoint::Noel) r.percentNoel = row.percentNoel;
  if (UsesNoel(code)) r.marginOfExposure = row.moe;
  if (code == Endpoint::QStar) r.lifetimeRisk = row.risk;
  return r;
}

}  // namespace ormid
