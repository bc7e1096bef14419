#include "core/endpoint_figures.h"

#include <cstddef>

#include "core/mod_ormid.h"

namespace ormid {

bool PadApplies(const ModOrmid& m, int row) {
  const auto ri = static_cast<std::size_t>(row);
  return UsesPad(m.gEndpoint) && row >= 0 && ri < m.gPAD.size() && m.gPAD[ri] > 0;
}

float ReferenceDose(const ModOrmid& m, int row) {
  return PadApplies(m, row) ? m.gPAD[static_cast<std::size_t>(row)] : m.gRefDose;
}

float MarginOfExposure(const ModOrmid& m, float e) {
  return e != 0 ? Quotient(m.gNOEL, e) : 0.0f;
}

float LifetimeRisk(const ModOrmid& m, float e) {
  return Product(e, m.gQStar);
}

ExposureFigures FiguresFor(const ModOrmid& m, int row, float e) {
  ExposureFigures x;
  x.e = e;
  const Endpoint endpoint = m.gEndpoint;
  if (UsesReferenceDose(endpoint)) x.pctRef = Percent(e, ReferenceDose(m, row));
  if (UsesNoel(endpoint)) {
    x.pctNoel = Percent(e, m.gNOEL);
    x.moe = MarginOfExposure(m, e);
  }
  if (endpoint == Endpoint::QStar) x.risk = LifetimeRisk(m, e);
  return x;
}

bool NoExposure(Endpoint endpoint, const ExposureFigures& x) {
  return UsesNoel(endpoint) ? x.moe == 0 : x.e == 0;
}

ReportedFigures ReportedOf(Endpoint endpoint, const ExposureFigures& x) {
  ReportedFigures r;
  if (NoExposure(endpoint, x)) return r;
  if (UsesReferenceDose(endpoint)) r.percentReference = x.pctRef;
  if (endpoint == Endpoint::Noel) r.percentNoel = x.pctNoel;
  if (UsesNoel(endpoint)) r.marginOfExposure = x.moe;
  if (endpoint == Endpoint::QStar) r.lifetimeRisk = x.risk;
  return r;
}

}  // namespace ormid
