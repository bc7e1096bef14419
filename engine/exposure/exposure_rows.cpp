#include "exposure/exposure_rows.h"

#include <cmath>

#include "core/endpoint_figures.h"
#include "core/mod_ormid.h"
#include "report/number_format.h"

namespace ormid {

ExposureTable BuildExposureRows(const ModOrmid& m) {
  return BuildExposureRows(m, m.gPopExposure);
}

ExposureTable BuildExposureRows(const ModOrmid& m, const std::vector<float>& popExposure) {
  ExposureTable table;
  const Endpoint code = m.gEndpoint;
  for (int k = 1; k <= m.gPopCount; ++k) {
    auto ki = static_cast<std::size_t>(k);
    ExposureRow row;
    row.exposure = popExposure[static_cast<std::size_t>(m.gPopOrder[ki])];
    row.name = m.gPopNames2[ki];
    if (PadApplies(m, k)) {
      row.name += " (" + ShortNumberText(m.gPAD[ki]).substr(1) + "*)";
      table.padFootnote = true;
    }
    const ExposureFigures x = FiguresFor(m, k, row.exposure);
    row.noExposure = NoExposure(code, x);
    // The NOEL endpoints show their figures even without exposure; the
    // others leave a row without exposure at "no exposure".
    if (UsesNoel(code)) {
      if (code == Endpoint::Noel) row.percentNoel = x.pctNoel;
      row.moe = x.moe;
      if (code != Endpoint::Noel) row.percentRef = x.pctRef;
    } else if (!row.noExposure) {
      row.percentRef = x.pctRef;
      row.risk = x.risk;
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
    r.reference = PadApplies(m, k) ? ReferenceKind::PAD : ReferenceKind::RfD;
    r.referenceDose = ReferenceDose(m, k);
  }
  const ReportedFigures f =
      ReportedOf(code, {row.exposure, row.percentRef, row.percentNoel, row.moe, row.risk});
  r.percentReference = f.percentReference;
  r.percentNoel = f.percentNoel;
  r.marginOfExposure = f.marginOfExposure;
  r.lifetimeRisk = f.lifetimeRisk;
  return r;
}

}  // namespace ormid
